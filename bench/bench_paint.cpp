// A full paint of the list view holding 100,000 entries, on the offscreen platform:
// the off-screen image, every band and the visible rows, and the blit. Also the
// listing of a folder of 100,000 files through the view (settings, scan, scroll bar,
// command states) beside the model's bare scan: the window may not freeze longer than
// the scan itself. And fitting a long text into a band of the list.
//
//   QT_QPA_PLATFORM=offscreen bench_paint --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "bench/bench_folder.h"
#include "framework/cdc.h"
#include "app/vantrel_app.h"
#include "filelist/vantrel_view.h"

#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

constexpr int kEntries = 100000;

// marks: 0 none, 7 every seventh entry, 1 every entry (after select all).
void FillView(CVantrelView& view, int marks)
{
    view.m_strFolder = "/home/user/dumps";
    view.m_aFiles.clear();
    view.m_aFiles.reserve(kEntries);
    for (int i = 0; i < kEntries; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file%06d.bin", i);
        FileEntry e;
        e.strName = name;
        e.lSize = 1000LL * i + 17;
        e.nPages = PageCount(e.lSize);
        e.nMark = marks != 0 && i % marks == 0 ? 1 : 0;
        e.nPrinted = i % 5 == 0 ? 1 : 0;
        view.m_aFiles.push_back(std::move(e));
    }
    view.UpdateScrollBar();
    view.m_nTopRow = kEntries / 2;
    view.ApplyScrollState(view.m_nVisibleRows);
}

void BM_PaintList(benchmark::State& state)
{
    const int cx = static_cast<int>(state.range(0));
    const int cy = static_cast<int>(state.range(1));
    CVantrelView view;
    view.resize(cx, cy);
    view.OnInitialUpdate();
    FillView(view, static_cast<int>(state.range(2)));
    QImage target(cx, cy, QImage::Format_RGB32);
    for (auto _ : state) {
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["rows"] = view.m_nVisibleRows;
}
BENCHMARK(BM_PaintList)
    ->ArgNames({"cx", "cy", "marks"})
    ->Args({575, 360, 0})  // the view inside the frame's fixed window
    ->Args({575, 360, 7})
    ->Args({575, 360, 1})
    ->Args({1280, 1000, 0})  // a far larger view, for the cost per row
    ->Args({1280, 1000, 1})
    ->Unit(benchmark::kMillisecond);

// Fitting a long text into the folder's band: a path of PATH_MAX bytes, which fits at
// no height, and one that fits at a middle height. The cost is a few measures of the
// text, not one per height tried.
void BM_FitText(benchmark::State& state)
{
    const std::string text(static_cast<std::size_t>(state.range(0)), 'a');
    const int width = static_cast<int>(state.range(1));
    QImage target(width, 24, QImage::Format_RGB32);
    QPainter painter(&target);
    CDC dc(&painter);
    for (auto _ : state) {
        theApp.DrawFitText(&dc, CRect{0, 0, width, 24}, text);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_FitText)
    ->ArgNames({"chars", "cx"})
    ->Args({4096, 500})  // fits nowhere
    ->Args({40, 200})  // fits at a middle height
    ->Unit(benchmark::kMicrosecond);

// A folder of kEntries small files, made once, removed at exit.
class Folder {
public:
    Folder()
    {
        m_path = MakeBenchFolder("paint");
        for (int i = 0; i < kEntries; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "f%06d.bin", (i * 7919) % kEntries);
            std::ofstream(m_path / name) << i;
        }
    }
    ~Folder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::string Path() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};

Folder& TheFolder()
{
    static Folder folder;
    return folder;
}

void BM_ModelListing(benchmark::State& state)
{
    CFileListModel model;
    model.m_strFolder = TheFolder().Path();
    for (auto _ : state) {
        model.ListFolder();
        benchmark::DoNotOptimize(model.m_aFiles.data());
    }
    state.counters["files"] = static_cast<double>(model.m_aFiles.size());
}
BENCHMARK(BM_ModelListing)->Unit(benchmark::kMillisecond);

// What the start and the new-document command do, and the paint that follows.
void BM_ViewListing(benchmark::State& state)
{
    AfxGetApp()->WriteProfileString("Path", "Path", TheFolder().Path());
    CVantrelView view;
    view.resize(575, 360);
    QImage target(575, 360, QImage::Format_RGB32);
    for (auto _ : state) {
        view.OnInitialUpdate();
        view.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["files"] = static_cast<double>(view.m_aFiles.size());
}
BENCHMARK(BM_ViewListing)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The listing benchmark writes the folder setting: keep it away from the user's.
    const std::filesystem::path config = std::filesystem::temp_directory_path() / "vantrel-bench-paint-config";
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(config.string()));
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
