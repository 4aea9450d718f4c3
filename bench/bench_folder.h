#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

// Where a benchmark keeps its files: VANTREL_BENCH_TMP when set (a folder on disk, say), else
// the system's temporary folder; a folder of the benchmark's own, named with the process id.
inline std::filesystem::path MakeBenchFolder(const std::string& tag)
{
    const char* env = std::getenv("VANTREL_BENCH_TMP");
    std::filesystem::path folder =
        env != nullptr && *env != '\0' ? std::filesystem::path(env) : std::filesystem::temp_directory_path();
    folder /= "vantrel_bench_" + tag + "_" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    return folder;
}

// A step a benchmark's figures depend on: when it failed there is nothing to measure.
inline void Require(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "benchmark set-up failed: %s\n", what);
        std::exit(1);
    }
}
