#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a work file holds: the dump of one file, written by WriteDumpFile.
struct DumpGeometry {
    std::string path;  // as the page headers name it
    std::int64_t length = 0;
    std::int64_t pageTotal = 0;
};

// Byte offset of page N's header line in the work file, computed from the geometry
// alone, so page 10,000 costs what page 1 costs.
std::uint64_t PageHeaderOffset(const DumpGeometry& geometry, std::int64_t page);

// The lines of page N (header first, line ends removed), as the printer draws them.
// False, with no lines, when the work file does not hold that page.
bool ReadDumpPage(const std::string& workFile, const DumpGeometry& geometry, std::int64_t page,
                  std::vector<std::string>& lines);
