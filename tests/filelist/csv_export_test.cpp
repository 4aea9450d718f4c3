#include "filelist/csv_export.h"

#include "textfile/cp932.h"
#include "common/temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#if defined(_WIN32)
#include <windows.h>
#endif

#include <fstream>
#include <iterator>
#include <string_view>

namespace {

std::string Contents(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

FileEntry Entry(const std::string& name, std::int64_t size)
{
    FileEntry e;
    e.strName = name;
    e.lSize = size;
    e.nPages = PageCount(size);
    return e;
}

// The header lines in code page 932, spelled out byte by byte.
const std::string kHeaderRow = "\"No.\",\"\x83t\x83@\x83"
                               "C\x83\x8B\x96\xBC\",\"\x83T\x83"
                               "C\x83Y(Byte)\",\"\x88\xF3\x8D\xFC\x96\x87\x90\x94\"\r\n";
std::string Head(const std::string& folder, const std::string& bytes, const std::string& pages)
{
    return "\"\x83t\x83H\x83\x8B\x83_\",\"" + folder + "\"\r\n" +
           "\"\x91\x8D"
           "Byte\x90\x94\",\"" +
           bytes + "\"\r\n" + "\"\x91\x8D\x88\xF3\x8D\xFC\x96\x87\x90\x94\",\"" + pages + "\"\r\n" + kHeaderRow;
}

TEST(CsvExport, WritesTheListAsCodePage932WithCrLf)
{
    TempFolder tmp("csv");
    const struct {
        std::string folder;
        std::vector<FileEntry> files;
        std::string expected;
    } cases[] = {
        {"C:\\Data",
         {Entry("a.bin", 3000), Entry("b.txt", 10)},
         Head("C:\\Data", "3010", "3") + "\"1\",\"a.bin\",\"3000\",\"2\"\r\n\"2\",\"b.txt\",\"10\",\"1\"\r\n"},
        {"/empty", {}, Head("/empty", "0", "0")},
#if defined(_WIN32)
        // Names are code page 932 bytes as the system gave them, written as they are.
        {"C:\\表",
         {Entry("say \"hi\", ok", 1), Entry("ソ表\x87\x40", 0)},
         Head("C:\\\x95\x5C", "1", "2") + "\"1\",\"say \"\"hi\"\", ok\",\"1\",\"1\"\r\n" +
             "\"2\",\"\x83\x5C\x95\x5C\x87\x40\",\"0\",\"1\"\r\n"},
#else
        // UTF-8 names in code page 932; what it cannot hold, and bytes that are no UTF-8, as '?'.
        {"/q\"f",
         {Entry("say \"hi\", ok", 1), Entry("\xE2\x82\xAC\xF0\x9F\x98\x80\xFF\xE3\x82\xBD", 0)},
         Head("/q\"\"f", "1", "2") + "\"1\",\"say \"\"hi\"\", ok\",\"1\",\"1\"\r\n" +
             "\"2\",\"???\x83\x5C\",\"0\",\"1\"\r\n"},
#endif
        {"/big",
         {Entry("x", 9007199254740993LL), Entry("y", 5000000000LL)},
         Head("/big", "9007204254740993", "3518439162009") + "\"1\",\"x\",\"9007199254740993\",\"3518437208884\"\r\n" +
             "\"2\",\"y\",\"5000000000\",\"1953125\"\r\n"},
    };
    for (const auto& c : cases) {
        const std::string path = tmp.File("out.csv");
        std::string error;
        ASSERT_TRUE(SaveListAsCsv(path, c.folder, c.files, &error)) << error;
        EXPECT_EQ(Contents(path), c.expected) << c.folder;
    }
    const std::u8string_view header = u8"\"No.\",\"ファイル名\",\"サイズ(Byte)\",\"印刷枚数\"\r\n";
    EXPECT_EQ(Cp932ToUtf8(kHeaderRow), std::string(header.begin(), header.end()));
}

#if defined(_WIN32)
TEST(CsvExport, ReplacesAnExistingFileAndKeepsItHidden)
{
    TempFolder tmp("csv_replace");
    const auto path = tmp.Path() / "list.csv";
    std::ofstream(path) << "old";
    ASSERT_TRUE(::SetFileAttributesA(path.string().c_str(), FILE_ATTRIBUTE_HIDDEN));
    std::string error;
    ASSERT_TRUE(SaveListAsCsv(path.string(), "C:\\d", {}, &error)) << error;
    EXPECT_EQ(Contents(path.string()), Head("C:\\d", "0", "0"));
    EXPECT_EQ(::GetFileAttributesA(path.string().c_str()) & FILE_ATTRIBUTE_HIDDEN,
              static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), {}), 1);  // no temporary left
}

// A CSV another program holds open (a spreadsheet showing it) is replaced only when it
// lets go: until then the save fails with the file named and the old list kept.
TEST(CsvExport, WindowsFileHeldOpenIsNotReplaced)
{
    TempFolder tmp("csv_held");
    const std::string path = tmp.File("一覧表.csv");
    std::ofstream(path) << "old list";
    const HANDLE held = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string error;
    EXPECT_FALSE(SaveListAsCsv(path, "C:\\d", {Entry("a", 1)}, &error));
    EXPECT_EQ(error.rfind("CSVファイルを保存できませんでした[" + path + "]", 0), 0u) << error;
    ::CloseHandle(held);
    EXPECT_EQ(Contents(path), "old list");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), {}), 1);
    EXPECT_TRUE(SaveListAsCsv(path, "C:\\d", {}, &error)) << error;
    EXPECT_EQ(Contents(path), Head("C:\\d", "0", "0"));
}
#else
TEST(CsvExport, ReplacesAnExistingFileAndKeepsItsPermissions)
{
    TempFolder tmp("csv_replace");
    const auto path = tmp.Path() / "list.csv";
    std::ofstream(path) << "old";
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    std::string error;
    ASSERT_TRUE(SaveListAsCsv(path.string(), "/d", {}, &error)) << error;
    EXPECT_EQ(Contents(path), Head("/d", "0", "0"));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), {}), 1);  // no temporary left
}

#endif

// The temporary file beside the target has a short name of its own: a valid name near
// the system's limit saves.
TEST(CsvExport, LongFileNameSaves)
{
    TempFolder tmp("csv_long");
#if defined(_WIN32)
    // The limit is the whole path's: MAX_PATH less its terminating zero.
    const std::string path = tmp.File(std::string(MAX_PATH - 1 - tmp.File("").size() - 4, 'l') + ".csv");
    ASSERT_EQ(path.size(), static_cast<std::size_t>(MAX_PATH - 1));
#else
    const std::string path = tmp.File(std::string(246, 'l') + ".csv");
#endif
    std::string error;
    ASSERT_TRUE(SaveListAsCsv(path, "/d", {}, &error)) << error;
    EXPECT_EQ(Contents(path), Head("/d", "0", "0"));
}

TEST(CsvExport, FailureLeavesTheOldFileAndNamesItWithAJapaneseReason)
{
    TempFolder tmp("csv_fail");
    const std::string readOnly = tmp.File("ro.csv");
    std::ofstream(readOnly) << "keep me";
    ASSERT_TRUE(sysfiles::MakeReadOnly(readOnly));
    struct Case {
        std::string path;
        const char* reason;
    };
    const Case cases[] = {
        {readOnly, "アクセスが許可されていません"},
        {sysfiles::Join(tmp.File("no such folder"), "x.csv"), "ファイルまたはフォルダが見つかりません"},
        {tmp.Str(), "同じ名前のフォルダがあります"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(SaveListAsCsv(c.path, "/d", {Entry("a", 1)}, &error)) << c.path;
        EXPECT_EQ(error, "CSVファイルを保存できませんでした[" + c.path + "]\n" + c.reason);
    }
    EXPECT_EQ(Contents(readOnly), "keep me");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.Path()), {}), 1);
}

}  // namespace
