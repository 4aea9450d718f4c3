// Printing figures: opening the preview of a 100 MiB file (only its first five pages are
// dumped and drawn); drawing one page of a long dump, page 1 beside page 10,000; and a
// whole job of 820 pages (a 2 MiB file) into a PDF beside enscript laying out the same
// dump text on 88-line pages plus ps2pdf making a PDF of that, in the same run, with the
// peak memory of a job at 820 and at 20,000 pages.
//
//   build/bench/bench_print --benchmark_filter=Preview
//   build/bench/bench_print --benchmark_filter=DrawPage
//   build/bench/bench_print --benchmark_filter='Job|Draw820'
//
//   build/bench/bench_print --benchmark_filter='Job|Dump820'
//   build/bench/bench_print --benchmark_filter=ManyFiles
//
// The references run in the same process: enscript plus ps2pdf, and CUPS's texttopdf
// where cups-filters is installed.
//
// Jobs run as child processes and count the CPU seconds (user + system) they and their
// own children used; the summary at the end gives the ratios, also what the SHA-256 of
// the printed bytes adds to a job.

#include "bench/bench_child.h"
#include "bench/bench_folder.h"
#include "framework/cdc.h"
#include "framework/pdf_job_printer.h"
#include "framework/print_loop.h"
#include "filelist/vantrel_view.h"
#include "printing/dump_job.h"
#include "printing/dump_pages.h"
#include "printing/dump_writer.h"
#include "printing/dump_page_painter.h"
#include "printing/view_printing.h"
#include "printing/work_file.h"
#include "textfile/text_file_writer.h"

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QPicture>
#include <QDialog>
#include <QPrinter>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kJobPages = 820;  // a 2 MiB file

std::filesystem::path BenchFolder()
{
    static const std::filesystem::path folder = MakeBenchFolder("print");
    return folder;
}

// A file of size bytes of varied content, made once.
std::string SampleFile(const std::string& name, std::uint64_t size)
{
    const std::string path = (BenchFolder() / name).string();
    if (std::filesystem::exists(path) && std::filesystem::file_size(path) == size)
        return path;
    std::ofstream out(path, std::ios::binary);
    std::vector<char> block(1 << 20);
    std::uint32_t x = 12345;
    for (char& b : block) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 23);
    }
    for (std::uint64_t left = size; left > 0;) {
        const std::uint64_t n = std::min<std::uint64_t>(left, block.size());
        out.write(block.data(), static_cast<std::streamsize>(n));
        left -= n;
    }
    return path;
}

void BM_PreviewOf100MiB(benchmark::State& state)
{
    const std::uint64_t size = 100ull << 20;
    const std::filesystem::path file = SampleFile("big.bin", size);
    QPrinter printer(QPrinter::HighResolution);
    ConfigurePdfPrinter(printer, 600);
    printer.setOutputFileName(QString::fromStdString((BenchFolder() / "unused.pdf").string()));
    QMainWindow frame;
    auto* view = new CVantrelView;
    frame.setCentralWidget(view);
    frame.resize(575, 800);
    frame.show();
    view->m_strFolder = file.parent_path().string();
    view->AddFileEntry(file.filename().string(), static_cast<std::int64_t>(size));
    view->m_aFiles[0].nMark = 1;
    CViewPrinting& printing = CViewPrinting::Of(view);
    printing.SetPrinter(&printer);
    CWorkFile work(BenchFolder().string());
    printing.SetWorkFile(&work);

    for (auto _ : state) {
        printing.OnPreviewDump();
        if (printing.Preview() == nullptr || printing.Preview()->PageCount() != 5) {
            state.SkipWithError("the preview did not show five pages");
            break;
        }
        state.PauseTiming();
        printing.Preview()->Close();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PreviewOf100MiB)->Unit(benchmark::kMillisecond)->Iterations(5);

// The dump of a file of 10,001 pages, written once.
struct LongDump {
    DumpGeometry geometry;
    std::string workFile;
};

const LongDump& TheLongDump()
{
    static const LongDump dump = [] {
        LongDump d;
        const std::string source = SampleFile("long.bin", 10001ull * 2560);
        d.workFile = (BenchFolder() / "WkFile-long.txt").string();
        CTextFileWriter out;
        Require(out.Open(d.workFile), "create the work file");
        const DumpResult r = WriteDumpFile(source, out, 0);
        Require(r.status == DumpStatus::Done, "dump the long file");
        out.Close();
        d.geometry = {source, r.length, r.pageTotal};
        return d;
    }();
    return dump;
}

// What OnPrint does for one page: find it in the work file and draw it, here on a
// recording of a 600 dpi printer page.
void BM_DrawPage(benchmark::State& state)
{
    const LongDump& dump = TheLongDump();
    const std::int64_t page = state.range(0);
    QImage attrib(1, 1, QImage::Format_RGB32);
    attrib.setDotsPerMeterX(23622);  // 600 dpi
    attrib.setDotsPerMeterY(23622);
    std::vector<std::string> lines;
    for (auto _ : state) {
        QPicture picture;
        QPainter painter(&picture);
        CDC dc(&painter, &attrib);
        if (!ReadDumpPage(dump.workFile, dump.geometry, page, lines) || lines.size() != 88) {
            state.SkipWithError("page not found");
            break;
        }
        DrawDumpPage(&dc, lines);
        benchmark::DoNotOptimize(picture.size());
    }
}
BENCHMARK(BM_DrawPage)->Arg(1)->Arg(10000)->Unit(benchmark::kMillisecond);

double KiBPerPage(const std::string& pdf, std::int64_t pages)
{
    std::error_code ec;
    return static_cast<double>(std::filesystem::file_size(pdf, ec)) / 1024.0 / static_cast<double>(pages);
}

// The job's file and its dump text as the text tools take it: line feeds, and the empty
// line before the first header left out, so that every 88 lines make one printed page.
struct JobInput {
    std::string source;
    std::string text;
};

const JobInput& TheJobInput()
{
    static const JobInput input = [] {
        JobInput in;
        in.source = SampleFile("job.bin", kJobPages * 2560);
        const std::string work = (BenchFolder() / "WkFile-job.txt").string();
        CTextFileWriter out;
        Require(out.Open(work), "create the work file");
        Require(WriteDumpFile(in.source, out, 0).status == DumpStatus::Done, "dump the job's file");
        out.Close();
        std::ifstream dump(work, std::ios::binary);
        std::string all((std::istreambuf_iterator<char>(dump)), std::istreambuf_iterator<char>());
        std::string text;
        text.reserve(all.size());
        for (char c : all.substr(all.find('\n') + 1))
            if (c != '\r')
                text.push_back(c);
        in.text = (BenchFolder() / "job.txt").string();
        std::ofstream(in.text, std::ios::binary) << text;
        return in;
    }();
    return input;
}

struct JobFigures {
    double msPerPage = 0;
    double kibPerPage = 0;
};
JobFigures g_ours, g_tools, g_texttopdf, g_window;
long g_peakKiB[2] = {0, 0};
double g_drawMs[2] = {0, 0};
double g_dumpMs[2] = {0, 0};  // a page of the job's dump, without and with the digest

void Report(benchmark::State& state, JobFigures& figures, double cpu, const std::string& pdf, std::int64_t pages)
{
    figures.msPerPage = cpu * 1000 / static_cast<double>(state.iterations()) / static_cast<double>(pages);
    figures.kibPerPage = KiBPerPage(pdf, pages);
    state.counters["cpu_ms_per_page"] = figures.msPerPage;
    state.counters["KiB_per_page"] = figures.kibPerPage;
}

// vantrel-dump --pdf: the dump written to a work file and every page drawn by the
// printer's page code into one PDF.
void BM_JobVantrelDump(benchmark::State& state)
{
    const JobInput& input = TheJobInput();
    const std::string pdf = (BenchFolder() / "job-vantrel.pdf").string();
    double cpu = 0;
    for (auto _ : state) {
        const ChildRun run = RunChild({VANTREL_DUMP_EXE, "--pdf", pdf, input.source});
        if (!run.ok) {
            state.SkipWithError("vantrel-dump failed");
            return;
        }
        state.SetIterationTime(run.cpu);
        cpu += run.cpu;
    }
    Report(state, g_ours, cpu, pdf, kJobPages);
}
BENCHMARK(BM_JobVantrelDump)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Many small files beside one file of the same bytes: 3,000 files of 3 KB and one of 9 MB
// (3,000 x 3,072 bytes). The dumps alone, as the window and the tool write each file's
// into the work file; and a whole vantrel-dump --pdf job, whose 3,000 files have 6,000
// pages where the one file has 3,600.
constexpr std::int64_t kSmallFiles = 3000;
constexpr std::int64_t kSmallSize = 3072;
double g_manyDumpMs[2] = {0, 0};  // one file, the small ones
double g_manyPdfMs[2] = {0, 0};

std::vector<std::string> ManyFilesInput(std::int64_t files)
{
    if (files == 1)
        return {SampleFile("nine.bin", static_cast<std::uint64_t>(kSmallFiles * kSmallSize))};
    std::vector<std::string> paths;
    std::filesystem::create_directories(BenchFolder() / "small");
    for (std::int64_t i = 0; i < files; ++i)
        paths.push_back(SampleFile("small/" + std::to_string(i) + ".bin", static_cast<std::uint64_t>(kSmallSize)));
    return paths;
}

void BM_ManyFilesDump(benchmark::State& state)
{
    const std::vector<std::string> paths = ManyFilesInput(state.range(0));
    CWorkFile work(BenchFolder().string());
    double total = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        for (const std::string& path : paths) {
            const DumpJob job =
                WriteDumpJob(work, path, DumpPages{}, DumpHooks{}, [](std::error_code) { return std::string(); });
            if (!job.Written()) {
                state.SkipWithError("a dump failed");
                return;
            }
            work.RemoveFile();
        }
        total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    g_manyDumpMs[state.range(0) == 1 ? 0 : 1] = total / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ManyFilesDump)->ArgName("files")->Arg(1)->Arg(kSmallFiles)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_ManyFilesPdf(benchmark::State& state)
{
    std::vector<std::string> args = {VANTREL_DUMP_EXE, "--pdf", (BenchFolder() / "many.pdf").string()};
    for (const std::string& path : ManyFilesInput(state.range(0)))
        args.push_back(path);
    double cpu = 0;
    for (auto _ : state) {
        const ChildRun run = RunChild(args);
        if (!run.ok) {
            state.SkipWithError("vantrel-dump failed");
            return;
        }
        state.SetIterationTime(run.cpu);
        cpu += run.cpu;
    }
    g_manyPdfMs[state.range(0) == 1 ? 0 : 1] = cpu * 1000 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ManyFilesPdf)
    ->ArgName("files")
    ->Arg(1)
    ->Arg(kSmallFiles)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

// enscript laying the same dump text out on 88-line pages (small enough to keep a line
// whole), then ps2pdf turning that into a PDF.
void BM_JobEnscriptPs2pdf(benchmark::State& state)
{
    const JobInput& input = TheJobInput();
    const std::string ps = (BenchFolder() / "job-enscript.ps").string();
    const std::string pdf = (BenchFolder() / "job-enscript.pdf").string();
    double cpu = 0;
    for (auto _ : state) {
        const ChildRun layout = RunChild({"enscript", "-q", "-B", "-L", "88", "-f", "Courier7", "-p", ps, input.text});
        const ChildRun convert = RunChild({"ps2pdf", ps, pdf});
        if (!layout.ok || !convert.ok) {
            state.SkipWithError("enscript or ps2pdf failed (are they installed?)");
            return;
        }
        state.SetIterationTime(layout.cpu + convert.cpu);
        cpu += layout.cpu + convert.cpu;
    }
    Report(state, g_tools, cpu, pdf, kJobPages);
}
BENCHMARK(BM_JobEnscriptPs2pdf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// CUPS's own text filter, as lp file.txt runs it on a UTF-8 system: A4, no wrap, 88 lines
// a page.
constexpr const char* kTexttopdf = "/usr/lib/cups/filter/texttopdf";

void BM_JobTexttopdf(benchmark::State& state)
{
    if (::access(kTexttopdf, X_OK) != 0) {
        state.SkipWithError("texttopdf is not installed (cups-filters)");
        return;
    }
    const JobInput& input = TheJobInput();
    const std::string pdf = (BenchFolder() / "job-texttopdf.pdf").string();
    double cpu = 0;
    for (auto _ : state) {
        const ChildRun run =
            RunChild({kTexttopdf, "1", "bench", "job", "1", "PageSize=A4 wrap=false lpi=8.8 cpi=18", input.text}, pdf,
                     {"CHARSET=utf-8"});
        if (!run.ok) {
            state.SkipWithError("texttopdf failed");
            return;
        }
        state.SetIterationTime(run.cpu);
        cpu += run.cpu;
    }
    Report(state, g_texttopdf, cpu, pdf, kJobPages);
}
BENCHMARK(BM_JobTexttopdf)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Peak memory of a whole vantrel-dump --pdf job: the same at 820 pages and at 20,000.
void BM_JobPeakMemory(benchmark::State& state)
{
    const std::int64_t pages = state.range(0);
    const std::string source =
        SampleFile("memory-" + std::to_string(pages) + ".bin", static_cast<std::uint64_t>(pages) * 2560);
    const std::string pdf = (BenchFolder() / "memory.pdf").string();
    ChildRun run;
    for (auto _ : state) {
        run = RunChild({VANTREL_DUMP_EXE, "--pdf", pdf, source});
        if (!run.ok) {
            state.SkipWithError("vantrel-dump failed");
            return;
        }
        state.SetIterationTime(run.cpu);
    }
    g_peakKiB[pages == kJobPages ? 0 : 1] = run.peakKiB;
    state.counters["peak_MiB"] = static_cast<double>(run.peakKiB) / 1024.0;
    state.counters["cpu_ms_per_page"] = run.cpu * 1000 / static_cast<double>(pages);
    state.counters["KiB_per_page"] = KiBPerPage(pdf, pages);
    std::error_code ec;
    std::filesystem::remove(pdf, ec);
}
BENCHMARK(BM_JobPeakMemory)->Arg(kJobPages)->Arg(20000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// The window's print of the job's file to a PDF file, as Ctrl+P runs it: the dump, the
// print loop with its status window, the PDF put in place. CPU of this process; after
// the children whose peak memory is measured, which a grown parent would cloud.
void BM_JobWindowPrint(benchmark::State& state)
{
    TheJobInput();  // the job's file
    const std::string pdf = (BenchFolder() / "job-window.pdf").string();
    QPrinter printer(QPrinter::HighResolution);
    ConfigurePdfPrinter(printer, kPdfResolution);
    printer.setOutputFileName(QString::fromStdString(pdf));
    CVantrelView view;
    view.m_strFolder = BenchFolder().string();
    view.AddFileEntry("job.bin", kJobPages * 2560);
    view.m_aFiles[0].nMark = 1;
    CViewPrinting& printing = CViewPrinting::Of(&view);
    printing.SetPrinter(&printer);
    CWorkFile work(BenchFolder().string());
    printing.SetWorkFile(&work);
    double cpu = 0;
    for (auto _ : state) {
        // The range dialog (one marked file) answered with its default, every page.
        QTimer::singleShot(0, [] {
            if (auto* dlg = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                dlg->accept();
        });
        const double before = CpuSeconds(RUSAGE_SELF);
        printing.OnPrintDump();
        for (int i = 0; i < 1000 && view.m_bPrinting; ++i)
            QCoreApplication::processEvents();
        const double used = CpuSeconds(RUSAGE_SELF) - before;
        if (view.m_aFiles[0].nPrinted != 1) {
            state.SkipWithError("the job did not print");
            return;
        }
        view.m_aFiles[0].nPrinted = 0;
        state.SetIterationTime(used);
        cpu += used;
    }
    Report(state, g_window, cpu, pdf, kJobPages);
}
BENCHMARK(BM_JobWindowPrint)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The pages as they were drawn before, for scale: every line through TextOut on Qt's own
// PDF engine.
void OldDrawDumpPage(CDC* pDC, const std::vector<std::string>& lines)
{
    const DumpPageLayout layout = DumpPageLayoutFor(pDC);
    CFont font;
    font.CreateFontIndirect(layout.font);
    CFont* oldFont = pDC->SelectObject(&font);
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (!lines[i].empty())
            pDC->TextOut(layout.x, layout.y0 + static_cast<int>(i) * layout.h, lines[i]);
    pDC->SelectObject(oldFont);
}

// The 820 pages drawn in this process from the work file, now (0) and the old way (1).
void BM_Draw820Pages(benchmark::State& state)
{
    const JobInput& input = TheJobInput();
    const DumpGeometry geometry{input.source, kJobPages * 2560, kJobPages};
    const std::string work = (BenchFolder() / "WkFile-job.txt").string();
    const bool old = state.range(0) == 1;
    std::vector<std::string> lines;
    const double cpu = CpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        std::unique_ptr<QPrinter> printer =
            old ? std::make_unique<QPrinter>(QPrinter::HighResolution) : std::make_unique<CPdfJobPrinter>();
        ConfigurePdfPrinter(*printer, 1200);
        printer->setOutputFileName(QString::fromStdString((BenchFolder() / "draw.pdf").string()));
        QPainter painter(printer.get());
        {
            CDC dc(&painter, printer.get());
            CDumpPagePainter pages;  // as a job has it: laid out once
            pages.Prepare(&dc);
            for (std::int64_t page = 1; page <= kJobPages; ++page) {
                if (page > 1)
                    printer->newPage();
                Require(ReadDumpPage(work, geometry, page, lines), "read a page of the work file");
                old ? OldDrawDumpPage(&dc, lines) : pages.Draw(&dc, lines);
            }
        }
        painter.end();
    }
    g_drawMs[old ? 1 : 0] =
        (CpuSeconds(RUSAGE_SELF) - cpu) * 1000 / static_cast<double>(state.iterations()) / kJobPages;
    state.counters["cpu_ms_per_page"] = g_drawMs[old ? 1 : 0];
}
BENCHMARK(BM_Draw820Pages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// The job's 820 pages dumped into a work file in this process, without (0) and with (1)
// the SHA-256 of the bytes they show.
void BM_Dump820Pages(benchmark::State& state)
{
    const JobInput& input = TheJobInput();
    const std::string work = (BenchFolder() / "WkFile-digest.txt").string();
    DumpHooks hooks;
    hooks.digest = state.range(0) == 1;
    const double cpu = CpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        CTextFileWriter out;
        Require(out.Open(work), "create the work file");
        const DumpResult r = WriteDumpFile(input.source, out, DumpPages{}, hooks);
        out.Close();
        if (r.status != DumpStatus::Done || r.sha256.empty() == hooks.digest) {
            state.SkipWithError("the dump failed");
            return;
        }
    }
    g_dumpMs[hooks.digest ? 1 : 0] =
        (CpuSeconds(RUSAGE_SELF) - cpu) * 1000 / static_cast<double>(state.iterations()) / kJobPages;
    state.counters["cpu_ms_per_page"] = g_dumpMs[hooks.digest ? 1 : 0];
}
BENCHMARK(BM_Dump820Pages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

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
    if (g_ours.msPerPage > 0 && g_tools.msPerPage > 0) {
        std::printf("\nCPU a printed page, %lld pages: vantrel-dump --pdf %.3f ms (target at most 0.3), "
                    "enscript + ps2pdf %.3f ms: %.1f times less (target at least 10)\n",
                    static_cast<long long>(kJobPages), g_ours.msPerPage, g_tools.msPerPage,
                    g_tools.msPerPage / g_ours.msPerPage);
        std::printf("bytes a page: vantrel-dump --pdf %.2f KiB (target at most 5.0), enscript + ps2pdf %.2f KiB\n",
                    g_ours.kibPerPage, g_tools.kibPerPage);
    }
    if (g_ours.msPerPage > 0 && g_texttopdf.msPerPage > 0)
        std::printf("texttopdf: %.3f ms and %.2f KiB a page: vantrel-dump --pdf %.1f times less CPU (target at "
                    "least 4)\n",
                    g_texttopdf.msPerPage, g_texttopdf.kibPerPage, g_texttopdf.msPerPage / g_ours.msPerPage);
    if (g_ours.msPerPage > 0 && g_window.msPerPage > 0)
        std::printf("the window's print to a PDF file: %.3f ms a page, %.2f times the tool's (target at most 1.2)\n",
                    g_window.msPerPage, g_window.msPerPage / g_ours.msPerPage);
    if (g_peakKiB[0] > 0 && g_peakKiB[1] > 0)
        std::printf("peak memory of a job: %.1f MiB at %lld pages, %.1f MiB at 20000 pages\n", g_peakKiB[0] / 1024.0,
                    static_cast<long long>(kJobPages), g_peakKiB[1] / 1024.0);
    if (g_drawMs[0] > 0 && g_drawMs[1] > 0)
        std::printf("drawing a page in process: %.3f ms now, %.3f ms the old way, %.1f times faster\n", g_drawMs[0],
                    g_drawMs[1], g_drawMs[1] / g_drawMs[0]);
    if (g_dumpMs[0] > 0 && g_dumpMs[1] > 0 && g_ours.msPerPage > 0) {
        const double digest = g_dumpMs[1] - g_dumpMs[0];
        std::printf("the SHA-256 of the printed bytes: %.4f ms a page, %.1f %% more CPU than a job without it "
                    "(target at most 5 %%)\n",
                    digest, 100 * digest / (g_ours.msPerPage - digest));
    }
    if (g_manyDumpMs[0] > 0 && g_manyDumpMs[1] > 0)
        std::printf("%lld files of %lld bytes beside one file of the same bytes: dumps %.1f ms and %.1f ms, %.2f "
                    "times (target at most 2)\n",
                    static_cast<long long>(kSmallFiles), static_cast<long long>(kSmallSize), g_manyDumpMs[1],
                    g_manyDumpMs[0], g_manyDumpMs[1] / g_manyDumpMs[0]);
    if (g_manyPdfMs[0] > 0 && g_manyPdfMs[1] > 0)
        std::printf("  vantrel-dump --pdf of them: %.0f ms and %.0f ms of CPU, %.2f times (target at most 2)\n",
                    g_manyPdfMs[1], g_manyPdfMs[0], g_manyPdfMs[1] / g_manyPdfMs[0]);
    std::error_code ec;
    std::filesystem::remove_all(BenchFolder(), ec);
    return 0;
}
