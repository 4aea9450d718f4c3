#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

namespace fuzzing {

// Removes the scratch files when the fuzzer exits normally.
struct ScratchFiles {
    std::map<std::string, std::string> paths;
    ~ScratchFiles()
    {
        for (const auto& entry : paths) {
            std::remove(entry.second.c_str());
        }
    }
};

// A private scratch file for this process and tag, reused by every input.
inline const std::string& ScratchPath(const std::string& tag)
{
    static ScratchFiles files;
    auto found = files.paths.find(tag);
    if (found == files.paths.end()) {
        // tmpfs where there is one: rewriting a file on a disk file system costs a flush.
        const char* dir = std::getenv("TMPDIR");
        std::string base = dir != nullptr && *dir != '\0' ? dir : "";
        if (base.empty()) {
            base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        }
        found = files.paths.emplace(tag, base + "/vantrel_" + tag + "_" + std::to_string(::getpid())).first;
    }
    return found->second;
}

inline void WriteScratch(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size != 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
        std::abort();
    }
}

inline std::string ReadWhole(const std::string& path)
{
    std::string text;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        std::abort();
    }
    char block[65536];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, f)) != 0) {
        text.append(block, got);
    }
    std::fclose(f);
    return text;
}

#define FUZZ_CHECK(cond)                                                                                               \
    do {                                                                                                               \
        if (!(cond)) {                                                                                                 \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);                              \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (0)

}  // namespace fuzzing
