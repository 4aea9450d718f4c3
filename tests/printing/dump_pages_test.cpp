#include "printing/dump_pages.h"

#include "filelist/file_entry.h"
#include "printing/dump_test_util.h"
#include "textfile/dump_format.h"
#include "printing/dump_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace dumptest;

namespace {

DumpGeometry Geometry(const std::string& path, std::int64_t length)
{
    return DumpGeometry{path, length, PageCount(length)};
}

// Where each page header of a real dump starts, found by searching the text.
std::vector<std::uint64_t> HeaderOffsets(const std::string& text)
{
    std::vector<std::uint64_t> offsets;
    for (auto pos = text.find("\nName : "); pos != std::string::npos; pos = text.find("\nName : ", pos + 1)) {
        offsets.push_back(pos + 1);
    }
    return offsets;
}

}  // namespace

TEST(DumpPages, OffsetsMatchARealDump)
{
    TempFolder dir;
    // 23 full pages and a short one; the page numbers reach two digits.
    const std::size_t size = 23 * 2560 + 700;
    WriteBytes(dir / "m.bin", PatternBytes(size));
    const std::string text = DumpText(dir / "m.bin", dir / "WkFile.txt");
    const auto offsets = HeaderOffsets(text);
    ASSERT_EQ(offsets.size(), 24u);
    const DumpGeometry g = Geometry(dir / "m.bin", static_cast<std::int64_t>(size));
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_EQ(PageHeaderOffset(g, static_cast<std::int64_t>(i + 1)), offsets[i]) << "page " << i + 1;
    }
    EXPECT_EQ(PageHeaderOffset(g, 25), text.size());
}

TEST(DumpPages, EveryPageEqualsASequentialScan)
{
    TempFolder dir;
#if defined(_WIN32)
    // Code page 932 names whose trail bytes are the backslash's 0x5C.
    const std::string names[] = {"plain.bin", "表示ソフト.bin", "日本語 名前.bin"};
#else
    // A path holding a line feed puts the header over two lines of the work file.
    const std::string names[] = {"plain.bin", "two\nlines.bin", "日本語 名前.bin"};
#endif
    for (const std::string& name : names) {
        for (const std::size_t size :
             {std::size_t{1}, std::size_t{2560}, std::size_t{2561}, std::size_t{12 * 2560 + 33}}) {
            WriteBytes(dir / name, PatternBytes(size));
            DumpText(dir / name, dir / "WkFile.txt");
            const DumpGeometry g = Geometry(dir / name, static_cast<std::int64_t>(size));
            for (std::int64_t page = 1; page <= g.pageTotal; ++page) {
                std::vector<std::string> lines;
                ASSERT_TRUE(ReadDumpPage(dir / "WkFile.txt", g, page, lines)) << name << " " << page;
                EXPECT_EQ(lines, ScanPage(dir / "WkFile.txt", page)) << name << " " << page;
                EXPECT_GE(lines.size(), 5u);
                EXPECT_LE(lines.size(), name.find('\n') == std::string::npos ? 88u : 89u);
            }
            std::vector<std::string> lines{"stale"};
            EXPECT_FALSE(ReadDumpPage(dir / "WkFile.txt", g, g.pageTotal + 1, lines));
            EXPECT_TRUE(lines.empty());
            EXPECT_FALSE(ReadDumpPage(dir / "WkFile.txt", g, 0, lines));
        }
    }
}

// A work file of a range holds its pages where the lookup finds them, and no others.
TEST(DumpPages, PagesOfARangeWorkFile)
{
    TempFolder dir;
    const std::size_t size = 12 * 2560 + 33;
    WriteBytes(dir / "p.bin", PatternBytes(size));
    DumpText(dir / "p.bin", dir / "whole.txt");
    CTextFileWriter out;
    ASSERT_TRUE(out.Open(dir / "WkFile.txt"));
    ASSERT_EQ(WriteDumpFile(dir / "p.bin", out, DumpPages{4, 13}).status, DumpStatus::Done);
    out.Close();
    DumpGeometry g = Geometry(dir / "p.bin", static_cast<std::int64_t>(size));
    g.firstPage = 4;
    for (std::int64_t page = 1; page <= 14; ++page) {
        std::vector<std::string> lines;
        const bool found = ReadDumpPage(dir / "WkFile.txt", g, page, lines);
        EXPECT_EQ(found, page >= 4 && page <= 13) << page;
        if (found) {
            EXPECT_EQ(lines, ScanPage(dir / "whole.txt", page)) << page;
        }
    }
}

// Sizes of dumps too large to write in a test: the exact size against a page-by-page
// sum, across the point where offsets grow a ninth digit (4 GiB).
TEST(DumpPages, TextSizeOfHugeFiles)
{
    const std::string path = "/data/huge.bin";
    for (const std::int64_t length :
         {std::int64_t{1} << 30, (std::int64_t{1} << 32) + 2561, (std::int64_t{1} << 36) + 100}) {
        const DumpGeometry g{path, length, PageCount(length)};
        const std::int64_t last = g.pageTotal;
        const std::int64_t from = last - 3000;
        std::uint64_t sum = 2;  // the empty first line
        for (std::int64_t page = from; page <= last; ++page) {
            sum += DumpTextSize(g, page, page) - 2;
        }
        EXPECT_EQ(DumpTextSize(g, from, last), sum) << length;
        // A page in the middle: header, empty line, column header, 5 group breaks and
        // 80 lines of 106 characters plus the offset's digits past 8, each with CR LF.
        const std::int64_t page = last - 2;
        const std::string header = DumpPageHeader(path, length, page, g.pageTotal);
        const std::uint64_t offsetDigits =
            static_cast<std::uint64_t>(dumptext::OffsetDigits(static_cast<std::uint64_t>(page - 1) * 2560));
        EXPECT_EQ(DumpTextSize(g, page, page), 2 + header.size() + 2 + 2 + 108 + 5 * 2 + 80 * (100 + offsetDigits))
            << length;
    }
    // The 1 GiB file's dump is about 3.5 times its size.
    const std::int64_t gib = std::int64_t{1} << 30;
    const double ratio =
        static_cast<double>(DumpTextSize(DumpGeometry{path, gib, PageCount(gib)}, 1, PageCount(gib))) / gib;
    EXPECT_GT(ratio, 3.4);
    EXPECT_LT(ratio, 3.5);
}

TEST(DumpPages, PagesTheWorkFileDoesNotHold)
{
    TempFolder dir;
    const std::string bytes = PatternBytes(12 * 2560);
    WriteBytes(dir / "p.bin", bytes);
    const DumpGeometry g = Geometry(dir / "p.bin", 12 * 2560);
    std::vector<std::string> lines;

    DumpText(dir / "p.bin", dir / "WkFile.txt", 5);
    EXPECT_TRUE(ReadDumpPage(dir / "WkFile.txt", g, 5, lines));
    EXPECT_EQ(lines.size(), 88u);
    EXPECT_EQ(lines, ScanPage(dir / "WkFile.txt", 5));
    EXPECT_FALSE(ReadDumpPage(dir / "WkFile.txt", g, 6, lines));
    EXPECT_FALSE(ReadDumpPage(dir / "WkFile.txt", g, 12, lines));

    // A cancelled dump ends before page 3's header, and page 2 lacks its last line.
    int asked = 0;
    DumpHooks hooks;
    hooks.cancelRequested = [&] { return ++asked == 3; };
    DumpText(dir / "p.bin", dir / "WkFile.txt", 0, hooks);
    EXPECT_TRUE(ReadDumpPage(dir / "WkFile.txt", g, 2, lines));
    EXPECT_EQ(lines.size(), 87u);
    EXPECT_EQ(lines, ScanPage(dir / "WkFile.txt", 2));
    EXPECT_FALSE(ReadDumpPage(dir / "WkFile.txt", g, 3, lines));

    // The dump of another file, or of this one at another length, is not taken for it.
    EXPECT_FALSE(ReadDumpPage(dir / "WkFile.txt", Geometry(dir / "q.bin", 12 * 2560), 1, lines));
    EXPECT_FALSE(ReadDumpPage(dir / "WkFile.txt", Geometry(dir / "p.bin", 12 * 2560 - 1), 1, lines));
    EXPECT_FALSE(ReadDumpPage(dir / "missing.txt", g, 1, lines));

    WriteBytes(dir / "empty", "");
    DumpText(dir / "empty", dir / "WkFile.txt");
    EXPECT_FALSE(ReadDumpPage(dir / "WkFile.txt", Geometry(dir / "empty", 0), 1, lines));
}

// Past 4 GiB the offsets grow to 9 hex digits. Each page's share of the work file is
// counted here the slow way, from the formatted texts, over all 2,097,152 pages.
TEST(DumpPages, OffsetsPastFourGiB)
{
    const std::int64_t length = 5LL << 30;
    const DumpGeometry g = Geometry("/data/sparse.bin", length);
    ASSERT_EQ(g.pageTotal, 2097152);
    const std::size_t headerBase = DumpPageHeader(g.path, length, 0, g.pageTotal).size() - 1;
    std::uint64_t offset = 2;
    char buf[32];
    for (std::int64_t page = 1; page <= g.pageTotal; ++page) {
        if (page == 1 || page % 99991 == 0 || (page >= 1677720 && page <= 1677724) || page == g.pageTotal) {
            ASSERT_EQ(PageHeaderOffset(g, page), offset) << "page " << page;
        }
        const long long first = static_cast<long long>(page - 1) * 2560;
        const long long last = first + 79 * 32;
        const int firstWidth = std::snprintf(buf, sizeof buf, "%08llX", first);
        const int lastWidth = std::snprintf(buf, sizeof buf, "%08llX", last);
        std::uint64_t lineBytes = 0;
        if (firstWidth == lastWidth) {
            lineBytes = 80ull * static_cast<unsigned>(firstWidth + 100);
        } else {
            for (long long o = first; o <= last; o += 32) {
                lineBytes += static_cast<unsigned>(std::snprintf(buf, sizeof buf, "%08llX", o) + 100);
            }
        }
        offset += headerBase +
                  static_cast<unsigned>(std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(page))) + 4 +
                  108 + 10 + lineBytes;
    }
    EXPECT_EQ(PageHeaderOffset(g, g.pageTotal + 1), offset);
}

// The last page of a 5 GiB dump, placed where it belongs in a sparse work file.
TEST(DumpPages, LastPageOfAFiveGiBDump)
{
    TempFolder dir;
    const std::int64_t length = 5LL << 30;
    const DumpGeometry g = Geometry(dir / "big.bin", length);
    const std::uint64_t at = PageHeaderOffset(g, g.pageTotal);

    // The page a dump of 5 GiB of zero bytes ends with, typed out here.
    std::string page = "Name : " + g.path + "  Length : 140000000(5368709120)  Page : 2097152 / 2097152\r\n\r\n";
    page += "Position  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  "
            "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\r\n";
    char buf[32];
    for (int line = 0; line < 80; ++line) {
        if (line % 16 == 0) {
            page += "\r\n";
        }
        std::snprintf(buf, sizeof buf, "%08llX ", static_cast<unsigned long long>(length - 2560 + line * 32));
        page += buf;
        for (int j = 0; j < 32; ++j) {
            page += j == 16 ? "  00" : " 00";
        }
        page += "\r\n";
    }
    ASSERT_TRUE(sysfiles::WriteAt(dir / "WkFile.txt", at, page));
    std::vector<std::string> lines;
    ASSERT_TRUE(ReadDumpPage(dir / "WkFile.txt", g, g.pageTotal, lines));
    ASSERT_EQ(lines.size(), 88u);
    EXPECT_EQ(lines[4].substr(0, 11), "13FFFF600  ");
    EXPECT_EQ(lines[87].substr(0, 11), "13FFFFFE0  ");
    EXPECT_EQ(lines[87].size(), 107u);
    EXPECT_FALSE(ReadDumpPage(dir / "WkFile.txt", g, g.pageTotal - 1, lines));
}
