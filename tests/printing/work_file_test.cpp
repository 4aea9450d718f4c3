#include "printing/work_file.h"

#include "common/scoped_env.h"
#include "printing/dump_test_util.h"
#include "textfile/text_file_writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <optional>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Write(CWorkFile& work, const std::string& text)
{
    CTextFileWriter out;
    const std::error_code err = work.Create(out);
    if (!err) {
        EXPECT_TRUE(out.WriteRaw(text.data(), text.size()));
        out.Close();
    }
    return !err ? dumptest::ReadAll(work.Path()) : "error " + std::to_string(err.value());
}

}  // namespace

#if defined(_WIN32)

// Windows: in the user's own temporary folder, which only the user may enter.
TEST(WorkFile, PrivateFolderUnderTheUsersTemporaryFolder)
{
    char temp[MAX_PATH + 1];
    const DWORD n = ::GetTempPathA(sizeof temp, temp);
    ASSERT_GT(n, 0u);
    const std::string base = std::string(temp, n) + "vantrel-";
    EXPECT_EQ(CWorkFile().Where().rfind(base, 0), 0u) << CWorkFile().Where();
    CWorkFile a;
    CWorkFile b;
    const std::string path = a.Prepare();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.rfind(base, 0), 0u) << path;
    EXPECT_EQ(path, a.Folder() + "\\WkFile.txt");
    EXPECT_TRUE(fs::is_directory(a.Folder()));
    EXPECT_EQ(a.Prepare(), path);  // the same folder while it is ours
    EXPECT_NE(b.Prepare(), path);  // two programs never share one
    EXPECT_GT(a.FreeBytes(), 0);
    const std::string folder = a.Folder();
    a.Remove();
    EXPECT_FALSE(fs::exists(folder));
}

// A base folder whose name ends in a 0x5C trail byte holds the private folder itself.
TEST(WorkFile, BaseFolderWithATrailByte5C)
{
    TempFolder dir;
    const std::string base = dir / "表";
    ASSERT_TRUE(::CreateDirectoryA(base.c_str(), nullptr));
    CWorkFile work(base);
    const std::string path = work.Prepare();
    ASSERT_EQ(path.rfind(base + "\\vantrel-", 0), 0u) << path;
    EXPECT_EQ(Write(work, "dump"), "dump");
    const std::string folder = work.Folder();
    work.Remove();
    EXPECT_EQ(::GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(::GetFileAttributesA(base.c_str()), INVALID_FILE_ATTRIBUTES);
}

#else

// On disk, not in the RAM-backed runtime folder: $TMPDIR, else /var/tmp.
TEST(WorkFile, PrivateFolderUnderTmpdirNeverTheRuntimeDir)
{
    TempFolder dir;
    ScopedEnv runtime("XDG_RUNTIME_DIR", (dir.Path() / "runtime").c_str());
    fs::create_directories(dir.Path() / "runtime");
    {
        ScopedEnv tmp("TMPDIR", nullptr);
        EXPECT_EQ(CWorkFile().Where().rfind("/var/tmp/vantrel-", 0), 0u);
        ScopedEnv empty("TMPDIR", "");
        EXPECT_EQ(CWorkFile().Where().rfind("/var/tmp/vantrel-", 0), 0u);
    }
    ScopedEnv tmp("TMPDIR", dir.Path().c_str());
    CWorkFile a;
    CWorkFile b;
    const std::string path = a.Prepare();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(fs::path(path).filename(), "WkFile.txt");
    EXPECT_EQ(fs::path(a.Folder()).parent_path(), dir.Path());
    EXPECT_EQ(fs::path(a.Folder()).filename().string().rfind("vantrel-", 0), 0u);
    struct stat st {};
    ASSERT_EQ(::lstat(a.Folder().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
    EXPECT_EQ(st.st_uid, ::geteuid());
    EXPECT_EQ(a.Prepare(), path);  // the same folder while it is ours
    EXPECT_NE(b.Prepare(), path);  // two programs never share one
    EXPECT_TRUE(fs::is_empty(dir.Path() / "runtime"));
    EXPECT_GT(a.FreeBytes(), 0);
}

#endif

// Each dump gets a new file; each job removes it; the folder goes at the end.
TEST(WorkFile, NewFileEveryDumpRemovedWithItsJobAndFolderAtTheEnd)
{
    TempFolder dir;
    std::string folder;
    {
        CWorkFile work(dir.Path().string());
        ASSERT_FALSE(work.Prepare().empty());
        folder = work.Folder();
        EXPECT_EQ(Write(work, "first dump"), "first dump");
        // A file left behind (the program was killed) is not written into: it goes first.
        ASSERT_FALSE(work.Prepare().empty());
        EXPECT_FALSE(fs::exists(work.Path()));
        EXPECT_EQ(Write(work, "second"), "second");
        work.RemoveFile();
        EXPECT_FALSE(fs::exists(work.Path()));
        EXPECT_TRUE(fs::exists(folder));
        EXPECT_EQ(Write(work, "third"), "third");
    }
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

// The file is created new, never into a file or through a link found at its name.
TEST(WorkFile, NeverWrittenIntoWhatStandsAtItsName)
{
    TempFolder dir;
    dumptest::WriteBytes(dir / "victim", "precious");
    CWorkFile work(dir.Path().string());
    ASSERT_FALSE(work.Prepare().empty());
    dumptest::WriteBytes(work.Path(), "planted");
    EXPECT_EQ(Write(work, "dump"), "error " + std::to_string(EEXIST));
    EXPECT_EQ(dumptest::ReadAll(work.Path()), "planted");
#if !defined(_WIN32)  // links need a privilege to make on Windows
    ASSERT_FALSE(work.Prepare().empty());
    fs::create_symlink(dir / "victim", work.Path());
    EXPECT_EQ(Write(work, "dump"), "error " + std::to_string(EEXIST));
    EXPECT_EQ(dumptest::ReadAll(dir / "victim"), "precious");
#endif
}

// A folder gone (a cleaner) or not ours any more is never used: a new one is made, and
// what stands under the old name is left alone.
TEST(WorkFile, FolderGoneOrNotOursIsMadeAnew)
{
    TempFolder dir;
    dumptest::WriteBytes(dir / "victim", "precious");
    CWorkFile work(dir.Path().string());
    ASSERT_FALSE(work.Prepare().empty());

    struct Planted {
        const char* what;
        std::function<void(const std::string& folder)> plant;
    };
    const std::string victim = dir / "victim";
    std::vector<Planted> planted = {
        {"removed", [](const std::string& folder) { fs::remove_all(folder); }},
        {"a file in its place",
         [](const std::string& folder) {
             fs::remove_all(folder);
             dumptest::WriteBytes(folder, "a file");
         }},
    };
#if defined(_WIN32)
    std::cout << "[ NOTE     ] folders open to all and links are not tried: Windows keeps no mode bits, and "
                 "links need a privilege\n";
#else
    planted.insert(planted.end(),
                   {
                       {"open to all", [](const std::string& folder) { fs::permissions(folder, fs::perms::all); }},
                       {"a link to a folder",
                        [&dir](const std::string& folder) {
                            fs::remove_all(folder);
                            fs::create_directories(dir / "elsewhere");
                            ::chmod((dir / "elsewhere").c_str(), 0700);
                            fs::create_directory_symlink(dir / "elsewhere", folder);
                        }},
                   });
    // Another user makes a folder of the same name with the work file linked to a
    // victim; only root can play that user here.
    if (::geteuid() == 0) {
        planted.push_back({"another user's", [&victim](const std::string& folder) {
                               fs::remove_all(folder);
                               fs::create_directory(folder);
                               ::chmod(folder.c_str(), 0700);
                               fs::create_symlink(victim, fs::path(folder) / "WkFile.txt");
                               ASSERT_EQ(::lchown((fs::path(folder) / "WkFile.txt").c_str(), 65534, 65534), 0);
                               ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
                           }});
    } else {
        std::cout << "[ NOTE     ] another user's folder is not tried: that needs root\n";
    }
#endif
    for (const Planted& p : planted) {
        const std::string old = work.Folder();
        p.plant(old);
        const std::string path = work.Prepare();
        ASSERT_FALSE(path.empty()) << p.what;
        EXPECT_NE(work.Folder(), old) << p.what;
        EXPECT_EQ(Write(work, p.what), p.what);
        EXPECT_EQ(dumptest::ReadAll(victim), "precious") << p.what;
        work.Remove();
        EXPECT_EQ(fs::exists(old) || fs::is_symlink(old), std::string(p.what) != "removed") << p.what;
        ASSERT_FALSE(work.Prepare().empty());
    }
}

// What a killed run left goes; a running copy's folder (locked) and anything not ours
// stay whole: a look-alike of the user's by its name, mode, links, owner or content.
TEST(WorkFile, StaleFoldersGoLiveAndForeignOnesStay)
{
    TempFolder dir;
    CWorkFile live(dir.Str());
    ASSERT_FALSE(live.Prepare().empty());
    EXPECT_EQ(Write(live, "live"), "live");
    const std::string dump = "\r\nName : " + dir.Str() + "/a.bin  Length : 00000001(1)  Page : 1 / 1\r\n";
    // Folders with a work file, made as ours are but for what the name says.
    const auto folder = [&dir, &dump](const std::string& name, const std::string& work = {}) {
        fs::create_directory(dir.Path() / name);
        fs::permissions(dir.Path() / name, name.find("open") != name.npos ? fs::perms::all : fs::perms::owner_all);
        dumptest::WriteBytes(sysfiles::Join(dir / name, "WkFile.txt"), work.empty() ? dump : work);
        fs::permissions(sysfiles::Join(dir / name, "WkFile.txt"), fs::perms::owner_read | fs::perms::owner_write);
        return name;
    };
    std::vector<std::string> stay = {folder("elsewhere-Ab12Cd")};
#if defined(_WIN32)
    const std::string stale = folder("vantrel-7-123");
    dumptest::WriteBytes(dir / stale + ".lock", "");  // without its lock: still being made
    stay.push_back(folder("vantrel-8-456"));
    std::vector<std::string> gone = {stale};
#else
    const std::string stale = folder("vantrel-Ab12Cd");
    std::vector<std::string> gone = {stale, "vantrel-Empty0"};
    fs::create_directory(dir / "vantrel-Empty0");  // killed before its first dump
    fs::permissions(dir / "vantrel-Empty0", fs::perms::owner_all);
    stay.insert(stay.end(),
                {folder("vantrel-open01"), "vantrel-file01", "vantrel-link01", folder("vantrel-notes", "mine"),
                 folder("vantrel-backup", "mine"), folder("vantrel-mode01"), folder("vantrel-more01"),
                 folder("vantrel-hard01"), folder("vantrel-sub001")});
    dumptest::WriteBytes(dir / "vantrel-file01", "a file");
    fs::create_directory_symlink(dir / stale, dir.Path() / "vantrel-link01");
    fs::permissions(dir / "vantrel-mode01/WkFile.txt",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
    dumptest::WriteBytes(dir / "vantrel-more01/notes.txt", "the user's");  // a folder with other files
    fs::create_hard_link(dir / "vantrel-hard01/WkFile.txt", dir / "kept-by-the-user.txt");
    fs::create_directory(dir / "vantrel-sub001/sub");
    if (::geteuid() == 0 && ::chown((dir / folder("vantrel-theirs")).c_str(), 65534, 65534) == 0)
        stay.push_back("vantrel-theirs");
#endif
    live.RemoveStaleFolders();
    for (const std::string& name : gone)
        EXPECT_FALSE(fs::exists(dir / name)) << name;
    for (const std::string& name : stay) {
        EXPECT_TRUE(fs::exists(dir / name) || fs::is_symlink(dir / name)) << name;
        if (fs::is_directory(dir / name) && !fs::is_symlink(dir / name)) {
            EXPECT_TRUE(fs::exists(sysfiles::Join(dir / name, "WkFile.txt"))) << name;
        }
    }
    EXPECT_EQ(dumptest::ReadAll(live.Path()), "live");
}

TEST(WorkFile, NoRoomMessageNamesTheFileAndTheBytes)
{
    EXPECT_EQ(NoRoomMessage("/var/tmp/vantrel-ab12cd/WkFile.txt", 3758096384ULL, 1048576),
              "ワークファイルの空き容量が足りません[/var/tmp/vantrel-ab12cd/WkFile.txt]\n"
              "必要: 3,758,096,384 バイト\n空き: 1,048,576 バイト");
    EXPECT_EQ(NoRoomMessage("w", 999, 0), "ワークファイルの空き容量が足りません[w]\n必要: 999 バイト\n空き: 0 バイト");
}
