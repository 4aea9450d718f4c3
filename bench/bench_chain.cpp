// The print command at scale. Its preparation, from Ctrl+P to the question "印刷を行いますか？",
// for 1,000, 10,000 and 100,000 marked files printed to a PDF file, with and without
// outputs of an earlier print already there (each is checked against every marked file);
// and a chain of 2,000 jobs printed twice to the same PDF name, the second time over its
// own earlier outputs, with the CPU of each job: the last jobs cost what the first did.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_chain
//   build/bench/bench_chain --benchmark_filter=Question
//   build/bench/bench_chain --benchmark_filter=Chain
//
// VANTREL_BENCH_TMP names the folder for the files (200,000 empty ones at most).

#include "bench/bench_folder.h"
#include "framework/font_cell.h"
#include "framework/message_box.h"
#include "framework/print_loop.h"
#include "filelist/vantrel_view.h"
#include "printing/view_printing.h"
#include "printing/work_file.h"

#include <QApplication>
#include <QPrinter>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int kMostFiles = 100000;
constexpr int kChainJobs = 2000;

double CpuNow()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::filesystem::path BenchFolder()
{
    static const std::filesystem::path folder = MakeBenchFolder("chain");
    return folder;
}

std::string FileName(int i)
{
    char name[32];
    std::snprintf(name, sizeof name, "f%06d.bin", i);
    return name;
}

void MakeEmptyFiles(const std::filesystem::path& folder, const std::string& prefix, int count, const char* suffix)
{
    std::filesystem::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        const std::string path = (folder / (prefix + FileName(i) + suffix)).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        Require(fd >= 0, "create a file");
        ::close(fd);
    }
}

// The marked files, and beside them the outputs a chain printing to out.pdf wrote.
const std::filesystem::path& InputFolder()
{
    static const std::filesystem::path folder = [] {
        const std::filesystem::path f = BenchFolder() / "in";
        MakeEmptyFiles(f, "", kMostFiles, "");
        MakeEmptyFiles(BenchFolder() / "out", "out_", kMostFiles, ".pdf");
        return f;
    }();
    return folder;
}

std::map<std::pair<int, bool>, double> g_question;  // seconds of CPU by count and outputs

// From the command to the question, answered with cancel: the marked files fixed and each
// job's output checked against them.
void BM_PrintQuestion(benchmark::State& state)
{
    const int count = static_cast<int>(state.range(0));
    const bool existing = state.range(1) != 0;
    const std::filesystem::path& folder = InputFolder();
    CVantrelView view;
    view.m_strFolder = folder.string();
    Require(view.ListFolder() && view.m_aFiles.size() == kMostFiles, "list the folder");
    for (int i = 0; i < count; ++i)
        view.m_aFiles[i].nMark = 1;
    QPrinter printer(QPrinter::HighResolution);
    ConfigurePdfPrinter(printer, kPdfResolution);
    // out.pdf's outputs are there; none.pdf's are not.
    printer.setOutputFileName(
        QString::fromStdString((BenchFolder() / "out" / (existing ? "out.pdf" : "none.pdf")).string()));
    CViewPrinting& printing = CViewPrinting::Of(&view);
    printing.SetPrinter(&printer);

    double asked = 0;
    MessageBoxHookGuard hook([&](const std::string& text, unsigned) {
        asked = text == "印刷を行いますか？" ? CpuNow() : -1;
        return IDCANCEL;
    });
    double total = 0;
    for (auto _ : state) {
        asked = 0;
        const double start = CpuNow();
        printing.OnPrintDump();
        if (asked <= 0) {
            state.SkipWithError("the question was not asked");
            return;
        }
        state.SetIterationTime(asked - start);
        total += asked - start;
    }
    const double seconds = total / static_cast<double>(state.iterations());
    g_question[{count, existing}] = seconds;
    state.counters["cpu_us_per_file"] = seconds * 1e6 / count;
}
BENCHMARK(BM_PrintQuestion)
    ->ArgsProduct({{1000, 10000, kMostFiles}, {0, 1}})
    ->ArgNames({"files", "outputs"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// CPU of each job of one chain, in order.
std::vector<double> RunChain(CVantrelView& view, CViewPrinting& printing)
{
    for (FileEntry& e : view.m_aFiles) {
        e.nMark = 1;
        e.nPrinted = 0;
    }
    MessageBoxHookGuard hook(
        [](const std::string& text, unsigned) { return text == "印刷を行いますか？" ? IDOK : IDCANCEL; });
    std::vector<double> jobs;
    std::size_t printed = 0;
    double last = CpuNow();
    printing.OnPrintDump();
    // One job a turn of the loop: each starts from the message the one before posted.
    while (view.m_bPrinting || printed < view.m_aFiles.size()) {
        while (printed < view.m_aFiles.size() && view.m_aFiles[printed].nPrinted == 1) {
            const double now = CpuNow();
            jobs.push_back(now - last);
            last = now;
            ++printed;
        }
        if (!view.m_bPrinting)
            break;
        QCoreApplication::processEvents();
    }
    return jobs;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct ChainFigures {
    std::vector<double> blockMs;  // the median of each 200 jobs, in order
};
ChainFigures g_chain[2];

// 2,000 one-page files printed to out.pdf twice: the second chain writes over the first
// one's outputs, and its last jobs cost what its first did.
void BM_ChainOverItsOutputs(benchmark::State& state)
{
    const std::filesystem::path folder = BenchFolder() / "chain";
    std::filesystem::create_directories(folder);
    for (int i = 0; i < kChainJobs; ++i) {
        const std::string path = (folder / FileName(i)).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        Require(fd >= 0 && ::write(fd, "0123456789abcdef", 16) == 16, "write a file");
        ::close(fd);
    }
    const std::filesystem::path out = BenchFolder() / "chain-out";
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    CVantrelView view;
    view.m_strFolder = folder.string();
    Require(view.ListFolder(), "list the chain's folder");
    QPrinter printer(QPrinter::HighResolution);
    ConfigurePdfPrinter(printer, kPdfResolution);
    printer.setOutputFileName(QString::fromStdString((out / "out.pdf").string()));
    CViewPrinting& printing = CViewPrinting::Of(&view);
    printing.SetPrinter(&printer);
    CWorkFile work(BenchFolder().string());
    printing.SetWorkFile(&work);

    for (auto _ : state) {
        for (int run = 0; run < 2; ++run) {
            const std::vector<double> jobs = RunChain(view, printing);
            if (jobs.size() != static_cast<std::size_t>(kChainJobs)) {
                state.SkipWithError("a job of the chain did not print");
                return;
            }
            g_chain[run].blockMs.clear();
            for (auto block = jobs.begin(); block != jobs.end(); block += 200)
                g_chain[run].blockMs.push_back(1000 * Median({block, block + 200}));
        }
    }
    state.counters["first_ms_per_job"] = g_chain[1].blockMs.front();
    state.counters["last_ms_per_job"] = g_chain[1].blockMs.back();
}
BENCHMARK(BM_ChainOverItsOutputs)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const bool existing : {false, true}) {
        if (g_question.count({kMostFiles, existing}) == 0)
            continue;
        std::printf("\nCPU up to the question, %s outputs:", existing ? "with earlier" : "without");
        for (const int count : {1000, 10000, kMostFiles})
            if (g_question.count({count, existing}) != 0)
                std::printf(" %d files %.3f s (%.2f us a file);", count, g_question[{count, existing}],
                            g_question[{count, existing}] * 1e6 / count);
        std::printf(" target: 100000 files within 1 s\n");
    }
    for (int run = 0; run < 2; ++run) {
        const std::vector<double>& ms = g_chain[run].blockMs;
        if (ms.empty())
            continue;
        std::printf("chain of %d jobs, %s: median CPU of each 200 jobs, ms:", kChainJobs,
                    run == 0 ? "new outputs" : "over its earlier outputs");
        for (const double m : ms)
            std::printf(" %.2f", m);
        std::printf(" (last %.2f times the first)\n", ms.back() / ms.front());
    }
    std::error_code ec;
    std::filesystem::remove_all(BenchFolder(), ec);
    return 0;
}
