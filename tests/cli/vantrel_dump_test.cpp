#include "filelist/csv_export.h"
#include "filelist/file_list_model.h"
#include "common/scoped_env.h"
#include "printing/dump_test_util.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <string>
#include <vector>

using namespace dumptest;

namespace {

#if defined(_WIN32)
// cmd.exe: no argument here holds a double quote.
std::string Quote(const std::string& text)
{
    return "\"" + text + "\"";
}

// The build names the program by a path of its own system (/work/... under Wine): made
// whole on the drive the tests start on.
std::string DumpExe()
{
    static const std::string exe = [] {
        char full[MAX_PATH];
        return std::string(::_fullpath(full, VANTREL_DUMP_EXE, sizeof full) != nullptr ? full : VANTREL_DUMP_EXE);
    }();
    return exe;
}

constexpr char kNoInput[] = "NUL";
#else
std::string Quote(const std::string& text)
{
    std::string quoted = "'";
    for (char ch : text) {
        quoted += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    }
    return quoted + "'";
}

std::string DumpExe()
{
    return VANTREL_DUMP_EXE;
}

constexpr char kNoInput[] = "/dev/null";
#endif

struct CliRun {
    int code = -1;
    std::string out;
    std::string err;
};

// Runs vantrel-dump with the arguments; stdout goes to outFile unless given ("" = a file).
CliRun RunDump(const TempFolder& dir, const std::vector<std::string>& args, const std::string& outFile = "",
               bool inDir = false)
{
#if defined(_WIN32)
    const std::string cd = "cd /d ";
#else
    const std::string cd = "cd ";
#endif
    std::string command = (inDir ? cd + Quote(dir.Path().string()) + " && " : std::string()) + Quote(DumpExe());
    for (const auto& arg : args) {
        command += ' ';
        command += Quote(arg);
    }
    const std::string out = outFile.empty() ? dir / "stdout" : outFile;
    command += " >" + Quote(out) + " 2>" + Quote(dir / "stderr") + " <" + kNoInput;
    CliRun run;
#if defined(_WIN32)
    // cmd.exe /c takes the outer quotes off the whole line.
    run.code = std::system(("\"" + command + "\"").c_str());
#else
    const int status = std::system(command.c_str());
    run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    if (outFile.empty()) {
        run.out = ReadAll(out);
    }
    run.err = ReadAll(dir / "stderr");
#if defined(_WIN32)
    // Standard error is text there: each line ends in the CR LF it adds.
    for (std::size_t cr = run.err.find("\r\n"); cr != std::string::npos; cr = run.err.find("\r\n", cr))
        run.err.erase(cr, 1);
#endif
    return run;
}

}  // namespace

TEST(VantrelDumpCli, DumpsEqualTheWorkFile)
{
    TempFolder dir;
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
    TempFolder dir;
    WriteBytes(dir / "a.bin", "A");
    const std::string a = DumpText(dir / "a.bin", dir / "WkFile.txt");
    const CliRun run = RunDump(dir, {dir / "a.bin", dir / "missing.bin", dir / "a.bin"});
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.out, a + a);
    EXPECT_NE(
        run.err.find("ファイルオープン失敗[" + (dir / "missing.bin") + "]\nファイルまたはフォルダが見つかりません"),
        std::string::npos)
        << run.err;
    // A device (or a fifo) is no file to dump: said in plain words, never waited on.
    std::vector<std::string> special = {kNoInput};
#if !defined(_WIN32)
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    special.push_back(dir / "fifo");
#endif
    for (const std::string& name : special) {
        const CliRun other = RunDump(dir, {name, dir / "a.bin"});
        EXPECT_EQ(other.code, 1);
        EXPECT_EQ(other.out, a);
        EXPECT_NE(other.err.find("[" + name + "]\n通常のファイルではありません"), std::string::npos) << other.err;
    }
}

TEST(VantrelDumpCli, UsageErrors)
{
    TempFolder dir;
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
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no device that is always full";
#else
    if (::access("/dev/full", W_OK) != 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    TempFolder dir;
    WriteBytes(dir / "small", "A");
    WriteBytes(dir / "big", PatternBytes(1 << 20));
    for (const char* name : {"small", "big"}) {
        const CliRun run = RunDump(dir, {dir / name}, "/dev/full");
        EXPECT_EQ(run.code, 1) << name;
        EXPECT_NE(run.err.find("cannot write output"), std::string::npos) << name << run.err;
    }
    EXPECT_EQ(RunDump(dir, {"--csv", dir.Path().string()}, "/dev/full").code, 1);
    // Run by the shell: a file-size limit fails the write as a full disk does, without a
    // signal's death; standard output sent into an input is refused before a byte is written.
    const auto shell = [&dir](const std::string& line) {
        const int status = std::system((line + " 2>" + Quote(dir / "stderr")).c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(shell("ulimit -f 100; " + Quote(DumpExe()) + " " + Quote(dir / "big") + " >" + Quote(dir / "out")), 1);
    EXPECT_NE(ReadAll(dir / "stderr").find("cannot write output): File too large"), std::string::npos);
    EXPECT_EQ(shell(Quote(DumpExe()) + " " + Quote(dir / "small") + " >>" + Quote(dir / "small")), 2);
    EXPECT_EQ(ReadAll(dir / "small"), "A");
    EXPECT_NE(ReadAll(dir / "stderr").find("は入力のファイル[" + (dir / "small") + "]です"), std::string::npos);
#endif
}

// The report: mkdir -m700 $TMPDIR/vantrel-notes with a WkFile.txt of the user's, then
// vantrel-dump some.bin. Its start sweeps what killed runs left, and nothing of the user's.
TEST(VantrelDumpCli, StartSweepsNoFolderOfTheUsers)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the work folders live in the user's own temporary folder there, not under TMPDIR";
#else
    TempFolder dir;
    ScopedEnv tmp("TMPDIR", dir.Str());
    WriteBytes(dir / "some.bin", "A");
    for (const char* name : {"vantrel-notes", "vantrel-backup"}) {
        ASSERT_EQ(::mkdir((dir / name).c_str(), 0700), 0);
        WriteBytes(sysfiles::Join(dir / name, "WkFile.txt"), "mine");
    }
    EXPECT_EQ(RunDump(dir, {dir / "some.bin"}).code, 0);
    for (const char* name : {"vantrel-notes", "vantrel-backup"})
        EXPECT_EQ(ReadAll(sysfiles::Join(dir / name, "WkFile.txt")), "mine") << name;
#endif
}

TEST(VantrelDumpCli, CsvOfAFolder)
{
    TempFolder dir;
    const std::string list = dir / "list";
    std::filesystem::create_directory(dir.Path() / "list");
    WriteBytes(sysfiles::Join(list, "b.bin"), PatternBytes(2561));
    WriteBytes(sysfiles::Join(list, "a.txt"), "hello");
    WriteBytes(sysfiles::Join(list, "名前.dat"), "");
    WriteBytes(sysfiles::Join(list, "表ソ"), "5C");

    CFileListModel model;
    model.m_strFolder = list;
    ASSERT_TRUE(model.ListFolder());
    CTextFileWriter writer;
    ASSERT_TRUE(writer.Open(dir / "expected.csv"));
    ASSERT_TRUE(WriteListCsv(writer, model.m_strFolder, model.m_aFiles));
    writer.Close();

    const CliRun run = RunDump(dir, {"--csv", list});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, ReadAll(dir / "expected.csv"));
    EXPECT_NE(run.out.find("\r\n"), std::string::npos);
#if !defined(_WIN32)
    // A doubled separator inside the folder's name names the same folder.
    const std::string doubled = dir.Str() + "//list";
    const CliRun again = RunDump(dir, {"--csv", doubled});
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_NE(again.out.find("b.bin"), std::string::npos) << again.out;
#endif
}

TEST(VantrelDumpCli, CsvOfAFolderItCannotReadWritesNothing)
{
    TempFolder dir;
    WriteBytes(dir / "plain.bin", "A");
    for (const std::string& folder : {dir / "no such folder", dir / "plain.bin"}) {
        const CliRun run = RunDump(dir, {"--csv", folder});
        EXPECT_EQ(run.code, 1) << folder;
        // A redirection must not be left holding a list that looks like the folder's.
        EXPECT_EQ(run.out, "") << folder;
        EXPECT_NE(run.err.find("フォルダを読めません[" + folder + "]"), std::string::npos) << run.err;
    }
}

#if defined(_WIN32)
// Windows: an argument naming a file the ANSI code page cannot hold opens nothing; the
// runtime's own arguments would have made "x\\.bin" of "x\u00A5.bin", another file.
TEST(VantrelDumpCli, WindowsArgumentOutsideTheCodePageOpensNothing)
{
    TempFolder dir;
    WriteBytes(dir / "yen", "the file asked for");
    ASSERT_EQ(::_wrename((dir.Path() / "yen").c_str(), (dir.Path() / L"x\u00A5.bin").c_str()), 0);
    std::filesystem::create_directory(dir.Path() / "x");
    WriteBytes(sysfiles::Join(dir / "x", ".bin"), "another file");
    const std::wstring command =
        L"\"\"" + std::filesystem::path(DumpExe()).wstring() + L"\" \"" + (dir.Path() / L"x\u00A5.bin").wstring() +
        L"\" >\"" + (dir.Path() / "stdout").wstring() + L"\" 2>\"" + (dir.Path() / "stderr").wstring() + L"\" <NUL\"";
    EXPECT_EQ(::_wsystem(command.c_str()), 1);
    EXPECT_EQ(ReadAll(dir / "stdout"), "");
    EXPECT_NE(ReadAll(dir / "stderr").find("ファイルオープン失敗[" + (dir / "x?.bin") + "]"), std::string::npos)
        << ReadAll(dir / "stderr");
}
#endif
