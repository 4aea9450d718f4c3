#include "textfile/output_file.h"

#include "common/temp_folder.h"
#include "textfile/error_text.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <sys/xattr.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

namespace {

std::string Contents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteFd(int fd, const std::string& text)
{
#if defined(_WIN32)
    return ::_write(fd, text.data(), static_cast<unsigned>(text.size())) == static_cast<int>(text.size());
#else
    return ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
#endif
}

// Writes text through a COutputFile at path; why the step that failed failed.
std::error_code WriteOutput(const std::string& path, const std::string& text)
{
    COutputFile out;
    if (const std::error_code err = out.Begin(path))
        return err;
    if (!WriteFd(out.Fd(), text))
        return SystemError(errno);
    return out.Commit();
}

std::size_t Entries(const std::filesystem::path& folder)
{
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

#if !defined(_WIN32)
unsigned Mode(const std::filesystem::path& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class Umask {
public:
    explicit Umask(mode_t mask) : m_old(::umask(mask)) {}
    ~Umask() { ::umask(m_old); }

private:
    mode_t m_old;
};
#endif

struct TargetCase {
    std::string name;
    std::error_code error;
};

}  // namespace

// What may be replaced, and what the result looks like. Linux adds links, a fifo and the
// modes; Windows has no mode bits, and its links need a privilege to make.
TEST(OutputFile, ReplacesOnlyRegularFilesTheUserMayWrite)
{
    TempFolder tmp("output_rules");
    const auto& dir = tmp.Path();
#if !defined(_WIN32)
    Umask mask(027);
#endif
    std::ofstream(dir / "mine.pdf") << "old";
    std::ofstream(dir / "readonly.pdf") << "keep";
    ASSERT_TRUE(sysfiles::MakeReadOnly(tmp.File("readonly.pdf")));
    std::filesystem::create_directory(dir / "folder");
    std::vector<TargetCase> cases = {
        {"new.pdf", {}},
        {"mine.pdf", {}},
        {"readonly.pdf", SystemError(EACCES)},
        {"folder", SystemError(EISDIR)},
        {sysfiles::Join(sysfiles::Join("no", "such"), "folder.pdf"), SystemError(ENOENT)},
    };
#if defined(_WIN32)
    const std::size_t entries = 4;
    // A device passes for a file by its attributes, in any folder.
    const std::string device = "NUL";
#else
    ::chmod((dir / "mine.pdf").c_str(), 0604);
    std::ofstream(dir / "target.pdf") << "old target";
    std::filesystem::create_symlink("target.pdf", dir / "link.pdf");
    std::filesystem::create_symlink("nowhere.pdf", dir / "dangling.pdf");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::ofstream(dir / "setuid") << "old";
    ::chmod((dir / "setuid").c_str(), 06755);
    cases.insert(
        cases.end(),
        {{"link.pdf", {}}, {"dangling.pdf", SystemError(ENOENT)}, {"fifo", IoReason::NotRegularFile}, {"setuid", {}}});
    // A socket of the test's own stands for a device: a fault aimed at a system device
    // would replace it for the whole machine.
    const std::string device = tmp.File("socket");
    ASSERT_GE(sysfiles::BindSocket(device), 0);
    const std::size_t entries = 10;
#endif
    for (const auto& c : cases)
        EXPECT_EQ(WriteOutput(tmp.File(c.name), c.name), c.error) << c.name;
    EXPECT_EQ(WriteOutput(device, "x"), IoReason::NotRegularFile);

    EXPECT_EQ(Contents(dir / "new.pdf"), "new.pdf");
    EXPECT_EQ(Contents(dir / "mine.pdf"), "mine.pdf");
    EXPECT_EQ(Contents(dir / "readonly.pdf"), "keep");
#if !defined(_WIN32)
    EXPECT_EQ(Mode(dir / "new.pdf"), 0640u);  // as the umask gives
    EXPECT_EQ(Mode(dir / "mine.pdf"), 0604u);  // a replaced file keeps its mode
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.pdf"));  // the link stays
    EXPECT_EQ(Contents(dir / "target.pdf"), "link.pdf");
    EXPECT_FALSE(std::filesystem::exists(dir / "nowhere.pdf"));
    EXPECT_EQ(Mode(dir / "setuid"), 0755u);  // never runs as its owner
#endif
    // Nothing else: no temporary file left by any of them.
    EXPECT_EQ(Entries(dir), entries);
}

// A name near the system's limit still leaves room for the temporary name beside it.
TEST(OutputFile, LongNameAndAbandonedOutput)
{
    TempFolder tmp("output_long");
#if defined(_WIN32)
    // The limit is the whole path's: MAX_PATH less its terminating zero.
    const std::string name = std::string(MAX_PATH - 1 - tmp.File("").size() - 4, 'n') + ".pdf";
    ASSERT_EQ(tmp.File(name).size(), static_cast<std::size_t>(MAX_PATH - 1));
#else
    const std::string name = std::string(246, 'n') + ".pdf";  // 250 bytes
#endif
    EXPECT_EQ(WriteOutput(tmp.File(name), "long"), std::error_code());
    EXPECT_EQ(Contents(tmp.Path() / name), "long");

    std::ofstream(tmp.Path() / "kept.pdf") << "earlier";
    {
        COutputFile out;
        ASSERT_EQ(out.Begin(tmp.File("kept.pdf")), std::error_code());
        ASSERT_TRUE(WriteFd(out.Fd(), "half"));
        EXPECT_EQ(Entries(tmp.Path()), 3u);
    }  // never committed: as if the writer failed half-way
    EXPECT_EQ(Contents(tmp.Path() / "kept.pdf"), "earlier");
    EXPECT_EQ(Entries(tmp.Path()), 2u);
}

// What a killed run left beside an output goes with the next output there; a temporary
// another run still writes (locked), and anything not ours, stays: by its name, mode,
// links or content (a user's own 0600 .vantrel-abc124).
TEST(OutputFile, StaleTemporariesGoAndLiveOnesStay)
{
    TempFolder tmp("output_stale");
    std::vector<std::string> stay = {".vantrel-", "vantrel-abc123", ".vantrel-abc1234", ".vantrel-abc124"};
    for (const std::string& name : stay)
        std::ofstream(tmp.Path() / name) << "a user's";
    const std::vector<std::string> gone = {".vantrel-stale1", ".vantrel-stale2", ".vantrel-empty1"};
    std::ofstream(tmp.Path() / gone[0]) << "%PDF-1.4\n% cut short by a kill";
    std::ofstream(tmp.Path() / gone[1]) << "\"\x83\x74\x83\x48\x83\x8B";  // a CSV's first bytes
    std::ofstream(tmp.Path() / gone[2]) << "";  // killed before its first byte
#if !defined(_WIN32)
    for (const char* name : {".vantrel-stale1", ".vantrel-stale2", ".vantrel-abc124", ".vantrel-empty1"})
        ::chmod(tmp.File(name).c_str(), 0600);
    stay.insert(stay.end(), {".vantrel-mode01", ".vantrel-link01"});
    std::ofstream(tmp.Path() / ".vantrel-mode01") << "%PDF-1.4";
    ::chmod(tmp.File(".vantrel-mode01").c_str(), 0644);  // not the mode ours have
    std::filesystem::create_symlink(".vantrel-stale1", tmp.Path() / ".vantrel-link01");
#endif
    COutputFile live;
    ASSERT_EQ(live.Begin(tmp.File("other.pdf")), std::error_code());
    EXPECT_EQ(WriteOutput(tmp.File("out.pdf"), "new"), std::error_code());
    for (const std::string& name : gone)
        EXPECT_FALSE(std::filesystem::exists(tmp.Path() / name)) << name;
    EXPECT_TRUE(std::filesystem::exists(live.TempPath()));
    for (const std::string& name : stay)
        EXPECT_TRUE(std::filesystem::exists(tmp.Path() / name) || std::filesystem::is_symlink(tmp.Path() / name))
            << name;
}

#if !defined(_WIN32)
// As root: another user's file keeps its owner; in a sticky folder anyone may write, a
// link (also to a folder on the way) is followed only when we or the folder's owner own
// it, whatever the machine's protected_symlinks.
TEST(OutputFile, RootKeepsTheOwnerAndFollowsNoPlantedLink)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "other owners need root to make";
    TempFolder tmp("output_root");
    const auto& dir = tmp.Path();
    std::ofstream(dir / "theirs.pdf") << "old";
    ASSERT_EQ(::chown((dir / "theirs.pdf").c_str(), 65534, 65534), 0);
    EXPECT_EQ(WriteOutput(tmp.File("theirs.pdf"), "new"), std::error_code());
    struct stat st {};
    EXPECT_TRUE(::stat((dir / "theirs.pdf").c_str(), &st) == 0 && st.st_uid == 65534 && st.st_gid == 65534);
    const auto link = dir / "sticky" / "link";
    std::filesystem::create_directory(dir / "sticky");
    // The folder's owner, the link's, whether the link names the victim's folder; the error.
    const std::tuple<uid_t, uid_t, bool, std::error_code> cases[] = {{0, 65534, false, IoReason::ForeignLink},
                                                                     {0, 65534, true, IoReason::ForeignLink},
                                                                     {0, 0, false, {}},
                                                                     {65534, 65534, false, {}}};
    for (const auto& [folderOwner, linkOwner, toFolder, error] : cases) {
        std::ofstream(dir / "victim.pdf") << "victim";
        ASSERT_EQ(::chown((dir / "sticky").c_str(), folderOwner, 0) + ::chmod((dir / "sticky").c_str(), 01777), 0);
        std::filesystem::remove(link);
        std::filesystem::create_symlink(toFolder ? dir : dir / "victim.pdf", link);
        ASSERT_EQ(::lchown(link.c_str(), linkOwner, linkOwner), 0);
        EXPECT_EQ(WriteOutput((toFolder ? link / "victim.pdf" : link).string(), "new"), error) << linkOwner << toFolder;
        EXPECT_EQ(Contents(dir / "victim.pdf"), !error ? "new" : "victim") << folderOwner << toFolder;
    }
}

// As root, with nobody's files: in a folder others may write, a file or link another user
// owns (neither we nor the folder's owner) is refused before a byte is written, whatever
// /proc/sys/fs/protected_regular says: root's output would go to that user.
TEST(OutputFile, RootHandsNothingToAnotherUser)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "other owners need root to make";
    TempFolder tmp("output_handed");
    const uid_t nobody = 65534;
    struct Case {
        mode_t folderMode;
        uid_t folderOwner;
        uid_t fileOwner;
        bool link;  // the output is nobody's link to a file of root's beside the folder
        std::error_code error;
    } cases[] = {
        {01777, 0, nobody, false, IoReason::ForeignFile},  // mkdir -m1777 /tmp/s, nobody's report.pdf
        {01777, 0, 0, false, {}},
        {01777, nobody, nobody, false, {}},  // the folder's owner's
        {01770, 0, nobody, false, IoReason::ForeignFile},  // others of the group may write
        {0777, 0, nobody, false, IoReason::ForeignFile},  // no sticky bit: others may replace anything
        {0777, 0, nobody, true, IoReason::ForeignLink},
        {0775, 0, nobody, false, {}},  // a group's shared folder: as before
        {0755, 0, nobody, false, {}},
    };
    std::ofstream(tmp.Path() / "root.pdf") << "root's";
    for (const Case& c : cases) {
        const auto dir = tmp.Path() / "shared";
        std::filesystem::remove_all(dir);
        std::filesystem::create_directory(dir);
        ASSERT_EQ(::chown(dir.c_str(), c.folderOwner, 0) + ::chmod(dir.c_str(), c.folderMode), 0);
        const auto out = dir / "report.pdf";
        if (c.link)
            std::filesystem::create_symlink(tmp.Path() / "root.pdf", out);
        else
            std::ofstream(out) << "x";
        ASSERT_EQ(::lchown(out.c_str(), c.fileOwner, c.fileOwner) + (c.link ? 0 : ::chmod(out.c_str(), 0666)), 0);
        EXPECT_EQ(WriteOutput(out.string(), "secret"), c.error) << std::oct << c.folderMode << " " << c.fileOwner;
        EXPECT_EQ(Contents(c.link ? tmp.Path() / "root.pdf" : out), !c.error ? "secret"
                                                                    : c.link ? "root's"
                                                                             : "x")
            << std::oct << c.folderMode;
        EXPECT_EQ(Entries(dir), 1u);  // no temporary left
    }
}

// A file an ACL lets one more user read: replaced, it keeps the ACL; its group, which the
// ACL gives nothing, never gets the mask's bits. Attributes of the user's (user.*) do not
// come along: they spoke of what the file held.
TEST(OutputFile, ReplacedFileKeepsItsAcl)
{
    TempFolder tmp("output_acl");
    const std::string file = tmp.File("mine.pdf");
    std::ofstream(file) << "old";
    ::chmod(file.c_str(), 0600);
    const auto acl = [&file] {
        char bytes[256];
        const ssize_t n = ::getxattr(file.c_str(), "system.posix_acl_access", bytes, sizeof bytes);
        return std::string(bytes, n > 0 ? static_cast<std::size_t>(n) : 0);
    };
    if (std::system(("setfacl -m u:daemon:r '" + file + "' 2>/dev/null").c_str()) != 0)
        GTEST_SKIP() << "setfacl (Debian's acl) is missing, or the file system keeps no ACLs";
    const bool xattrs = ::setxattr(file.c_str(), "user.note", "old", 3, 0) == 0;
    const std::string before = acl();
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(WriteOutput(file, "new"), std::error_code());
    EXPECT_EQ(Contents(file), "new");
    EXPECT_EQ(acl(), before);
    EXPECT_EQ(Mode(file) & 070, 040u);  // the mode shows the ACL's mask again
    if (xattrs) {
        EXPECT_LT(::getxattr(file.c_str(), "user.note", nullptr, 0), 0);
    }
}
#endif

#if defined(_WIN32)

// Windows: a file another program holds open (a spreadsheet showing the CSV) is not
// replaced and keeps what it holds; a hidden file stays hidden; a folder whose name
// ends in a 0x5C trail byte takes the temporary file, not its parent.
TEST(OutputFile, WindowsHeldOpenHiddenAndTrailByteFolders)
{
    TempFolder tmp("output_windows");
    std::ofstream(tmp.Path() / "held.csv") << "in use";
    const HANDLE held =
        ::CreateFileA(tmp.File("held.csv").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(WriteOutput(tmp.File("held.csv"), "new"), SystemError(EBUSY));
    ::CloseHandle(held);
    EXPECT_EQ(Contents(tmp.Path() / "held.csv"), "in use");
    EXPECT_EQ(WriteOutput(tmp.File("held.csv"), "new"), std::error_code());  // let go: replaced
    EXPECT_EQ(Contents(tmp.Path() / "held.csv"), "new");

    std::ofstream(tmp.Path() / "hidden.csv") << "old";
    ASSERT_TRUE(::SetFileAttributesA(tmp.File("hidden.csv").c_str(), FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(WriteOutput(tmp.File("hidden.csv"), "new"), std::error_code());
    EXPECT_EQ(Contents(tmp.Path() / "hidden.csv"), "new");
    EXPECT_NE(::GetFileAttributesA(tmp.File("hidden.csv").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

    const std::string folder = tmp.File("表");  // 95 5C
    ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
    COutputFile out;
    ASSERT_EQ(out.Begin(sysfiles::Join(folder, "ソ.csv")), std::error_code());  // 83 5C
    EXPECT_EQ(out.TempPath().rfind(folder + "\\.vantrel-", 0), 0u) << out.TempPath();
    ASSERT_TRUE(WriteFd(out.Fd(), "sjis"));
    EXPECT_EQ(out.Commit(), std::error_code());
    EXPECT_EQ(Entries(tmp.Path()), 3u);
    std::ifstream in(sysfiles::Join(folder, "ソ.csv"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "sjis");
}

#endif
