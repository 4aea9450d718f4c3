// A full paint of the list view holding 100,000 entries, on the offscreen platform:
// the off-screen image, every band and the visible rows, and the blit.
//
//   QT_QPA_PLATFORM=offscreen bench_paint --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "app/cdc.h"
#include "app/vantrel_app.h"
#include "filelist/vantrel_view.h"

#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cstdio>
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
    ->Args({575, 360, 7})
    ->Args({1280, 1000, 0})
    ->Args({1280, 1000, 7})
    ->Args({1280, 1000, 1})
    ->Unit(benchmark::kMillisecond);

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
    return 0;
}
