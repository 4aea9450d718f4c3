#include "printing/dump_writer.h"

#include "filelist/file_entry.h"
#include "printing/dump_pages.h"
#include "printing/dump_test_util.h"
#include "textfile/error_text.h"
#include "textfile/sha256.h"

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace dumptest;

namespace {

const std::string kColumns = "Position  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  "
                             "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F";

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) {
        ++count;
    }
    return count;
}

// The 32 zero bytes of a full line, after its offset.
std::string ZeroLineBody()
{
    std::string body;
    for (int j = 0; j < 32; ++j) {
        body += (j == 16 ? "  00" : j == 0 ? "00" : " 00");
    }
    return body;
}

bool EndsWith(const std::string& text, const std::string& tail)
{
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(DumpWriter, PageCounts)
{
    const struct {
        std::int64_t size, pages;
    } cases[] = {
        {0, 1}, {1, 1}, {2560, 1}, {2561, 2}, {5000, 2}, {30720, 12}, {5368709120LL, 2097152}, {5368709121LL, 2097153}};
    for (const auto& c : cases) {
        EXPECT_EQ(PageCount(c.size), c.pages) << c.size;
    }
}

TEST(DumpWriter, SingleByteExactly)
{
    TempFolder dir;
    WriteBytes(dir / "a.bin", "A");
    DumpResult r;
    const std::string text = DumpText(dir / "a.bin", dir / "WkFile.txt", 0, {}, &r);
    EXPECT_EQ(text, "\r\nName : " + (dir / "a.bin") + "  Length : 00000001(1)  Page : 1 / 1\r\n\r\n" + kColumns +
                        "\r\n\r\n00000000  41\r\n");
    EXPECT_EQ(kColumns.size(), 106u);
    EXPECT_EQ(r.status, DumpStatus::Done);
    EXPECT_EQ(r.length, 1);
    EXPECT_EQ(r.pageTotal, 1);
    EXPECT_EQ(r.pagesWritten, 1);
}

TEST(DumpWriter, EmptyFileWritesNothing)
{
    TempFolder dir;
    WriteBytes(dir / "empty", "");
    DumpResult r;
    EXPECT_EQ(DumpText(dir / "empty", dir / "WkFile.txt", 0, {}, &r), "");
    EXPECT_EQ(r.status, DumpStatus::Done);
    EXPECT_EQ(r.pageTotal, 1);
    EXPECT_EQ(r.pagesWritten, 0);
}

// Every size around a line, group and page edge, against the byte-at-a-time original.
TEST(DumpWriter, MatchesReferenceAtEveryEdge)
{
    TempFolder dir;
    const std::size_t sizes[] = {1,   15,   16,   17,   31,   32,   33,   48,   511,   512,
                                 513, 2559, 2560, 2561, 2592, 5119, 5120, 5121, 30727, 1048576 + 2560 * 3 + 77};
    for (const std::size_t size : sizes) {
        const std::string bytes = PatternBytes(size, static_cast<unsigned>(size));
        WriteBytes(dir / "f.bin", bytes);
        for (const int preview : {0, 5}) {
            EXPECT_EQ(DumpText(dir / "f.bin", dir / "WkFile.txt", preview),
                      ReferenceDump(dir / "f.bin", bytes, preview))
                << size << " bytes, preview " << preview;
        }
    }
}

TEST(DumpWriter, ShortLinesAndGroups)
{
    TempFolder dir;
    const struct {
        std::size_t size;
        std::string tail;
    } cases[] = {
        {32, "\r\n\r\n00000000  00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00  "
             "00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00\r\n"},
        {33, "00 00\r\n00000020  00\r\n"},
        {512, "00 00\r\n000001E0 "},
        {513, "00 00\r\n\r\n00000200  00\r\n"},
    };
    for (const auto& c : cases) {
        WriteBytes(dir / "z", std::string(c.size, '\0'));
        const std::string text = DumpText(dir / "z", dir / "WkFile.txt");
        if (c.size == 512) {
            // One group: a single empty line before the dump lines, 16 of them.
            EXPECT_EQ(Count(text, "\r\n\r\n0000"), 1u);
            EXPECT_NE(text.find(c.tail), std::string::npos);
        } else {
            EXPECT_TRUE(EndsWith(text, c.tail)) << c.size;
        }
    }
}

TEST(DumpWriter, FullPageAndSecondPage)
{
    TempFolder dir;
    WriteBytes(dir / "p", std::string(2560, '\0'));
    std::string text = DumpText(dir / "p", dir / "WkFile.txt");
    EXPECT_EQ(Count(text, "\r\n"), 89u);  // the empty first line and 88 page lines
    EXPECT_EQ(Count(text, "Name : "), 1u);
    EXPECT_TRUE(EndsWith(text, "00\r\n000009E0  " + ZeroLineBody() + "\r\n"));
    EXPECT_FALSE(EndsWith(text, "\r\n\r\n"));

    WriteBytes(dir / "p", std::string(2561, '\0'));
    text = DumpText(dir / "p", dir / "WkFile.txt");
    EXPECT_TRUE(EndsWith(text, "00 00\r\nName : " + (dir / "p") + "  Length : 00000A01(2561)  Page : 2 / 2\r\n\r\n" +
                                   kColumns + "\r\n\r\n00000A00  00\r\n"));
    EXPECT_NE(text.find("Page : 1 / 2\r\n"), std::string::npos);
}

TEST(DumpWriter, PreviewKeepsFivePagesOfTwelve)
{
    TempFolder dir;
    WriteBytes(dir / "twelve", PatternBytes(12 * 2560));
    DumpResult r;
    const std::string text = DumpText(dir / "twelve", dir / "WkFile.txt", 5, {}, &r);
    EXPECT_EQ(Count(text, "Name : "), 5u);
    EXPECT_EQ(Count(text, " / 12\r\n"), 5u);
    EXPECT_NE(text.find("Page : 5 / 12"), std::string::npos);
    EXPECT_NE(text.rfind("\r\n000031E0 "), std::string::npos);  // page 5's last line
    EXPECT_EQ(text.find("00003200"), std::string::npos);
    EXPECT_EQ(r.pagesWritten, 5);
    EXPECT_EQ(r.pageTotal, 12);
    // Any nonzero flag counts as preview.
    EXPECT_EQ(DumpText(dir / "twelve", dir / "WkFile.txt", 1), text);
}

TEST(DumpWriter, HeaderAndExampleLine)
{
    EXPECT_EQ(DumpPageHeader("C:\\data\\a.bin", 5000, 1, 2),
              "Name : C:\\data\\a.bin  Length : 00001388(5000)  Page : 1 / 2");
    EXPECT_EQ(DumpPageHeader("/x", 5368709120LL, 2097152, 2097152),
              "Name : /x  Length : 140000000(5368709120)  Page : 2097152 / 2097152");
    EXPECT_EQ(FileOpenFailedMessage("/no/such"), "ファイルオープン失敗[/no/such]");
    EXPECT_EQ(FileOpenFailedMessage(""), "ファイルオープン失敗[]");

    TempFolder dir;
    std::string bytes(0x1C0, '\0');
    for (int j = 0; j < 32; ++j) {
        bytes[0x1A0 + j] = static_cast<char>(7 * j % 256);
    }
    WriteBytes(dir / "e", bytes);
    EXPECT_NE(DumpText(dir / "e", dir / "WkFile.txt")
                  .find("\r\n000001A0  00 07 0E 15 1C 23 2A 31 38 3F 46 4D 54 5B 62 69  "
                        "70 77 7E 85 8C 93 9A A1 A8 AF B6 BD C4 CB D2 D9\r\n"),
              std::string::npos);
}

TEST(DumpWriter, CancelAtPageThreeKeepsWhatCameBefore)
{
    TempFolder dir;
    const std::string bytes = PatternBytes(5 * 2560);
    WriteBytes(dir / "c", bytes);
    int pumps = 0;
    int asked = 0;
    DumpHooks hooks;
    hooks.pump = [&] { ++pumps; };
    hooks.cancelRequested = [&] {
        EXPECT_EQ(pumps, asked + 1);  // the pump runs first
        return ++asked == 3;
    };
    DumpResult r;
    const std::string text = DumpText(dir / "c", dir / "WkFile.txt", 0, hooks, &r);
    EXPECT_EQ(r.status, DumpStatus::Cancelled);
    EXPECT_EQ(r.pagesWritten, 2);
    // Pages 1 and 2, but not the line still pending: page 2's last dump line.
    const std::string full = ReferenceDump(dir / "c", bytes);
    const std::size_t cut = full.find("000013E0 ");
    ASSERT_NE(cut, std::string::npos);
    EXPECT_EQ(text, full.substr(0, cut));

    // Cancelled at the first page: not even the empty first line.
    hooks.cancelRequested = [] { return true; };
    EXPECT_EQ(DumpText(dir / "c", dir / "WkFile.txt", 0, hooks, &r), "");
    EXPECT_EQ(r.status, DumpStatus::Cancelled);
}

// The length is measured once: a file that grows meanwhile is dumped up to that length;
// one that shrinks, early or late, is a failure, since what it still holds is not what
// the headers say.
TEST(DumpWriter, FileChangingDuringTheDump)
{
    TempFolder dir;
    constexpr std::size_t kSize = 1300000;
    const std::string bytes = PatternBytes(kSize);
    // Within the first read, which comes before any pump; after it; and growing.
    for (const std::size_t sizeAfter : {std::size_t{1000}, std::size_t{1100077}, kSize + 5000}) {
        WriteBytes(dir / "f", bytes);
        const std::string after =
            sizeAfter <= kSize ? bytes.substr(0, sizeAfter) : bytes + PatternBytes(sizeAfter - kSize, 9);
        DumpHooks hooks;
        bool changed = false;
        hooks.pump = [&] {
            if (!changed) {
                WriteBytes(dir / "f", after);
                changed = true;
            }
        };
        DumpResult r;
        const std::string text = DumpText(dir / "f", dir / "WkFile.txt", 0, hooks, &r);
        EXPECT_EQ(r.length, static_cast<std::int64_t>(kSize));
        if (sizeAfter < kSize) {
            EXPECT_EQ(r.status, DumpStatus::ReadFailed) << sizeAfter;
            EXPECT_EQ(FileReadFailedMessage("/d/f"), "ファイル読み込み失敗[/d/f]");
        } else {
            EXPECT_EQ(r.status, DumpStatus::Done);
            EXPECT_TRUE(text == ReferenceDump(dir / "f", bytes, 0, kSize));
        }
    }
}

// A range is written as the same pages of a whole dump, after the empty first line,
// and its size is known before it is written.
TEST(DumpWriter, RangesAreTheirPagesOfTheWholeDumpWithAKnownSize)
{
    TempFolder dir;
    const std::size_t size = 12 * 2560 + 700;
    const std::string bytes = PatternBytes(size);
    WriteBytes(dir / "r.bin", bytes);
    const std::string whole = ReferenceDump(dir / "r.bin", bytes);
    const DumpGeometry g{dir / "r.bin", static_cast<std::int64_t>(size), 13};
    const auto pageAt = [&](std::int64_t page) {
        return page > 13 ? whole.size() : static_cast<std::size_t>(PageHeaderOffset(g, page));
    };
    const struct {
        std::int64_t first, last;
    } ranges[] = {{1, 13}, {3, 5}, {13, 13}, {12, 99}, {1, 1}, {7, 6}, {14, 20}};
    for (const auto& range : ranges) {
        CTextFileWriter out;
        ASSERT_TRUE(out.Open(dir / "WkFile.txt"));
        DumpHooks hooks;
        hooks.digest = true;
        const DumpResult r = WriteDumpFile(dir / "r.bin", out, DumpPages{range.first, range.last}, hooks);
        out.Close();
        ASSERT_EQ(r.status, DumpStatus::Done);
        // The digest is of exactly the bytes the pages show.
        const std::size_t first = std::min<std::size_t>(size, static_cast<std::size_t>(range.first - 1) * 2560);
        const std::size_t end =
            range.first > range.last ? first : std::min<std::size_t>(size, static_cast<std::size_t>(range.last) * 2560);
        EXPECT_EQ(r.sha256, CSha256::Hex(CSha256::Of(bytes.data() + first, end > first ? end - first : 0)));
        EXPECT_EQ(r.endByte - r.firstByte, static_cast<std::int64_t>(end > first ? end - first : 0));
        const std::string text = ReadAll(dir / "WkFile.txt");
        const std::size_t from = pageAt(range.first);
        const std::size_t to = range.first > range.last ? from : pageAt(std::min<std::int64_t>(range.last, 13) + 1);
        EXPECT_TRUE(text == "\r\n" + whole.substr(from, to > from ? to - from : 0)) << range.first << "-" << range.last;
        EXPECT_EQ(r.textSize, text.size()) << range.first << "-" << range.last;
        EXPECT_EQ(DumpTextSize(g, range.first, range.last), text.size());
    }
}

TEST(DumpWriter, TextSizeIsExactForEverySize)
{
    TempFolder dir;
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{1}, std::size_t{31}, std::size_t{32}, std::size_t{33}, std::size_t{511},
          std::size_t{512}, std::size_t{513}, std::size_t{2559}, std::size_t{2560}, std::size_t{2561},
          std::size_t{9 * 2560 + 17}, std::size_t{10 * 2560}, std::size_t{99 * 2560 + 2559}}) {
        WriteBytes(dir / "s", PatternBytes(size));
        DumpResult r;
        const std::string text = DumpText(dir / "s", dir / "WkFile.txt", 0, {}, &r);
        EXPECT_EQ(
            DumpTextSize(DumpGeometry{dir / "s", static_cast<std::int64_t>(size), PageCount(size)}, 1, PageCount(size)),
            text.size())
            << size;
        EXPECT_EQ(r.textSize, text.size()) << size;
    }
}

// Too little room: the dump says so before it writes a byte.
TEST(DumpWriter, NoRoomWritesNothing)
{
    TempFolder dir;
    WriteBytes(dir / "n.bin", PatternBytes(3 * 2560));
    const std::uint64_t needed = DumpTextSize(DumpGeometry{dir / "n.bin", 3 * 2560, 3}, 1, 3);
    for (const std::int64_t available :
         {std::int64_t{0}, static_cast<std::int64_t>(needed) - 1, static_cast<std::int64_t>(needed)}) {
        DumpHooks hooks;
        hooks.available = available;
        DumpResult r;
        const std::string text = DumpText(dir / "n.bin", dir / "WkFile.txt", 0, hooks, &r);
        EXPECT_EQ(r.textSize, needed);
        if (available < static_cast<std::int64_t>(needed)) {
            EXPECT_EQ(r.status, DumpStatus::NoRoom) << available;
            EXPECT_TRUE(text.empty()) << available;
        } else {
            EXPECT_EQ(r.status, DumpStatus::Done);
            EXPECT_EQ(text.size(), needed);
        }
    }
}

TEST(DumpWriter, PumpOncePerPageWritten)
{
    TempFolder dir;
    const struct {
        std::size_t size;
        int preview, pumps;
    } cases[] = {{0, 0, 0}, {1, 0, 1}, {2560, 0, 1}, {2561, 0, 2}, {12 * 2560, 0, 12}, {12 * 2560, 5, 5}};
    for (const auto& c : cases) {
        WriteBytes(dir / "f", std::string(c.size, 'x'));
        int pumps = 0;
        DumpHooks hooks;
        hooks.pump = [&] { ++pumps; };
        DumpText(dir / "f", dir / "WkFile.txt", c.preview, hooks);
        EXPECT_EQ(pumps, c.pumps) << c.size;
    }
}

TEST(DumpWriter, FullDeviceIsAFailure)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no device that is always full";
#else
    if (::access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    TempFolder dir;
    // A small dump fits the writer's buffer: the failure must still show before the caller closes.
    for (const int size : {1 << 20, 1}) {
        WriteBytes(dir / "src", PatternBytes(size));
        CTextFileWriter out;
        ASSERT_TRUE(out.Open("/dev/full"));
        const DumpResult r = WriteDumpFile(dir / "src", out, 0);
        EXPECT_EQ(r.status, DumpStatus::WriteFailed) << size;
        EXPECT_EQ(r.error, SystemError(ENOSPC)) << size;
    }
#endif
}

// What is no regular file is refused by what it is, and never opened: a fifo whose writer
// waits for a reader stays unopened, and a socket says what a fifo says. A folder is
// said as one.
TEST(DumpWriter, UnreadableSourcesWriteNothing)
{
    TempFolder dir;
    std::filesystem::create_directory(dir.Path() / "folder");
    std::vector<std::pair<std::string, std::error_code>> cases = {{dir / "folder", IoReason::FolderInput},
                                                                  {dir / "missing", SystemError(ENOENT)}};
#if defined(_WIN32)
    // A device: "NUL" in any folder opens and reads as nothing at all.
    cases.emplace_back(dir / "NUL", IoReason::NotRegularFile);
#else
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A writer blocked in its open until a reader opens the fifo.
    std::atomic<bool> opened{false};
    std::thread writer([&fifo, &opened] {
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        opened = true;
        if (fd >= 0)
            ::close(fd);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // now waiting in its open
    const std::string socket = dir / "socket";
    ASSERT_GE(sysfiles::BindSocket(socket), 0);
    cases.insert(cases.end(), {{fifo, IoReason::NotRegularFile},
                               {socket, IoReason::NotRegularFile},
                               {"/dev/null", IoReason::NotRegularFile}});
#endif
    for (const auto& [path, error] : cases) {
        CTextFileWriter out;
        ASSERT_TRUE(out.Open(dir / "WkFile.txt"));
        const DumpResult r = WriteDumpFile(path, out, 0);
        out.Close();
        EXPECT_EQ(r.status, DumpStatus::SourceOpenFailed) << path;
        EXPECT_EQ(r.error, error) << path;
        EXPECT_EQ(ReadAll(dir / "WkFile.txt"), "") << path;
    }
#if !defined(_WIN32)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(opened) << "the fifo was opened";
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // lets the writer go
    writer.join();
    ::close(reader);
#endif
    EXPECT_EQ(FileOpenFailedMessage(dir / "folder", IoReason::FolderInput),
              "ファイルオープン失敗[" + (dir / "folder") + "]\nファイルではなくフォルダです");
}

TEST(DumpWriter, SparseFilePastFourGiB)
{
    TempFolder dir;
    const std::int64_t size = 5LL << 30;
    ASSERT_TRUE(sysfiles::MakeSizedFile(dir / "sparse", size));
    DumpResult r;
    const std::string text = DumpText(dir / "sparse", dir / "WkFile.txt", 5, {}, &r);
    EXPECT_EQ(r.length, size);
    EXPECT_EQ(r.pageTotal, 2097152);
    EXPECT_NE(text.find("Length : 140000000(5368709120)  Page : 5 / 2097152\r\n"), std::string::npos);
}
