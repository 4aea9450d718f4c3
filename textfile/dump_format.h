#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The dump's page and its text: what the dump writer, the page lookup and the list's
// page count must agree on.

// A page holds 80 dump lines of 32 bytes, in groups of 16 lines.
inline constexpr int kDumpBytesPerLine = 32;
inline constexpr int kDumpLinesPerGroup = 16;
inline constexpr int kDumpLinesPerPage = 80;
inline constexpr std::int64_t kBytesPerPage = kDumpBytesPerLine * kDumpLinesPerPage;

// Pages a dump of size bytes needs; an empty file counts one page.
constexpr std::int64_t PageCount(std::int64_t size)
{
    return (size - 1) / kBytesPerPage + 1;
}

// The page header line, without its line ends: "Name : path  Length : ...  Page : p / n".
std::string DumpPageHeader(const std::string& path, std::int64_t length, std::int64_t page, std::int64_t pageTotal);

inline constexpr std::string_view kDumpColumnHeader = "Position  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F"
                                                      "  10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F";

namespace dumptext {

// Hex digits of a dump line's offset: at least 8, more past 4 GiB.
constexpr int OffsetDigits(std::uint64_t offset)
{
    int digits = 8;
    for (offset >>= 32; offset != 0; offset >>= 4) {
        ++digits;
    }
    return digits;
}

constexpr int DecimalDigits(std::uint64_t value)
{
    int digits = 1;
    for (; value >= 10; value /= 10) {
        ++digits;
    }
    return digits;
}

// A text as the work file holds it: the writer puts every line feed out as CR LF.
inline std::string ToFileText(std::string_view text)
{
    std::string file;
    file.reserve(text.size() + 8);
    for (const char ch : text) {
        if (ch == '\n') {
            file.push_back('\r');
        }
        file.push_back(ch);
    }
    return file;
}

}  // namespace dumptext
