// Folder scan and order of 100,000 files against a bare std::filesystem loop that reads
// each size, side by side on the same folder. Also reports the heap the scan needs.
//
//   bench_scan --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include "bench/bench_folder.h"
#include "draw/join_path.h"
#include "filelist/file_list_model.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

std::atomic<std::size_t> g_heapNow{0};
std::atomic<std::size_t> g_heapPeak{0};

void CountAlloc(std::size_t size)
{
    const std::size_t now = g_heapNow.fetch_add(size) + size;
    std::size_t peak = g_heapPeak.load();
    while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

// Sizes as malloc keeps them, so frees can be counted too.
void* operator new(std::size_t size)
{
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr)
        throw std::bad_alloc();
    CountAlloc(malloc_usable_size(p));
    return p;
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    if (p == nullptr)
        return;
    g_heapNow.fetch_sub(malloc_usable_size(p));
    std::free(p);
}
#pragma GCC diagnostic pop
void operator delete(void* p, std::size_t) noexcept
{
    operator delete(p);
}

namespace {

constexpr int kFiles = 100000;

// A folder of empty files with a mix of names, made once per run and removed at exit.
class BenchFolder {
public:
    BenchFolder()
    {
        m_path = MakeBenchFolder("scan");
        std::mt19937 rng(42);
        std::vector<int> order(kFiles);
        for (int i = 0; i < kFiles; ++i)
            order[i] = i;
        std::shuffle(order.begin(), order.end(), rng);
        char name[64];
        for (int i : order) {
            switch (i % 4) {
            case 0:
                std::snprintf(name, sizeof name, "IMG_%06d.jpg", i);
                break;
            case 1:
                std::snprintf(name, sizeof name, "\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF_%06d.bin", i);
                break;
            case 2:
                std::snprintf(name, sizeof name, "Report-%06d.TXT", i);
                break;
            default:
                std::snprintf(name, sizeof name, "%08x%04x.dat", static_cast<unsigned>(rng()), i & 0xFFFF);
                break;
            }
            const int fd = open((m_path / name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd >= 0)
                close(fd);
        }
    }
    ~BenchFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

const BenchFolder& Folder()
{
    static const BenchFolder folder;
    return folder;
}

void BM_BareDirectoryIterator(benchmark::State& state)
{
    const auto& dir = Folder().Path();
    for (auto _ : state) {
        std::uintmax_t total = 0;
        std::size_t count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            total += entry.file_size();
            ++count;
        }
        benchmark::DoNotOptimize(total);
        if (count != kFiles)
            state.SkipWithError("wrong file count");
    }
}

void BM_ScanAndOrder(benchmark::State& state)
{
    const std::string pattern = JoinPath(Folder().Path().string(), "*.*");
    std::size_t peak = 0;
    std::size_t kept = 0;
    for (auto _ : state) {
        const std::size_t before = g_heapNow.load();
        g_heapPeak.store(before);
        CFileListModel model;
        model.ScanFolder(pattern);
        benchmark::DoNotOptimize(model.m_aFiles.data());
        if (model.m_aFiles.size() != kFiles)
            state.SkipWithError("wrong file count");
        peak = g_heapPeak.load() - before;
        kept = g_heapNow.load() - before;
    }
    state.counters["peak_heap_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["list_heap_MB"] = static_cast<double>(kept) / 1e6;
}

}  // namespace

BENCHMARK(BM_BareDirectoryIterator)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanAndOrder)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
