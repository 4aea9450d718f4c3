// Reading a record back: vantrel-dump --verify of an 820-page record (a 2 MiB file of
// random bytes, printed by vantrel-dump --pdf) beside pdftotext -layout of the same PDF,
// in the same run, each as a child process: CPU a page and peak memory; and verify's peak
// memory at 820 and at 20,000 pages.
//
//   build/bench/bench_record
//
// The summary at the end gives the ratios.

#include "bench/bench_child.h"
#include "bench/bench_folder.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <map>

namespace {

constexpr std::int64_t kPages = 820;
constexpr std::int64_t kManyPages = 20000;

std::filesystem::path BenchFolder()
{
    static const std::filesystem::path folder = MakeBenchFolder("record");
    return folder;
}

// The record of a file of pages pages of random bytes, and the file; made once.
struct Record {
    std::string file;
    std::string pdf;
};

const Record& RecordOf(std::int64_t pages)
{
    static std::map<std::int64_t, Record> made;
    Record& record = made[pages];
    if (!record.pdf.empty())
        return record;
    record.file = (BenchFolder() / ("random-" + std::to_string(pages) + ".bin")).string();
    record.pdf = (BenchFolder() / ("record-" + std::to_string(pages) + ".pdf")).string();
    std::ofstream out(record.file, std::ios::binary);
    std::uint64_t x = 0x9E3779B97F4A7C15u;
    std::vector<char> block(2560);
    for (std::int64_t page = 0; page < pages; ++page) {
        for (char& b : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            b = static_cast<char>(x);
        }
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
    out.close();
    Require(RunChild({VANTREL_DUMP_EXE, "--pdf", record.pdf, record.file}).ok, "print the record");
    return record;
}

struct Figures {
    double msPerPage = 0;
    long peakKiB = 0;
};
Figures g_verify, g_pdftotext;
long g_manyPeakKiB = 0;

void Measure(benchmark::State& state, std::vector<std::string> args, Figures& figures)
{
    double cpu = 0;
    for (auto _ : state) {
        const ChildRun run = RunChild(args);
        if (!run.ok) {
            state.SkipWithError((args.front() + " failed").c_str());
            return;
        }
        state.SetIterationTime(run.cpu);
        cpu += run.cpu;
        figures.peakKiB = run.peakKiB;
    }
    figures.msPerPage = cpu * 1000 / static_cast<double>(state.iterations()) / kPages;
    state.counters["cpu_ms_per_page"] = figures.msPerPage;
    state.counters["peak_MiB"] = static_cast<double>(figures.peakKiB) / 1024.0;
}

// Every page read through qpdf, its text decoded, checked and its bytes hashed, and the
// file compared.
void BM_Verify820(benchmark::State& state)
{
    const Record& record = RecordOf(kPages);
    Measure(state, {VANTREL_DUMP_EXE, "--verify", record.pdf, record.file}, g_verify);
}
BENCHMARK(BM_Verify820)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_PdftotextLayout820(benchmark::State& state)
{
    const Record& record = RecordOf(kPages);
    Measure(state, {"pdftotext", "-layout", record.pdf, "/dev/null"}, g_pdftotext);
}
BENCHMARK(BM_PdftotextLayout820)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// The same at 20,000 pages: memory stays what it was.
void BM_VerifyPeakMemory20000(benchmark::State& state)
{
    const Record& record = RecordOf(kManyPages);
    for (auto _ : state) {
        const ChildRun run = RunChild({VANTREL_DUMP_EXE, "--verify", record.pdf, record.file});
        if (!run.ok) {
            state.SkipWithError("vantrel-dump --verify failed");
            return;
        }
        state.SetIterationTime(run.cpu);
        g_manyPeakKiB = run.peakKiB;
        state.counters["cpu_ms_per_page"] = run.cpu * 1000 / kManyPages;
    }
    state.counters["peak_MiB"] = static_cast<double>(g_manyPeakKiB) / 1024.0;
}
BENCHMARK(BM_VerifyPeakMemory20000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (g_verify.msPerPage > 0 && g_pdftotext.msPerPage > 0)
        std::printf("\nCPU a page, %lld pages: vantrel-dump --verify %.3f ms (target at most 0.3), pdftotext -layout "
                    "%.3f ms: %.1f times less\n",
                    static_cast<long long>(kPages), g_verify.msPerPage, g_pdftotext.msPerPage,
                    g_pdftotext.msPerPage / g_verify.msPerPage);
    if (g_verify.peakKiB > 0 && g_pdftotext.peakKiB > 0)
        std::printf("peak memory at %lld pages: vantrel-dump --verify %.1f MiB, pdftotext -layout %.1f MiB\n",
                    static_cast<long long>(kPages), g_verify.peakKiB / 1024.0, g_pdftotext.peakKiB / 1024.0);
    if (g_verify.peakKiB > 0 && g_manyPeakKiB > 0)
        std::printf("peak memory of --verify: %.1f MiB at %lld pages, %.1f MiB at %lld pages\n",
                    g_verify.peakKiB / 1024.0, static_cast<long long>(kPages), g_manyPeakKiB / 1024.0,
                    static_cast<long long>(kManyPages));
    std::error_code ec;
    std::filesystem::remove_all(BenchFolder(), ec);
    return 0;
}
