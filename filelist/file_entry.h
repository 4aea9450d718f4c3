#pragma once

#include "textfile/dump_format.h"

#include <cstdint>
#include <string>

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
