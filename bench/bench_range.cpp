// A page range of a huge file: printing the last page of a 1 GiB sparse file, from the
// print command to the PDF handed to the spooler, with the largest size the work file
// reached, beside what the job cost when every job first dumped the whole file. The
// peak memory of a --pdf job at 2,000 and 20,000 pages. And a range of 20,000 pages
// printed to a PDF file by the window (the range dialog, the print loop) beside
// vantrel-dump --pdf --pages on the same pages, in CPU seconds.
//
//   QT_QPA_PLATFORM=offscreen build/bench/bench_range
//   QT_QPA_PLATFORM=offscreen build/bench/bench_range --benchmark_filter=Range20000

#include "bench/bench_folder.h"
#include "framework/cdc.h"
#include "framework/print_loop.h"
#include "filelist/file_entry.h"
#include "filelist/vantrel_view.h"
#include "printing/dump_writer.h"
#include "printing/print_range_dlg.h"
#include "printing/view_printing.h"
#include "printing/work_file.h"
#include "textfile/text_file_writer.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::filesystem::path BenchFolder()
{
    static const std::filesystem::path folder = MakeBenchFolder("range");
    return folder;
}

// A sparse file: reads cost no disk, the dump text is what it would be for any bytes.
std::string SparseFile(const std::string& name, std::uint64_t size)
{
    const std::string path = (BenchFolder() / name).string();
    std::ofstream(path, std::ios::binary).close();
    std::filesystem::resize_file(path, size);
    return path;
}

// Takes the finished job: notes when it arrived and how large the work file was then.
class CTimingSpooler : public CPrintSpooler {
public:
    CTimingSpooler(Clock::time_point* arrived, std::uintmax_t* workSize, const CWorkFile* work)
        : m_pArrived(arrived), m_pWorkSize(workSize), m_pWork(work)
    {
    }
    bool Submit(const QString& pdfPath, const QString&, QString*) override
    {
        *m_pArrived = Clock::now();
        std::error_code ec;
        *m_pWorkSize = std::filesystem::file_size(m_pWork->Path(), ec);
        QFile::remove(pdfPath);
        return true;
    }
    QString PrinterName() const override { return "bench"; }
    QString PortName() const override { return "bench"; }

private:
    Clock::time_point* m_pArrived;
    std::uintmax_t* m_pWorkSize;
    const CWorkFile* m_pWork;
};

// Answers the range dialog of the print command about to run: pages from-to.
void AnswerRange(std::int64_t from, std::int64_t to)
{
    QTimer::singleShot(0, [from, to] {
        auto* dlg = qobject_cast<CPrintRangeDlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr)
            return;
        dlg->findChildren<QRadioButton*>()[1]->click();
        dlg->FromEdit()->setText(QString::number(from));
        dlg->ToEdit()->setText(QString::number(to));
        qobject_cast<QPushButton*>(dlg->Control(1))->click();
    });
}

void BM_LastPageOf1GiB(benchmark::State& state)
{
    const std::uint64_t size = 1ull << 30;
    const std::string file = SparseFile("huge.bin", size);
    const std::int64_t pages = PageCount(static_cast<std::int64_t>(size));
    CVantrelView view;
    view.m_strFolder = BenchFolder().string();
    view.AddFileEntry("huge.bin", static_cast<std::int64_t>(size));
    view.m_aFiles[0].nMark = 1;
    QPrinter printer(QPrinter::HighResolution);
    ConfigurePdfPrinter(printer, 600);
    printer.setOutputFileName(QString::fromStdString((BenchFolder() / "unused.pdf").string()));
    CWorkFile work(BenchFolder().string());
    CViewPrinting& printing = CViewPrinting::Of(&view);
    printing.SetPrinter(&printer);
    printing.SetWorkFile(&work);
    Clock::time_point arrived;
    std::uintmax_t workSize = 0;
    SetSpoolerFactory([&](const QPrinter&) { return std::make_unique<CTimingSpooler>(&arrived, &workSize, &work); });

    for (auto _ : state) {
        AnswerRange(pages, pages);  // the last page only
        const Clock::time_point start = Clock::now();
        printing.OnPrintDump();
        for (int i = 0; i < 100 && view.m_bPrinting; ++i)
            QCoreApplication::processEvents();
        state.SetIterationTime(std::chrono::duration<double>(arrived - start).count());
    }
    SetSpoolerFactory({});
    state.counters["work_file_bytes"] = static_cast<double>(workSize);
}
BENCHMARK(BM_LastPageOf1GiB)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// What every job did before it wrote only its pages: the whole dump first.
void BM_WholeDumpOf1GiB(benchmark::State& state)
{
    const std::string file = SparseFile("huge.bin", 1ull << 30);
    const std::string work = (BenchFolder() / "whole.txt").string();
    for (auto _ : state) {
        CTextFileWriter out;
        Require(out.Open(work), "create the work file");
        const DumpResult r = WriteDumpFile(file, out, 0);
        out.Close();
        if (r.status != DumpStatus::Done)
            state.SkipWithError("the whole dump failed");
        state.counters["work_file_bytes"] = static_cast<double>(std::filesystem::file_size(work));
        std::filesystem::remove(work);
    }
}
BENCHMARK(BM_WholeDumpOf1GiB)->Unit(benchmark::kMillisecond)->Iterations(1);

// Peak memory of vantrel-dump --pdf for a job of pages pages, in a fresh process.
void BM_PdfJobPeakMemory(benchmark::State& state)
{
    const std::int64_t pages = state.range(0);
    const std::string file =
        SparseFile("pages" + std::to_string(pages) + ".bin", static_cast<std::uint64_t>(pages) * 2560);
    const std::string out = (BenchFolder() / "job.pdf").string();
    const std::string exe = VANTREL_DUMP_EXE;
    for (auto _ : state) {
        std::vector<std::string> args{exe, "--pdf", out, file};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (::posix_spawn(&pid, exe.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("cannot start vantrel-dump");
            break;
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("vantrel-dump failed");
        state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
        std::filesystem::remove(out);
    }
}
BENCHMARK(BM_PdfJobPeakMemory)->Arg(2000)->Arg(20000)->Unit(benchmark::kSecond)->Iterations(1);

// CPU seconds of this process or of its waited-for children.
double CpuSeconds(int who)
{
    struct rusage usage {};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Pages 2,501-22,500 of a file of 25,000 pages of varied bytes.
constexpr std::int64_t kRangeFrom = 2501;
constexpr std::int64_t kRangeTo = 22500;

std::string RangeFile()
{
    const std::string path = (BenchFolder() / "range.bin").string();
    if (std::filesystem::exists(path))
        return path;
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(2560 * 1000);
    std::uint32_t x = 12345;
    for (int i = 0; i < 25; ++i) {
        for (char& b : block) {
            x = x * 1103515245u + 12345u;
            b = static_cast<char>(x >> 23);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    return path;
}

double g_rangeCpu[2] = {0, 0};  // the window, the tool

void BM_Range20000Window(benchmark::State& state)
{
    const std::string file = RangeFile();
    const std::string pdf = (BenchFolder() / "range-window.pdf").string();
    CVantrelView view;
    view.m_strFolder = BenchFolder().string();
    view.AddFileEntry("range.bin", static_cast<std::int64_t>(std::filesystem::file_size(file)));
    view.m_aFiles[0].nMark = 1;
    QPrinter printer(QPrinter::HighResolution);
    ConfigurePdfPrinter(printer, kPdfResolution);
    printer.setOutputFileName(QString::fromStdString(pdf));
    CWorkFile work(BenchFolder().string());
    CViewPrinting& printing = CViewPrinting::Of(&view);
    printing.SetPrinter(&printer);
    printing.SetWorkFile(&work);
    for (auto _ : state) {
        AnswerRange(kRangeFrom, kRangeTo);
        const double before = CpuSeconds(RUSAGE_SELF);
        printing.OnPrintDump();
        for (int i = 0; i < 100 && view.m_bPrinting; ++i)
            QCoreApplication::processEvents();
        const double used = CpuSeconds(RUSAGE_SELF) - before;
        if (view.m_aFiles[0].nPrinted != 1) {
            state.SkipWithError("the range did not print");
            return;
        }
        view.m_aFiles[0].nPrinted = 0;
        state.SetIterationTime(used);
        g_rangeCpu[0] = used;
    }
}
BENCHMARK(BM_Range20000Window)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Range20000Tool(benchmark::State& state)
{
    const std::string file = RangeFile();
    std::vector<std::string> args{VANTREL_DUMP_EXE,
                                  "--pdf",
                                  (BenchFolder() / "range-tool.pdf").string(),
                                  "--pages",
                                  std::to_string(kRangeFrom) + "-" + std::to_string(kRangeTo),
                                  file};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        const double before = CpuSeconds(RUSAGE_CHILDREN);
        pid_t pid = 0;
        int status = 0;
        if (::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0 ||
            ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("vantrel-dump failed");
            return;
        }
        g_rangeCpu[1] = CpuSeconds(RUSAGE_CHILDREN) - before;
        state.SetIterationTime(g_rangeCpu[1]);
    }
}
BENCHMARK(BM_Range20000Tool)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_rangeCpu[0] > 0 && g_rangeCpu[1] > 0)
        std::printf("\npages %lld-%lld to a PDF file: the window %.2f s of CPU, vantrel-dump --pdf --pages %.2f s: "
                    "%.2f times (target at most 1.2)\n",
                    static_cast<long long>(kRangeFrom), static_cast<long long>(kRangeTo), g_rangeCpu[0], g_rangeCpu[1],
                    g_rangeCpu[0] / g_rangeCpu[1]);
    std::filesystem::remove_all(BenchFolder());
    return 0;
}
