#include "filelist/csv_export.h"

#include "filelist/cp932.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <iterator>

namespace {

std::string Contents(const std::filesystem::path& path)
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
const std::string kHeaderRow =
    "\"No.\",\"\x83t\x83@\x83" "C\x83\x8B\x96\xBC\",\"\x83T\x83" "C\x83Y(Byte)\",\"\x88\xF3\x8D\xFC\x96\x87\x90\x94\"\r\n";
std::string Head(const std::string& folder, const std::string& bytes, const std::string& pages)
{
    return "\"\x83t\x83H\x83\x8B\x83_\",\"" + folder + "\"\r\n" +
           "\"\x91\x8D" "Byte\x90\x94\",\"" + bytes + "\"\r\n" +
           "\"\x91\x8D\x88\xF3\x8D\xFC\x96\x87\x90\x94\",\"" + pages + "\"\r\n" + kHeaderRow;
}

TEST(CsvExport, WritesTheListAsCodePage932WithCrLf)
{
    TempFolder tmp("csv");
    const struct {
        std::string folder;
        std::vector<FileEntry> files;
        std::string expected;
    } cases[] = {
        {"C:\\Data", {Entry("a.bin", 3000), Entry("b.txt", 10)},
         Head("C:\\Data", "3010", "3") + "\"1\",\"a.bin\",\"3000\",\"2\"\r\n\"2\",\"b.txt\",\"10\",\"1\"\r\n"},
        {"/empty", {}, Head("/empty", "0", "0")},
        {"/q\"f", {Entry("say \"hi\", ok", 1), Entry("\xE2\x82\xAC\xF0\x9F\x98\x80\xFF\xE3\x82\xBD", 0)},
         Head("/q\"\"f", "1", "2") + "\"1\",\"say \"\"hi\"\", ok\",\"1\",\"1\"\r\n" +
             "\"2\",\"???\x83\x5C\",\"0\",\"1\"\r\n"},
        {"/big", {Entry("x", 9007199254740993LL), Entry("y", 5000000000LL)},
         Head("/big", "9007204254740993", "3518439162009") + "\"1\",\"x\",\"9007199254740993\",\"3518437208884\"\r\n" +
             "\"2\",\"y\",\"5000000000\",\"1953125\"\r\n"},
    };
    for (const auto& c : cases) {
        const auto path = tmp.Path() / "out.csv";
        std::string error;
        ASSERT_TRUE(SaveListAsCsv(path.string(), c.folder, c.files, &error)) << error;
        EXPECT_EQ(Contents(path), c.expected) << c.folder;
    }
    EXPECT_EQ(Cp932ToUtf8(kHeaderRow), "\"No.\",\"ファイル名\",\"サイズ(Byte)\",\"印刷枚数\"\r\n");
}

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

// The temporary file beside the target has a short name of its own: a valid name near
// the system's limit saves.
TEST(CsvExport, LongFileNameSaves)
{
    TempFolder tmp("csv_long");
    const auto path = tmp.Path() / (std::string(246, 'l') + ".csv");
    std::string error;
    ASSERT_TRUE(SaveListAsCsv(path.string(), "/d", {}, &error)) << error;
    EXPECT_EQ(Contents(path), Head("/d", "0", "0"));
}

TEST(CsvExport, FailureLeavesTheOldFileAndNamesItWithAJapaneseReason)
{
    TempFolder tmp("csv_fail");
    const auto readOnly = tmp.Path() / "ro.csv";
    std::ofstream(readOnly) << "keep me";
    ASSERT_EQ(chmod(readOnly.c_str(), 0444), 0);
    struct Case {
        std::string path;
        const char* reason;
    };
    const Case cases[] = {
        {readOnly.string(), "アクセスが許可されていません"},
        {(tmp.Path() / "no such folder" / "x.csv").string(), "ファイルまたはフォルダが見つかりません"},
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
