#include "filelist/csv_export.h"
#include "filelist/file_list_model.h"
#include "printing/dump_test_util.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace dumptest;

namespace {

std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char ch : text) {
        quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    }
    return quoted + "'";
}

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs vantrel-dump with the arguments; stdout goes to outFile unless given ("" = a file).
CliRun RunDump(const TempDir& dir, const std::vector<std::string>& args, const std::string& outFile = "",
               bool inDir = false)
{
    std::string command = (inDir ? "cd " + Quote(dir.Path().string()) + " && " : std::string()) +
                          Quote(VANTREL_DUMP_EXE);
    for (const auto& arg : args) {
        command += ' ';
        command += Quote(arg);
    }
    const std::string out = outFile.empty() ? dir / "stdout" : outFile;
    command += " >" + Quote(out) + " 2>" + Quote(dir / "stderr") + " </dev/null";
    const int status = std::system(command.c_str());
    CliRun run;
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (outFile.empty()) {
        run.out = ReadAll(out);
    }
    run.err = ReadAll(dir / "stderr");
    return run;
}

}  // namespace

TEST(VantrelDumpCli, DumpsEqualTheWorkFile)
{
    TempDir dir;
    WriteBytes(dir / "a.bin", PatternBytes(3 * 2560 + 5));
    WriteBytes(dir / "b.bin", "A");
    WriteBytes(dir / "twelve.bin", PatternBytes(12 * 2560));
    WriteBytes(dir / "empty", "");
    const std::string a = DumpText(dir / "a.bin", dir / "WkFile.txt");
    const std::string b = DumpText(dir / "b.bin", dir / "WkFile.txt");

    CliRun run = RunDump(dir, {dir / "a.bin", dir / "empty", dir / "b.bin"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, a + b);
    EXPECT_EQ(run.err, "");

    run = RunDump(dir, {"--preview", dir / "twelve.bin"});
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out, DumpText(dir / "twelve.bin", dir / "WkFile.txt", 5));

    // The header names the file as the argument gives it; "--" ends the options.
    WriteBytes(dir / "-x", "A");
    run = RunDump(dir, {"--", "-x"}, "", true);
    EXPECT_EQ(run.code, 0);
    EXPECT_EQ(run.out.substr(0, 14), "\r\nName : -x  L");
}

TEST(VantrelDumpCli, MissingFileAmongGoodOnes)
{
    TempDir dir;
    WriteBytes(dir / "a.bin", "A");
    const std::string a = DumpText(dir / "a.bin", dir / "WkFile.txt");
    const CliRun run = RunDump(dir, {dir / "a.bin", dir / "missing.bin", dir / "a.bin"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, a + a);
    EXPECT_NE(run.err.find("ファイルオープン失敗[" + (dir / "missing.bin") + "]"), std::string::npos) << run.err;
}

TEST(VantrelDumpCli, UsageErrors)
{
    TempDir dir;
    WriteBytes(dir / "a.bin", "A");
    const struct {
        std::vector<std::string> args;
        int code;
    } cases[] = {
        {{}, 2},
        {{"--bogus", dir / "a.bin"}, 2},
        {{"--csv"}, 2},
        {{"--csv", dir.Path().string(), dir.Path().string()}, 2},
        {{"--csv", "--preview", dir / "a.bin"}, 2},
        {{"--preview"}, 2},
        {{"--help"}, 0},
        {{"-h"}, 0},
    };
    for (const auto& c : cases) {
        const CliRun run = RunDump(dir, c.args);
        EXPECT_EQ(run.code, c.code) << (c.args.empty() ? "" : c.args.front());
        if (c.code == 0) {
            EXPECT_NE(run.out.find("vantrel-dump --csv FOLDER"), std::string::npos);
        } else {
            EXPECT_EQ(run.out, "");
            EXPECT_NE(run.err, "");
        }
    }
}

TEST(VantrelDumpCli, FullOutputIsAFailure)
{
    if (::access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    TempDir dir;
    WriteBytes(dir / "small", "A");
    WriteBytes(dir / "big", PatternBytes(1 << 20));
    for (const char* name : {"small", "big"}) {
        const CliRun run = RunDump(dir, {dir / name}, "/dev/full");
        EXPECT_EQ(run.code, 1) << name;
        EXPECT_NE(run.err.find("cannot write output"), std::string::npos) << name << run.err;
    }
    EXPECT_EQ(RunDump(dir, {"--csv", dir.Path().string()}, "/dev/full").code, 1);
}

TEST(VantrelDumpCli, CsvOfAFolder)
{
    TempDir dir;
    std::filesystem::create_directory(dir / "list");
    WriteBytes(dir / "list/b.bin", PatternBytes(2561));
    WriteBytes(dir / "list/a.txt", "hello");
    WriteBytes(dir / "list/名前.dat", "");

    CFileListModel model;
    model.m_strFolder = dir / "list";
    ASSERT_TRUE(model.ListFolder());
    CTextFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "expected.csv"));
    ASSERT_TRUE(WriteListCsv(writer, model.m_strFolder, model.m_aFiles));
    writer.Close();

    const CliRun run = RunDump(dir, {"--csv", dir / "list"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, ReadAll(dir / "expected.csv"));
    EXPECT_NE(run.out.find("\r\n"), std::string::npos);
}

TEST(VantrelDumpCli, CsvOfAFolderItCannotReadWritesNothing)
{
    TempDir dir;
    WriteBytes(dir / "plain.bin", "A");
    for (const std::string& folder : {dir / "no such folder", dir / "plain.bin"}) {
        const CliRun run = RunDump(dir, {"--csv", folder});
        EXPECT_EQ(run.code, 1) << folder;
        // A redirection must not be left holding a list that looks like the folder's.
        EXPECT_EQ(run.out, "") << folder;
        EXPECT_NE(run.err.find("フォルダを読めません[" + folder + "]"), std::string::npos) << run.err;
    }
}
