#pragma once

#include "filelist/file_list_model.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One file of a print command, fixed when the command starts: whatever happens to the
// list while the jobs run, each job prints this file whole and flags it by its name.
struct PrintJobFile {
    std::string strFolder;
    std::string strName;
    std::string strPath;  // folder and name joined; "" when the join was refused
    std::int64_t lSize = 0;
    std::int64_t nPages = 0;
};

// The marked entries of the list, in list order.
std::vector<PrintJobFile> MarkedJobFiles(const CFileListModel& model);

// The file one job of a chain writes when the printer prints to a file. A chain of one
// job writes the chosen name itself; with several jobs each gets a file of its own, the
// printed file's name put between the chosen name's stem and its extension:
// "out.pdf" with "a.bin" gives "out_a.bin.pdf" (".pdf" when the chosen name has none).
std::string JobOutputFile(const std::string& chosen, const std::string& printedName, std::size_t jobCount);
