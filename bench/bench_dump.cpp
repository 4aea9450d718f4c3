// The dump writer beside xxd on the same file, the cost of finding page 1 and page
// 10,000 in a work file, and the peak memory of a dump at two file sizes.

#include "filelist/file_entry.h"
#include "bench/bench_folder.h"
#include "printing/dump_pages.h"
#include "printing/dump_writer.h"
#include "textfile/text_file_reader.h"
#include "textfile/text_file_writer.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr std::int64_t kMiB = 1 << 20;
constexpr std::int64_t kLookupPages = 10001;

std::filesystem::path g_dir;
double g_dumpSeconds = 0;
double g_xxdSeconds = 0;
double g_dumpCpu = 0;
double g_xxdCpu = 0;

// User plus system seconds of this process or of its waited-for children.
double CpuSeconds(int who)
{
    struct rusage usage {};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string In(const std::string& name)
{
    return (g_dir / name).string();
}

void MakeRandomFile(const std::string& path, std::int64_t size)
{
    if (std::filesystem::exists(path) && static_cast<std::int64_t>(std::filesystem::file_size(path)) == size) {
        return;
    }
    std::mt19937_64 random(static_cast<unsigned long long>(size));
    std::vector<std::uint64_t> block(kMiB / 8);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    for (std::int64_t done = 0; done < size; done += kMiB) {
        for (auto& word : block) {
            word = random();
        }
        const std::int64_t n = size - done < kMiB ? size - done : kMiB;
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
    }
}

bool Dump(const std::string& source, const std::string& target)
{
    CTextFileWriter out;
    if (!out.Open(target)) {
        return false;
    }
    const DumpResult result = WriteDumpFile(source, out, 0);
    out.Close();
    return result.status == DumpStatus::Done && !out.Failed();
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void BM_DumpWriter100MiB(benchmark::State& state)
{
    double total = 0;
    const double cpu = CpuSeconds(RUSAGE_SELF);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (!Dump(In("random100"), In("dump.out"))) {
            state.SkipWithError("dump failed");
            return;
        }
        total += Seconds(start);
    }
    g_dumpSeconds = total / static_cast<double>(state.iterations());
    g_dumpCpu = (CpuSeconds(RUSAGE_SELF) - cpu) / static_cast<double>(state.iterations());
    state.counters["cpu_s"] = g_dumpCpu;
    state.SetBytesProcessed(state.iterations() * 100 * kMiB);
}
BENCHMARK(BM_DumpWriter100MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_Xxd100MiB(benchmark::State& state)
{
    const std::string command = "xxd -c 32 '" + In("random100") + "' > '" + In("xxd.out") + "'";
    double total = 0;
    const double cpu = CpuSeconds(RUSAGE_CHILDREN);
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("xxd failed");
            return;
        }
        total += Seconds(start);
    }
    g_xxdSeconds = total / static_cast<double>(state.iterations());
    g_xxdCpu = (CpuSeconds(RUSAGE_CHILDREN) - cpu) / static_cast<double>(state.iterations());
    state.counters["cpu_s"] = g_xxdCpu;
    state.SetBytesProcessed(state.iterations() * 100 * kMiB);
}
BENCHMARK(BM_Xxd100MiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_ReadDumpPage(benchmark::State& state)
{
    const DumpGeometry geometry{In("pages"), kLookupPages * kBytesPerPage, kLookupPages};
    std::vector<std::string> lines;
    for (auto _ : state) {
        if (!ReadDumpPage(In("pages.wk"), geometry, state.range(0), lines)) {
            state.SkipWithError("page not found");
            return;
        }
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_ReadDumpPage)->Arg(1)->Arg(10000)->Unit(benchmark::kMicrosecond);

// The old way, for scale: read the work file from its start up to the page.
void BM_SequentialScan(benchmark::State& state)
{
    std::vector<std::string> lines;
    for (auto _ : state) {
        lines.clear();
        CTextFileReader reader;
        Require(reader.Open(In("pages.wk")), "open the work file");
        reader.SetDelimiter(' ');
        std::int64_t headers = 0;
        while (reader.ReadLine()) {
            if (reader.GetField(0) == "Name" && ++headers > state.range(0)) {
                break;
            }
            if (headers == state.range(0)) {
                lines.push_back(reader.m_strLine);
            }
        }
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_SequentialScan)->Arg(1)->Arg(10000)->Unit(benchmark::kMillisecond);

// Peak resident memory of a fresh process that dumps the file and nothing else.
void BM_PeakRss(benchmark::State& state)
{
    const std::string source = In(state.range(0) == 100 ? "random100" : "random10");
    const std::string target = In("rss.out");
    char self[4096] = {};
    if (::readlink("/proc/self/exe", self, sizeof self - 1) <= 0) {
        state.SkipWithError("no /proc/self/exe");
        return;
    }
    long peakKiB = 0;
    for (auto _ : state) {
        std::vector<char*> argv{self, const_cast<char*>("--rss-child"), const_cast<char*>(source.c_str()),
                                const_cast<char*>(target.c_str()), nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, self, nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("spawn failed");
            return;
        }
        int status = 0;
        struct rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("child failed");
            return;
        }
        peakKiB = usage.ru_maxrss;
    }
    state.counters["peak_rss_KiB"] = static_cast<double>(peakKiB);
}
BENCHMARK(BM_PeakRss)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--rss-child") == 0) {
        return Dump(argv[2], argv[3]) ? 0 : 1;
    }

    const char* env = std::getenv("VANTREL_BENCH_TMP");
    g_dir = env != nullptr && *env != '\0' ? std::filesystem::path(env)
                                           : std::filesystem::temp_directory_path() / "vantrel-bench";
    std::filesystem::create_directories(g_dir);
    MakeRandomFile(In("random100"), 100 * kMiB);
    MakeRandomFile(In("random10"), 10 * kMiB);
    MakeRandomFile(In("pages"), kLookupPages * kBytesPerPage);
    if (!Dump(In("pages"), In("pages.wk"))) {
        std::fprintf(stderr, "cannot write the work file in %s\n", g_dir.c_str());
        return 1;
    }

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    if (g_dumpSeconds > 0 && g_xxdSeconds > 0) {
        std::printf("\nwall time  xxd -c 32: %.3f s, dump writer: %.3f s, ratio %.2f (target at least 4)\n",
                    g_xxdSeconds, g_dumpSeconds, g_xxdSeconds / g_dumpSeconds);
        if (g_dumpCpu > 0) {
            std::printf("cpu time   xxd -c 32: %.3f s, dump writer: %.3f s, ratio %.2f\n", g_xxdCpu, g_dumpCpu,
                        g_xxdCpu / g_dumpCpu);
        }
    }
    // A folder given by the caller keeps its inputs for the next run; our own goes.
    std::error_code ec;
    if (env != nullptr && *env != '\0') {
        for (const char* name : {"dump.out", "xxd.out", "rss.out"}) {
            std::filesystem::remove(In(name), ec);
        }
    } else {
        std::filesystem::remove_all(g_dir, ec);
    }
    return 0;
}
