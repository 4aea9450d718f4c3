#pragma once

#include <cstdint>
#include <string>

inline constexpr std::int64_t kBytesPerPage = 2560;  // 80 dump lines of 32 bytes

// Pages a dump of size bytes needs; an empty file counts one page.
constexpr std::int64_t PageCount(std::int64_t size)
{
    return (size - 1) / kBytesPerPage + 1;
}

// One file of the list.
struct FileEntry {
    int nMark = 0;  // 1 = marked; readers test for exactly 1
    std::string strName;  // file-system bytes, without the folder
    std::int64_t lSize = 0;
    std::int64_t nPages = 0;  // computed once, when listed
    int nPrinted = 0;  // 1 = printed in this run
};

// A file printed in this run, to restore its flag when its folder is listed again.
struct PrintedFile {
    std::string strFolder;
    std::string strName;
};
