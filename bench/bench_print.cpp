// Printing figures: opening the preview of a 100 MiB file (only its first five pages are
// dumped and drawn), and drawing one page of a long dump, page 1 beside page 10,000.
//
//   build/bench/bench_print --benchmark_filter=Preview
//   build/bench/bench_print --benchmark_filter=DrawPage

#include "app/cdc.h"
#include "app/print_loop.h"
#include "filelist/vantrel_view.h"
#include "printing/dump_pages.h"
#include "printing/dump_writer.h"
#include "printing/view_printing.h"
#include "printing/work_file.h"
#include "textfile/text_file_writer.h"

#include <QApplication>
#include <QImage>
#include <QMainWindow>
#include <QPainter>
#include <QPicture>
#include <QPrinter>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::filesystem::path BenchFolder()
{
    static const std::filesystem::path folder = [] {
        const char* env = std::getenv("VANTREL_TEST_TMP");
        std::filesystem::path base = env != nullptr && *env != '\0' ? env : std::filesystem::temp_directory_path();
        base /= "vantrel_bench_print_" + std::to_string(::getpid());
        std::filesystem::create_directories(base);
        return base;
    }();
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
        out.Open(d.workFile);
        const DumpResult r = WriteDumpFile(source, out, 0);
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
    std::error_code ec;
    std::filesystem::remove_all(BenchFolder(), ec);
    return 0;
}
