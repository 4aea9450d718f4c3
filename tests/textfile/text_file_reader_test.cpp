#include "textfile/text_file_reader.h"

#include "common/system_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace {

std::filesystem::path TempFile(const std::string& name)
{
    const char* env = std::getenv("VANTREL_TEST_TMP");
    std::filesystem::path dir =
        env != nullptr && *env != '\0' ? std::filesystem::path(env) : std::filesystem::temp_directory_path();
    dir /= "textfile_reader_" + std::to_string(sysfiles::ProcessId());
    std::filesystem::create_directories(dir);
    return dir / name;
}

std::string WriteFile(const std::string& name, const std::string& bytes)
{
    const auto path = TempFile(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
}

std::vector<std::string> ReadAll(CTextFileReader& reader)
{
    std::vector<std::string> lines;
    while (reader.ReadLine()) {
        lines.push_back(reader.m_strLine);
    }
    return lines;
}

struct LineEndCase {
    const char* name;
    std::string bytes;
};

class ReaderLineEnds : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(ReaderLineEnds, EveryLineEndsInOneLineFeed)
{
    CTextFileReader reader;
    ASSERT_TRUE(reader.Open(WriteFile(GetParam().name, GetParam().bytes)));
    const std::vector<std::string> expected{"one\tx\n", "\n", "three\n"};
    EXPECT_EQ(ReadAll(reader), expected);
    EXPECT_EQ(reader.m_strLine, "\n");
    EXPECT_FALSE(reader.ReadLine());
    EXPECT_EQ(reader.m_strLine, "\n");
    EXPECT_FALSE(reader.HadError());
}

INSTANTIATE_TEST_SUITE_P(All, ReaderLineEnds,
                         ::testing::Values(LineEndCase{"crlf", "one\tx\r\n\r\nthree\r\n"},
                                           LineEndCase{"lf", "one\tx\n\nthree\n"},
                                           LineEndCase{"open_end", "one\tx\r\n\nthree"},
                                           LineEndCase{"open_end_cr", "one\tx\n\r\nthree\r"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TextFileReader, EmptyFileAndMissingFile)
{
    CTextFileReader reader;
    ASSERT_TRUE(reader.Open(WriteFile("empty", "")));
    EXPECT_FALSE(reader.ReadLine());
    EXPECT_EQ(reader.m_strLine, "\n");
    EXPECT_TRUE(reader.GetField(0).empty());

    EXPECT_FALSE(reader.Open(TempFile("no_such_file").string()));
    EXPECT_EQ(reader.m_bOpen, 0);
    EXPECT_FALSE(reader.ReadLine());
}

TEST(TextFileReader, ReadErrorIsNotTheEndOfTheFile)
{
    // A folder opens for reading on Linux, but every read fails.
    CTextFileReader reader;
    if (!reader.Open(TempFile("").parent_path().string())) {
        GTEST_SKIP() << "folders do not open as files here";
    }
    EXPECT_FALSE(reader.ReadLine());
    EXPECT_EQ(reader.m_strLine, "\n");
    EXPECT_TRUE(reader.HadError());
}

TEST(TextFileReader, LongLinesAndNulBytesSurvive)
{
    std::string line(300000, 'q');
    line[1000] = '\0';
    CTextFileReader reader;
    ASSERT_TRUE(reader.Open(WriteFile("long", line + "\r\nend")));
    ASSERT_TRUE(reader.ReadLine());
    EXPECT_EQ(reader.m_strLine, line + "\n");
    ASSERT_TRUE(reader.ReadLine());
    EXPECT_EQ(reader.m_strLine, "end\n");
}

TEST(TextFileReader, OpenTwiceReadsTheSecondFile)
{
    CTextFileReader reader;
    ASSERT_TRUE(reader.Open(WriteFile("first", "first\n")));
    ASSERT_TRUE(reader.Open(WriteFile("second", "second\n")));
    EXPECT_EQ(reader.m_bOpen, 1);
    ASSERT_TRUE(reader.ReadLine());
    EXPECT_EQ(reader.m_strLine, "second\n");
    reader.Close();
    reader.Close();
    EXPECT_EQ(reader.m_bOpen, 0);
}

TEST(TextFileReader, SeekStartsMidFile)
{
    CTextFileReader reader;
    ASSERT_TRUE(reader.Open(WriteFile("seek", "aa\r\nbbb\r\ncc\r\n")));
    ASSERT_TRUE(reader.ReadLine());
    const auto second = reader.Tell();
    EXPECT_EQ(second, 4u);
    ASSERT_TRUE(reader.ReadLine());
    ASSERT_TRUE(reader.ReadLine());
    EXPECT_FALSE(reader.ReadLine());
    ASSERT_TRUE(reader.Seek(second));
    ASSERT_TRUE(reader.ReadLine());
    EXPECT_EQ(reader.m_strLine, "bbb\n");
    EXPECT_EQ(reader.Tell(), 9u);
}

struct FieldCase {
    std::string line;
    char delimiter;
    std::int16_t field;
    std::string expected;
};

void PrintTo(const FieldCase& c, std::ostream* os)
{
    *os << "field " << c.field << " of a " << c.line.size() << "-byte line";
}

class ReaderFields : public ::testing::TestWithParam<FieldCase> {};

TEST_P(ReaderFields, CutsTheLine)
{
    CTextFileReader reader;
    reader.SetDelimiter(GetParam().delimiter);
    reader.m_strLine = GetParam().line;
    EXPECT_EQ(reader.GetField(GetParam().field), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Rules, ReaderFields,
                         ::testing::Values(
                             // Empty line, spaces only, comment line.
                             FieldCase{"\n", '\t', 0, ""}, FieldCase{"", '\t', 0, ""}, FieldCase{"    \n", '\t', 0, ""},
                             FieldCase{";a\tb\n", '\t', 0, ""}, FieldCase{";a\tb\n", '\t', 1, ""},
                             // TAB: outer spaces dropped, inner kept, empty fields count.
                             FieldCase{"  a b  \t c \n", '\t', 0, "a b"}, FieldCase{"  a b  \t c \n", '\t', 1, "c"},
                             FieldCase{"a\t\tb\n", '\t', 1, ""}, FieldCase{"a\t\tb\n", '\t', 2, "b"},
                             FieldCase{"a\tb\n", '\t', 2, ""}, FieldCase{"a\tb\n", '\t', -1, ""},
                             // Comment only at the start of a field after its spaces; later fields then read empty.
                             FieldCase{"a;b\tc\n", '\t', 0, "a;b"}, FieldCase{"a\t  ;b\tc\n", '\t', 1, ""},
                             FieldCase{"a\t  ;b\tc\n", '\t', 2, ""}, FieldCase{"a\t  ;b\tc\n", '\t', 0, "a"},
                             // Space delimiter: tested before the leading-space skip.
                             FieldCase{"Name : file name\n", ' ', 0, "Name"},
                             FieldCase{"Name : file name\n", ' ', 1, ":"},
                             FieldCase{"Name : file name\n", ' ', 2, "file"}, FieldCase{"a  b\n", ' ', 1, ""},
                             FieldCase{"a  b\n", ' ', 2, "b"}, FieldCase{" a\n", ' ', 0, ""},
                             // CR ends the line as LF does; a line without a line end still yields its field.
                             FieldCase{"a\tb\rc\n", '\t', 1, "b"}, FieldCase{"a\tb  ", '\t', 1, "b"},
                             // Bytes of 128 and above never match the delimiter or the comment character.
                             FieldCase{"\x83\x3B\tx\n", '\t', 0, "\x83\x3B"},
                             FieldCase{"a\xA9"
                                       "b\n",
                                       static_cast<char>(0xA9), 0,
                                       "a\xA9"
                                       "b"},
                             FieldCase{"a\xA9"
                                       "b\n",
                                       static_cast<char>(0xA9), 1, ""}));

TEST(TextFileReader, CommentCharacterIsConfigurable)
{
    CTextFileReader reader;
    reader.m_chComment = '#';
    reader.m_strLine = "x\t;y\t#z\n";
    EXPECT_EQ(reader.GetField(1), ";y");
    EXPECT_EQ(reader.GetField(2), "");
}

TEST(TextFileReader, FieldsOfAnyLength)
{
    const std::string big(100 * 1024, 'x');
    CTextFileReader reader;
    reader.m_strLine = big + "\t" + big + "y  \t z\n";
    EXPECT_EQ(reader.GetField(0), big);
    EXPECT_EQ(reader.GetField(1), big + "y");
    EXPECT_EQ(reader.GetField(2), "z");
}

TEST(TextFileReader, FieldNumbersWrapOnSixteenBits)
{
    CTextFileReader reader;
    reader.m_strLine = std::string(65535, '\t') + "last\n";
    EXPECT_EQ(reader.GetField(-1), "last");
    EXPECT_EQ(reader.GetField(32767), "");
}

}  // namespace
