#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What a work file holds: the dump of one file, written by WriteDumpFile, from page
// firstPage on (the pages before it left out, the text of the others unchanged).
struct DumpGeometry {
    std::string path;  // as the page headers name it
    std::int64_t length = 0;
    std::int64_t pageTotal = 0;
    std::int64_t firstPage = 1;
};

// Byte offset of page N's header line in a whole dump of the file, computed from the
// geometry alone, so page 10,000 costs what page 1 costs. Past the last page: the
// dump's size.
std::uint64_t PageHeaderOffset(const DumpGeometry& geometry, std::int64_t page);

// The exact size of the text WriteDumpFile writes for pages first..last of the file
// (last cut to its page total), so the room it needs is known before it starts.
std::uint64_t DumpTextSize(const DumpGeometry& geometry, std::int64_t first, std::int64_t last);

// The lines of page N (header first, line ends removed), as the printer draws them.
// False, with no lines, when the work file does not hold that page.
[[nodiscard]] bool ReadDumpPage(const std::string& workFile, const DumpGeometry& geometry, std::int64_t page,
                                std::vector<std::string>& lines);
