// The window beside a folder of a million files: starting on it (until the frame draws
// itself, until the list is in), and the folder and CSV dialogs opened with the million
// files as the current folder and beside it, each until its folder is read; with the
// process's peak memory after each.
//
//   VANTREL_BENCH_TMP=/dev/shm QT_QPA_PLATFORM=offscreen build/bench/bench_window
//
// The folder is made once (a million empty files: about 5 s on tmpfs, longer on disk;
// check df -i) and removed at the end.

#include "bench/bench_folder.h"
#include "app/main_frame.h"
#include "app/vantrel_app.h"
#include "framework/command_ids.h"
#include "filelist/vantrel_view.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QSettings>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFiles = 1000000;

double Seconds(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

// The process's peak resident memory so far, in MB.
double PeakMb()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    return 0;
}

std::filesystem::path BenchFolder()
{
    static const std::filesystem::path folder = MakeBenchFolder("window");
    return folder;
}

// parent/big holds the million files, parent/small five; a home and settings of their own.
struct Folders {
    std::string big;
    std::string small;
};

const Folders& TheFolders()
{
    static const Folders folders = [] {
        const std::filesystem::path parent = BenchFolder() / "parent";
        Folders f{(parent / "big").string(), (parent / "small").string()};
        std::filesystem::create_directories(f.big);
        std::filesystem::create_directories(f.small);
        char name[32];
        for (int i = 0; i < kFiles; ++i) {
            std::snprintf(name, sizeof name, "/file%07d.bin", i);
            const int fd = ::open((f.big + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            Require(fd >= 0, "create a file of the million");
            ::close(fd);
        }
        for (int i = 0; i < 5; ++i)
            std::ofstream(f.small + "/small" + std::to_string(i) + ".bin") << i;
        return f;
    }();
    return folders;
}

// Runs InitInstance as main() would, on folder as the saved one.
bool Start(const std::string& folder)
{
    QSettings(QStringLiteral("Kovalmeret"), QStringLiteral("Vantrel"))
        .setValue(QStringLiteral("Path/Path"), QString::fromStdString(folder));
    static char arg0[] = "vantrel";
    static char* argv[] = {arg0, nullptr};
    static int argc = 1;
    return theApp.InitInstance(argc, argv);
}

struct Figures {
    double seconds = 0;
    double peakMb = 0;
};
std::map<std::string, Figures> g_figures;

void Note(benchmark::State& state, const std::string& what, double seconds)
{
    g_figures[what] = Figures{seconds, PeakMb()};
    state.SetIterationTime(seconds);
    state.counters["peak_MB"] = g_figures[what].peakMb;
}

// Sees the view's first paint (the frame drawing itself) and whether the wait cursor
// was up then.
struct FirstPaint : QObject {
    Clock::time_point at{};
    bool waiting = false;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && at == Clock::time_point{} && qobject_cast<CVantrelView*>(watched)) {
            at = Clock::now();
            const QCursor* cursor = QGuiApplication::overrideCursor();
            waiting = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
        }
        return false;
    }
};

void BM_StartOnAMillionFiles(benchmark::State& state)
{
    const Folders& folders = TheFolders();
    for (auto _ : state) {
        FirstPaint paint;
        qApp->installEventFilter(&paint);
        const Clock::time_point start = Clock::now();
        const bool up = Start(folders.big);
        const Clock::time_point listed = Clock::now();
        qApp->removeEventFilter(&paint);
        if (!up || theApp.View()->m_aFiles.size() != kFiles || paint.at == Clock::time_point{} || !paint.waiting) {
            state.SkipWithError("the frame did not draw itself under the wait cursor before the list was in");
            return;
        }
        Note(state, "frame drawn", Seconds(start, paint.at));
        Note(state, "list in", Seconds(start, listed));
        state.counters["frame_s"] = Seconds(start, paint.at);
        theApp.ExitInstance();
    }
}
BENCHMARK(BM_StartOnAMillionFiles)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// Runs a command whose file dialog reads a folder: the seconds until the folder it shows
// is read (and the dialog cancelled), negative when it was not within a minute.
double DialogSeconds(unsigned command)
{
    Clock::time_point start{};
    Clock::time_point read{};
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        auto* model = dlg != nullptr ? dlg->findChild<QFileSystemModel*>() : nullptr;
        if (model == nullptr)
            return;
        QObject::connect(model, &QFileSystemModel::directoryLoaded, dlg, [&read, dlg](const QString&) {
            read = Clock::now();
            dlg->reject();
        });
        QTimer::singleShot(60000, dlg, &QDialog::reject);
    });
    start = Clock::now();
    theApp.SendCommand(command);
    return read == Clock::time_point{} ? -1 : Seconds(start, read);
}

// The folder dialog with the million files as the current folder (0) or beside it (1),
// then the CSV dialog.
void BM_DialogsBesideAMillionFiles(benchmark::State& state)
{
    const Folders& folders = TheFolders();
    const bool beside = state.range(0) == 1;
    for (auto _ : state) {
        if (!Start(beside ? folders.small : folders.big)) {
            state.SkipWithError("the program did not start");
            return;
        }
        const double folderDialog = DialogSeconds(ID_SELECT_FOLDER);
        const double csvDialog = DialogSeconds(ID_FILE_SAVE_CSV);
        theApp.ExitInstance();
        if (folderDialog < 0 || csvDialog < 0) {
            state.SkipWithError("a dialog did not read its folder within a minute");
            return;
        }
        const std::string where = beside ? " beside" : " on";
        Note(state, "folder dialog" + where, folderDialog);
        Note(state, "CSV dialog" + where, csvDialog);
        state.counters["folder_dialog_s"] = folderDialog;
        state.counters["csv_dialog_s"] = csvDialog;
    }
}
BENCHMARK(BM_DialogsBesideAMillionFiles)
    ->Arg(0)
    ->Arg(1)
    ->ArgName("beside")
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Settings, Qt's dialog memory and the work folder in the benchmark's own folder.
    const std::string home = (BenchFolder() / "home").string();
    std::filesystem::create_directories(home);
    ::setenv("HOME", home.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home + "/.config").c_str(), 1);
    ::setenv("TMPDIR", BenchFolder().c_str(), 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::printf("\n");
    for (const auto& [what, figures] : g_figures)
        std::printf("%-22s %.3f s, peak memory %.0f MB so far (targets: within 1 s, under 300 MB)\n", what.c_str(),
                    figures.seconds, figures.peakMb);
    std::error_code ec;
    std::filesystem::remove_all(BenchFolder(), ec);
    return 0;
}
