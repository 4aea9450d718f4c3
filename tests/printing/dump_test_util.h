#pragma once

#include "filelist/file_entry.h"
#include "printing/dump_writer.h"
#include "textfile/text_file_reader.h"
#include "textfile/text_file_writer.h"
#include "common/temp_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace dumptest {

inline std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Bytes that differ from line to line, so a misplaced line shows.
inline std::string PatternBytes(std::size_t size, unsigned seed = 1)
{
    std::string bytes(size, '\0');
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<char>(x >> 23);
    }
    return bytes;
}

// The dump of source as the work file holds it.
inline std::string DumpText(const std::string& source, const std::string& work, int preview = 0,
                            const DumpHooks& hooks = {}, DumpResult* result = nullptr)
{
    CTextFileWriter out;
    EXPECT_TRUE(out.Open(work));
    const DumpResult r = WriteDumpFile(source, out, preview, hooks);
    out.Close();
    if (result != nullptr) {
        *result = r;
    }
    return ReadAll(work);
}

// The dump as the original wrote it: one byte at a time, every line through a formatted
// write with the pending line written when the next begins. An independent oracle.
// measured: the length taken at the start, when the file then changed to hold bytes.
inline std::string ReferenceDump(const std::string& path, const std::string& bytes, int preview = 0,
                                 long long measured = -1)
{
    std::string file;
    auto write = [&file](const std::string& text) {
        for (char ch : text) {
            if (ch == '\n') {
                file += '\r';
            }
            file += ch;
        }
        file += "\r\n";
    };
    const long long n = measured >= 0 ? measured : static_cast<long long>(bytes.size());
    const long long end = std::min(n, static_cast<long long>(bytes.size()));
    if (n == 0) {
        return file;
    }
    const long long pages = (n - 1) / 2560 + 1;
    std::string pending;
    int column = 0, lineInPage = 0, lineInGroup = 0;
    long long page = 1;
    char buf[128];
    for (long long offset = 0; offset < end; ++offset) {
        if (column == 0) {
            if (lineInPage == 0) {
                if (preview != 0 && page > 5) {
                    break;
                }
                write(pending);
                std::snprintf(buf, sizeof buf, "  Length : %8.8llX(%lld)  Page : %lld / %lld\n",
                              static_cast<unsigned long long>(n), n, page, pages);
                write("Name : " + path + buf);
                pending = "Position  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  "
                          "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F";
            }
            write(pending);
            if (lineInGroup == 0) {
                write("");
            }
            std::snprintf(buf, sizeof buf, "%8.8llX", static_cast<unsigned long long>(offset));
            pending = buf;
        }
        if (column == 0 || column == 16) {
            pending += ' ';
        }
        std::snprintf(buf, sizeof buf, " %2.2X", static_cast<unsigned char>(bytes[offset]));
        pending += buf;
        if (++column == 32) {
            column = 0;
            ++lineInPage;
            if (++lineInGroup == 16) {
                lineInGroup = 0;
            }
            if (lineInPage == 80) {
                lineInPage = 0;
                lineInGroup = 0;
                ++page;
            }
        }
    }
    write(pending);
    return file;
}

// Lines of the page that starts with the page-th "Name" header, as a sequential scan of the
// whole work file finds them (the way the page printer always found a page).
inline std::vector<std::string> ScanPage(const std::string& work, long long page)
{
    std::vector<std::string> lines;
    CTextFileReader reader;
    if (!reader.Open(work)) {
        return lines;
    }
    reader.SetDelimiter(' ');
    long long headers = 0;
    while (reader.ReadLine()) {
        if (reader.GetField(0) == "Name" && ++headers > page) {
            break;
        }
        if (headers == page) {
            std::string line = reader.m_strLine;
            line.pop_back();
            lines.push_back(line);
        }
    }
    return lines;
}

}  // namespace dumptest
