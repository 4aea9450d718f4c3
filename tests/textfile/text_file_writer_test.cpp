#include "textfile/text_file_writer.h"

#include "common/system_files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::filesystem::path TempFile(const std::string& name)
{
    const char* env = std::getenv("VANTREL_TEST_TMP");
    std::filesystem::path dir =
        env != nullptr && *env != '\0' ? std::filesystem::path(env) : std::filesystem::temp_directory_path();
    dir /= "textfile_writer_" + std::to_string(sysfiles::ProcessId());
    std::filesystem::create_directories(dir);
    return dir / name;
}

std::string Contents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(TextFileWriter, EveryLineFeedBecomesCrLf)
{
    const auto path = TempFile("crlf");
    {
        CTextFileWriter writer;
        ASSERT_TRUE(writer.Open(path.string()));
        EXPECT_TRUE(writer.WriteString("plain"));
        EXPECT_TRUE(writer.WriteString("header\n"));
        EXPECT_TRUE(writer.WriteString(std::string("a\nb\r\nc")));
        EXPECT_TRUE(writer.WriteString(""));
        EXPECT_TRUE(writer.WriteRaw("raw\n\r\n", 6));
        writer.Close();
        EXPECT_FALSE(writer.Failed());
    }
    EXPECT_EQ(Contents(path), "plain\r\nheader\r\n\r\na\r\nb\r\r\nc\r\n\r\nraw\n\r\n");
}

TEST(TextFileWriter, BulkWritesKeepTheirOrder)
{
    const auto path = TempFile("bulk");
    std::string expected;
    {
        CTextFileWriter writer;
        ASSERT_TRUE(writer.Open(path.string()));
        const std::string chunk(70000, 'r');
        const std::string huge(600000, 'h');
        for (int i = 0; i < 20; ++i) {
            const std::string line = "line " + std::to_string(i);
            ASSERT_TRUE(writer.WriteString(line));
            ASSERT_TRUE(writer.WriteRaw(chunk.data(), chunk.size()));
            expected += line + "\r\n" + chunk;
            if (i % 7 == 0) {
                ASSERT_TRUE(writer.WriteRaw(huge.data(), huge.size()));
                expected += huge;
            }
        }
    }  // the destructor closes and flushes
    EXPECT_EQ(Contents(path), expected);
}

TEST(TextFileWriter, OpenTwiceFinishesTheFirstFile)
{
    const auto first = TempFile("first");
    const auto second = TempFile("second");
    CTextFileWriter writer;
    ASSERT_TRUE(writer.Open(first.string()));
    writer.WriteString("one");
    ASSERT_TRUE(writer.Open(second.string()));
    writer.WriteString("two");
    writer.Close();
    writer.Close();
    EXPECT_EQ(Contents(first), "one\r\n");
    EXPECT_EQ(Contents(second), "two\r\n");
    EXPECT_EQ(writer.m_bOpen, 0);
    EXPECT_FALSE(writer.WriteString("closed"));
}

TEST(TextFileWriter, OpenFailureIsReported)
{
    CTextFileWriter writer;
    EXPECT_FALSE(writer.Open((TempFile("missing_dir") / "x" / "y.txt").string()));
    EXPECT_EQ(writer.m_bOpen, 0);
    EXPECT_EQ(writer.Error(), SystemError(ENOENT));
    EXPECT_FALSE(writer.WriteString("lost"));
}

TEST(TextFileWriter, FullDiskIsReportedAndSticks)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no device that is always full";
#endif
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    // A short write sits in the buffer until Close: the failure must surface there.
    CTextFileWriter small;
    ASSERT_TRUE(small.Open("/dev/full"));
    small.WriteString("x");
    small.Close();
    EXPECT_TRUE(small.Failed());
    EXPECT_EQ(small.Error(), SystemError(ENOSPC));

    CTextFileWriter bulk;
    ASSERT_TRUE(bulk.Open("/dev/full"));
    const std::string chunk(1 << 20, 'z');
    EXPECT_FALSE(bulk.WriteRaw(chunk.data(), chunk.size()));
    EXPECT_FALSE(bulk.WriteString("after"));
    EXPECT_EQ(bulk.Error(), SystemError(ENOSPC));
    bulk.Close();
    EXPECT_EQ(bulk.Error(), SystemError(ENOSPC));
}

TEST(TextFileWriter, AttachedStreamIsFlushedNotClosed)
{
    const auto path = TempFile("attached");
    std::FILE* stream = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(stream, nullptr);
    {
        CTextFileWriter writer;
        ASSERT_TRUE(writer.Attach(stream));
        writer.WriteString("via writer");
        writer.Close();
        EXPECT_FALSE(writer.Failed());
    }
    EXPECT_EQ(Contents(path), "via writer\r\n");
    EXPECT_GE(std::fputs("still open\n", stream), 0);
    EXPECT_EQ(std::fclose(stream), 0);
    EXPECT_EQ(Contents(path), "via writer\r\nstill open\n");

#if !defined(_WIN32)  // no device that is always full
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full != nullptr) {
        CTextFileWriter writer;
        ASSERT_TRUE(writer.Attach(full));
        writer.WriteString("x");
        writer.Close();
        EXPECT_TRUE(writer.Failed());
        std::fclose(full);
    }
#endif
}

}  // namespace
