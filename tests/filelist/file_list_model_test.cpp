#include "filelist/file_list_model.h"

#include "common/temp_folder.h"

#include "draw/join_path.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cstring>
#include <fstream>

namespace {

std::vector<std::string> Names(const CFileListModel& model)
{
    std::vector<std::string> names;
    for (const FileEntry& e : model.m_aFiles)
        names.push_back(e.strName);
    return names;
}

// By the path's bytes: a code page 932 name on Windows too.
void MakeFile(const std::string& path, std::size_t size)
{
    std::ofstream(path, std::ios::binary) << std::string(size, 'x');
}

void MakeFile(const std::filesystem::path& path, std::size_t size)
{
    MakeFile(path.string(), size);
}

TEST(FileListModel, PageCount)
{
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {0, 1}, {1, 1}, {2560, 1}, {2561, 2}, {5120, 2}, {5000000000LL, 1953125}, {(1LL << 32) + 1, 1677722},
    };
    for (const auto& [size, pages] : cases)
        EXPECT_EQ(PageCount(size), pages) << size;
}

TEST(FileListModel, AddFileEntryKeepsNameOrderAndFoundOrderOfEqualNames)
{
    CFileListModel model;
    const std::pair<const char*, std::int64_t> added[] = {
        {"b.txt", 1},
        {"A.txt", 2},
        {"_x.txt", 3},
        {"1.txt", 4},
        {"ｱ", 5},
        {"ア.txt", 6},
        {"a.TXT", 7},
        {"a", 8},
        {"ａ", 9},
        {"Ａ", 10},
        {"6000000000.bin", 6000000000LL},
    };
    for (const auto& [name, size] : added)
        model.AddFileEntry(name, size);
    const std::vector<std::string> expected = {
        "1.txt", "6000000000.bin", "a", "A.txt", "a.TXT", "b.txt", "_x.txt", "ｱ", "ａ", "Ａ", "ア.txt",
    };
    EXPECT_EQ(Names(model), expected);
    EXPECT_EQ(model.m_aFiles[1].lSize, 6000000000LL);
    EXPECT_EQ(model.m_aFiles[1].nPages, 2343750);
    for (const FileEntry& e : model.m_aFiles)
        EXPECT_EQ(e.nMark + e.nPrinted, 0);
}

#if defined(_WIN32)

// Windows: files of every attribute, no folders; names as code page 932 bytes, trail
// byte 0x5C and all, in a folder whose own name ends in one.
TEST(FileListModel, ScanListsFilesOfEveryAttributeNoFolders)
{
    TempFolder tmp("scan");
    const std::string dir = tmp.File("表");
    ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
    const auto file = [&dir](const std::string& name) { return sysfiles::Join(dir, name); };
    MakeFile(file("b.txt"), 2561);
    MakeFile(file("A.txt"), 0);
    MakeFile(file("hidden"), 3);
    MakeFile(file("ソ表.bin"), 5121);
    MakeFile(file("readonly"), 1);
    ASSERT_TRUE(::SetFileAttributesA(file("hidden").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(sysfiles::MakeReadOnly(file("readonly")));
    ASSERT_TRUE(::CreateDirectoryA(file("sub").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryA(file("ソ").c_str(), nullptr));

    CFileListModel model;
    model.m_strFolder = dir;
    EXPECT_TRUE(model.ListFolder());
    const std::vector<std::string> expected = {"A.txt", "b.txt", "hidden", "readonly", "\x83\x5C\x95\x5C.bin"};
    EXPECT_EQ(Names(model), expected);
    EXPECT_EQ(model.m_aFiles[1].nPages, 2);
    EXPECT_EQ(model.m_aFiles[4].lSize, 5121);
    EXPECT_EQ(model.m_aFiles[4].nPages, 3);

    // A folder path with a trailing separator lists the same.
    CFileListModel slash;
    EXPECT_TRUE(slash.ScanFolder(JoinPath(dir + "\\", "*.*")));
    EXPECT_EQ(Names(slash), expected);
}

// A name the ANSI code page cannot hold lists with '?' and names no file: the ANSI
// search's best fit would list "x\u00A5.bin" as "x\\.bin", the path of another file.
TEST(FileListModel, WindowsNameOutsideTheCodePageListsWithAQuestionMark)
{
    TempFolder tmp("scan_best_fit");
    std::ofstream(tmp.Path() / L"x\u00A5.bin") << "yen";
    std::filesystem::create_directory(tmp.Path() / "x");
    std::ofstream(tmp.Path() / "x" / ".bin") << "another file";
    CFileListModel model;
    model.m_strFolder = tmp.Str();
    ASSERT_TRUE(model.ListFolder());
    ASSERT_EQ(Names(model), std::vector<std::string>{"x?.bin"});
    std::ifstream in(JoinPath(tmp.Str(), model.m_aFiles[0].strName));
    EXPECT_FALSE(in.is_open());
}

#else

TEST(FileListModel, ScanListsRegularFilesAndLinksToThemOnly)
{
    TempFolder tmp("scan");
    const auto& dir = tmp.Path();
    MakeFile(dir / "b.txt", 2561);
    MakeFile(dir / "A.txt", 0);
    MakeFile(dir / ".hidden", 3);
    MakeFile(dir / "quote\"d\nline \xF0\x9F\x98\x80", 1);
    std::filesystem::create_directory(dir / "sub");
    MakeFile(dir / "sub" / "inner.txt", 1);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("b.txt", dir / "link");
    std::filesystem::create_symlink("missing", dir / "dangling");
    std::filesystem::create_directory_symlink("sub", dir / "dirlink");

    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sockPath = (dir / "sock").string();
    const bool haveSocket = sock >= 0 && sockPath.size() < sizeof addr.sun_path;
    if (haveSocket) {
        std::memcpy(addr.sun_path, sockPath.c_str(), sockPath.size() + 1);
        ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    }

    CFileListModel model;
    model.m_strFolder = tmp.Str();
    EXPECT_TRUE(model.ListFolder());
    if (sock >= 0)
        close(sock);
    const std::vector<std::string> expected = {
        ".hidden", "A.txt", "b.txt", "link", "quote\"d\nline \xF0\x9F\x98\x80",
    };
    EXPECT_EQ(Names(model), expected);
    EXPECT_EQ(model.m_aFiles[2].lSize, 2561);
    EXPECT_EQ(model.m_aFiles[2].nPages, 2);
    EXPECT_EQ(model.m_aFiles[3].lSize, 2561);  // the link shows its target's size

    // A folder path with a trailing separator lists the same.
    CFileListModel slash;
    EXPECT_TRUE(slash.ScanFolder(JoinPath(tmp.Str() + "/", "*.*")));
    EXPECT_EQ(Names(slash), expected);
}

#endif

TEST(FileListModel, MissingFolderOrEmptyPatternListsNothing)
{
    TempFolder tmp("missing");
    CFileListModel model;
    model.AddFileEntry("stale", 1);
    model.m_strFolder = (tmp.Path() / "nope").string();
    EXPECT_FALSE(model.ListFolder());
    EXPECT_TRUE(model.m_aFiles.empty());
    EXPECT_FALSE(model.ScanFolder(""));
    model.m_strFolder = "";
    EXPECT_FALSE(model.ListFolder());
}

TEST(FileListModel, ScanAfterEarlierEntriesPutsFoundOnesAfterEqualNames)
{
    TempFolder tmp("merge");
    MakeFile(tmp.Path() / "B", 1);
    MakeFile(tmp.Path() / "c", 2);
    CFileListModel model;
    model.AddFileEntry("b", 10);
    model.AddFileEntry("d", 11);
    ASSERT_TRUE(model.ScanFolder(JoinPath(tmp.Str(), "*.*")));
    const std::vector<std::string> expected = {"b", "B", "c", "d"};
    EXPECT_EQ(Names(model), expected);
}

TEST(FileListModel, PrintedFlagsSurviveAChangeOfFolder)
{
    TempFolder a("printed_a");
    TempFolder b("printed_b");
    for (const char* n : {"one.txt", "two.txt", "Three.txt"})
        MakeFile(a.Path() / n, 1);
    MakeFile(b.Path() / "one.txt", 1);

    CFileListModel model;
    model.m_strFolder = a.Str();
    model.ListFolder();
    ASSERT_EQ(model.m_aFiles.size(), 3u);  // one, Three, two
    model.m_aFiles[0].nPrinted = 1;
    model.m_aFiles[1].nPrinted = 1;
    model.m_aFiles[2].nMark = 1;

    auto choose = [&model](const std::string& folder) {
        const std::string old = model.m_strFolder;
        model.RememberPrinted(old);
        model.m_strFolder = folder;
        model.ListFolder();
        model.RestorePrinted();
    };
    choose(b.Str());
    EXPECT_EQ(model.m_aFiles[0].nPrinted, 0);  // same name, other folder
    // Through another name: Wine takes a rename that changes only the case for none.
    std::filesystem::rename(a.Path() / "Three.txt", a.Path() / "renamed");
    std::filesystem::rename(a.Path() / "renamed", a.Path() / "three.txt");
    choose(a.Str());
    ASSERT_EQ(Names(model), (std::vector<std::string>{"one.txt", "three.txt", "two.txt"}));
    EXPECT_EQ(model.m_aFiles[0].nPrinted, 1);
    EXPECT_EQ(model.m_aFiles[1].nPrinted, 0);  // only its case changed: exact comparison
    EXPECT_EQ(model.m_aFiles[2].nMark, 0);  // marks do not survive
    choose(a.Str());
    choose(a.Str());
    EXPECT_EQ(model.m_aPrinted.size(), 2u);  // one memory entry per folder and name
}

// A folder that can be read but not searched names its entries and refuses to tell their
// sizes: it is a folder the program cannot read, not an empty one.
TEST(FileListModel, FolderThatCannotBeSearchedIsUnreadable)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no mode bits: its folders are guarded by access lists, which Wine does not enforce";
#else
    TempFolder tmp("unsearchable");
    const auto folder = tmp.Path() / "f";
    std::filesystem::create_directory(folder);
    MakeFile(folder / "a.bin", 10);
    MakeFile(folder / "b.bin", 20);
    std::filesystem::create_directory(folder / "sub");
    // Root may search any folder: the scan then runs as another user, in a child process.
    const bool root = ::geteuid() == 0;
    const auto scan = [&](mode_t mode) {
        ::chmod(folder.c_str(), mode);
        int result = -1;
        if (!root) {
            CFileListModel model;
            model.m_strFolder = folder.string();
            result = model.ListFolder() ? static_cast<int>(model.m_aFiles.size()) : 100;
        } else {
            const pid_t child = ::fork();
            if (child == 0) {
                // Entered while root: the folders above the test's own (a checkout under
                // /root) need not be searchable by nobody.
                if (::chdir(folder.parent_path().c_str()) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(99);
                CFileListModel model;
                model.m_strFolder = folder.filename().string();
                ::_exit(model.ListFolder() ? static_cast<int>(model.m_aFiles.size()) : 100);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            result = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        ::chmod(folder.c_str(), 0755);
        return result;
    };
    // Read without search: unreadable. Read and search: both files.
    EXPECT_EQ(scan(root ? 0704 : 0500 & ~0100), 100);
    EXPECT_EQ(scan(root ? 0705 : 0500), 2);
#endif
}

TEST(FileListModel, PrintedFlagGoesByNameToTheListOrToItsFolderMemory)
{
    TempFolder a("mark_a");
    TempFolder b("mark_b");
    for (const char* n : {"x.bin", "y.bin"})
        MakeFile(a.Path() / n, 1);
    MakeFile(b.Path() / "x.bin", 1);

    CFileListModel model;
    model.m_strFolder = a.Str();
    model.ListFolder();
    model.MarkPrinted(a.Str(), "y.bin");
    EXPECT_EQ(model.m_aFiles[0].nPrinted, 0);
    EXPECT_EQ(model.m_aFiles[1].nPrinted, 1);
    EXPECT_TRUE(model.m_aPrinted.empty());

    // Another folder is shown: the flag waits in the memory of its own folder.
    model.RememberPrinted(a.Str());
    model.m_strFolder = b.Str();
    model.ListFolder();
    model.MarkPrinted(a.Str(), "x.bin");
    model.MarkPrinted(a.Str(), "x.bin");
    EXPECT_EQ(model.m_aFiles[0].nPrinted, 0);  // b's x.bin was not printed
    EXPECT_EQ(model.m_aPrinted.size(), 2u);

    model.m_strFolder = a.Str();
    model.ListFolder();
    model.RestorePrinted();
    EXPECT_EQ(model.m_aFiles[0].nPrinted, 1);
    EXPECT_EQ(model.m_aFiles[1].nPrinted, 1);
}

TEST(FileListModel, MarkQueries)
{
    CFileListModel model;
    for (int i = 0; i < 5; ++i)
        model.AddFileEntry(std::string(1, static_cast<char>('a' + i)), 3000000000LL);
    EXPECT_EQ(model.FirstMarked(), -1);
    EXPECT_EQ(model.LastMarked(), -1);
    model.m_aFiles[1].nMark = 1;
    model.m_aFiles[3].nMark = 1;
    model.m_aFiles[4].nMark = 2;  // only exactly 1 counts
    EXPECT_EQ(model.MarkedCount(), 2);
    EXPECT_EQ(model.MarkedPages(), 2 * 1171875LL);
    EXPECT_EQ(model.FirstMarked(), 1);
    EXPECT_EQ(model.LastMarked(), 3);
    EXPECT_EQ(model.NextMarkedAfter(1), 3);
    EXPECT_EQ(model.NextMarkedAfter(3), -1);
    EXPECT_EQ(model.NextMarkedAfter(1 << 30), -1);
    model.SetAllMarks(1);
    EXPECT_EQ(model.MarkedCount(), 5);
    model.SetAllMarks(0);
    EXPECT_EQ(model.FirstMarked(), -1);
}

}  // namespace
