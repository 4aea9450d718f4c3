// The rules of every output on Linux and other POSIX systems.
#if !defined(_WIN32)
#include "textfile/output_file.h"

#include "textfile/error_text.h"
#include "textfile/leftovers.h"
#include "textfile/output_file_names.h"
#include "textfile/system_calls.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>

namespace {

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The process's umask, read without changing it where the system tells it.
mode_t CurrentUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

void SyncFolder(const std::string& folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// A folder others may write: a link or file in it may have been planted by another user.
// The kernel's protected_symlinks and protected_regular rules cover sticky folders anyone
// (or, at their strictest, the group) may write; a folder anyone may write without the
// sticky bit lets others replace whatever it holds, so the same holds there.
bool OthersMayWrite(const struct stat& folder)
{
    return (folder.st_mode & S_IWOTH) != 0 || (folder.st_mode & (S_ISVTX | S_IWGRP)) == (S_ISVTX | S_IWGRP);
}

// A link or file others may have planted: in such a folder, owned by neither the user
// nor the folder's owner.
bool Planted(const struct stat& st, const struct stat& folder)
{
    return OthersMayWrite(folder) && st.st_uid != ::geteuid() && st.st_uid != folder.st_uid;
}

constexpr char kAccessAcl[] = "system.posix_acl_access";

// The access ACL of the file at path, as the system stores it; "" when it has none.
std::string AccessAcl([[maybe_unused]] const std::string& path)
{
#if defined(__linux__)
    std::string acl(256, '\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
        const ssize_t n = ::getxattr(path.c_str(), kAccessAcl, acl.data(), acl.size());
        if (n >= 0) {
            acl.resize(static_cast<std::size_t>(n));
            return acl;
        }
        if (errno != ERANGE)
            break;
        const ssize_t size = ::getxattr(path.c_str(), kAccessAcl, nullptr, 0);
        if (size <= 0)
            break;
        acl.resize(static_cast<std::size_t>(size));
    }
#endif
    return {};
}

// The group bits an ACL gives the owning group: with a mask, a file's mode shows the mask
// in their place, which may grant the group what its own entry does not. -1 without a mask.
int AclGroupBits(const std::string& acl)
{
    // A version word, then entries of a 16-bit tag, 16-bit permissions and a 32-bit id,
    // little-endian.
    constexpr unsigned kGroupObj = 0x04;
    constexpr unsigned kMask = 0x10;
    const auto word = [&acl](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(acl[at])) |
               static_cast<unsigned>(static_cast<unsigned char>(acl[at + 1])) << 8;
    };
    int group = -1;
    bool mask = false;
    for (std::size_t at = 4; at + 8 <= acl.size(); at += 8) {
        if (word(at) == kGroupObj)
            group = static_cast<int>(word(at + 2) & 7);
        mask = mask || word(at) == kMask;
    }
    return mask ? group : -1;
}

}  // namespace

namespace {

// Where path leads with every link followed, as realpath() has it, except that a link in
// a folder others may write is followed only when the user or the folder's owner owns it:
// the kernel's protected_symlinks rule, which realpath() steps round and which a machine
// may have turned off, also where the folder has no sticky bit. A last component that is not there is the file to make;
// reached through a link, it names no file the user chose.
std::error_code ResolveLinks(const std::string& path, std::string* resolved)
{
    std::string done;  // no link in it; "" is the root
    if (path.front() != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd == nullptr)
            return SystemError(errno);
        done = std::strcmp(cwd, "/") == 0 ? "" : cwd;
        std::free(cwd);
    }
    struct Part {
        std::string name;
        bool fromLink;
    };
    std::vector<Part> todo;  // the next part last
    const auto push = [&todo](const std::string& text, bool fromLink) {
        for (std::size_t end = text.size(); end > 0;) {
            const std::size_t slash = text.rfind('/', end - 1);
            const std::size_t begin = slash == std::string::npos ? 0 : slash + 1;
            if (end > begin)
                todo.push_back({text.substr(begin, end - begin), fromLink});
            end = slash == std::string::npos ? 0 : slash;
        }
    };
    push(path, false);
    for (int links = 0; !todo.empty();) {
        const Part part = std::move(todo.back());
        todo.pop_back();
        if (part.name == ".")
            continue;
        if (part.name == "..") {
            done.erase(std::min(done.size(), done.rfind('/')));
            continue;
        }
        const std::string next = done + '/' + part.name;
        struct stat st {};
        if (::lstat(next.c_str(), &st) != 0) {
            if (errno != ENOENT || !todo.empty() || part.fromLink)
                return SystemError(errno);
            done = next;
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            done = next;
            continue;
        }
        if (++links > 40)
            return SystemError(ELOOP);
        struct stat folder {};
        if (::stat(done.empty() ? "/" : done.c_str(), &folder) != 0)
            return SystemError(errno);
        if (Planted(st, folder))
            return IoReason::ForeignLink;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(next.c_str(), target, sizeof target);
        if (n < 0)
            return SystemError(errno);
        if (n == static_cast<ssize_t>(sizeof target))
            return SystemError(ENAMETOOLONG);
        if (target[0] == '/')
            done.clear();
        push(std::string(target, static_cast<std::size_t>(n)), true);
    }
    *resolved = done.empty() ? "/" : done;
    return {};
}

// Puts temp, open as fd, in the place of path, checked again now: owner, mode, synced,
// renamed while fd (and its lock) is still held. 0 or the errno; temp is gone either way.
std::error_code Place(int fd, const std::string& temp, const std::string& path)
{
    OutputTarget t;
    std::error_code err = CheckOutputTarget(path, &t);
    if (!err && t.keepOwner && ::fchown(fd, t.owner, t.group) != 0)
        err = SystemError(errno);
    if (!err && ::fchmod(fd, t.mode) != 0)
        err = SystemError(errno);
#if defined(__linux__)
    // The replaced file's ACL, as it was: without it the file's group bits (from its group
    // entry) stand alone, which grant no more than the ACL did.
    if (!err && !t.acl.empty())
        IgnoreResult(::fsetxattr(fd, kAccessAcl, t.acl.data(), t.acl.size(), 0));
#endif
    if (!err && ::fsync(fd) != 0)
        err = SystemError(errno);
    if (!err && ::rename(temp.c_str(), t.path.c_str()) != 0)
        err = SystemError(errno);
    if (err) {
        ::unlink(temp.c_str());
        return err;
    }
    // Make the rename itself durable; the file is complete either way.
    SyncFolder(FolderOf(t.path));
    return {};
}

std::optional<FileId> FileIdOfStat(int result, const struct stat& st)
{
    if (result != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

std::error_code CheckOutputTarget(const std::string& path, OutputTarget* target)
{
    if (path.empty())
        return SystemError(ENOENT);
    if (path.find('\0') != std::string::npos)
        return SystemError(EINVAL);
    OutputTarget t;
    if (const std::error_code err = ResolveLinks(path, &t.path))
        return err;
    struct stat st {};
    if (::stat(t.path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return SystemError(EISDIR);
        if (!S_ISREG(st.st_mode))
            return IoReason::NotRegularFile;
        // A file the user may not write is never replaced, although the folder would
        // allow it; nor is one without any write bit, which even root must not replace.
        if (::access(t.path.c_str(), W_OK) != 0)
            return SystemError(errno);
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            return SystemError(EACCES);
        // In a folder others may write, only a file of the user's or the folder's owner's
        // is replaced: another user's may be planted to receive what we write, and root
        // would hand it over with the file's owner (the kernel's protected_regular rule).
        struct stat folder {};
        if (::stat(FolderOf(t.path).c_str(), &folder) != 0)
            return SystemError(errno);
        if (Planted(st, folder))
            return IoReason::ForeignFile;
        t.exists = true;
        // What we wrote never runs as the file's owner or group.
        t.mode = st.st_mode & 0777;
        t.acl = AccessAcl(t.path);
        if (const int group = AclGroupBits(t.acl); group >= 0)
            t.mode = (t.mode & 0707) | static_cast<unsigned>(group) << 3;
        // Root saves in place as an editor would; the file would otherwise become root's.
        t.keepOwner = ::geteuid() == 0;
        t.owner = st.st_uid;
        t.group = st.st_gid;
    } else {
        if (errno != ENOENT)
            return SystemError(errno);
        const std::string folder = FolderOf(t.path);
        struct stat dir {};
        if (::stat(folder.c_str(), &dir) != 0)
            return SystemError(errno);
        if (!S_ISDIR(dir.st_mode))
            return SystemError(ENOTDIR);
        t.mode = 0666 & ~CurrentUmask();
    }
    if (target != nullptr)
        *target = t;
    return {};
}

std::optional<FileId> FileIdOf(const std::string& path)
{
    struct stat st {};
    const int result = ::stat(path.c_str(), &st);
    return FileIdOfStat(result, st);
}

std::optional<FileId> FileIdOf(int fd)
{
    struct stat st {};
    const int result = ::fstat(fd, &st);
    return FileIdOfStat(result, st);
}

bool TryLockFile(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

std::error_code SyncFileToDisk(const std::string& path, std::size_t tailSize, std::string* tail)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return SystemError(errno);
    errno = 0;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && st.st_size > 0 && ::fsync(fd) == 0;
    if (ok) {
        const off_t from = st.st_size > static_cast<off_t>(tailSize) ? st.st_size - static_cast<off_t>(tailSize) : 0;
        tail->assign(static_cast<std::size_t>(st.st_size - from), '\0');
        ok = ::pread(fd, tail->data(), tail->size(), from) == static_cast<ssize_t>(tail->size());
    }
    const std::error_code err = ok ? std::error_code() : SystemError(errno);
    ::close(fd);
    return err;
}

std::error_code WhyNoMoreBytes(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return SystemError(errno);
    const char byte = 0;
    if (::pwrite(fd, &byte, 1, st.st_size) != 1)
        return SystemError(errno);
    IgnoreResult(::ftruncate(fd, st.st_size));
    return {};
}

std::error_code COutputFile::Begin(const std::string& path)
{
    Abandon();
    OutputTarget t;
    if (const std::error_code err = CheckOutputTarget(path, &t))
        return err;
    // A short name, whatever the target's length: a name near the system's limit still
    // leaves room for it.
    const std::string folder = FolderOf(t.path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "/" + kTempPrefix + "XXXXXX";
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0)
            return SystemError(errno);
        // Locked before a byte is written. Held by another, or gone, only when a cleaner
        // of another run caught it first: then it is theirs to remove. A file system
        // without locks still takes the output.
        const bool held = !TryLockFile(fd) && errno == EWOULDBLOCK;
        // 0600 whatever the umask: a cleaner knows ours by it.
        IgnoreResult(::fchmod(fd, 0600));
        struct stat st {};
        if (held || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_strTemp = name;
        m_strPath = path;
        RemoveLeftovers(folder, {kTempPrefix, {}});
        return {};
    }
    return SystemError(EEXIST);
}

void COutputFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

std::error_code PlaceOutput(const std::string& temp, const std::string& path)
{
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        const std::error_code err = SystemError(errno);
        ::unlink(temp.c_str());
        return err;
    }
    const std::error_code err = Place(fd, temp, path);
    ::close(fd);
    return err;
}

std::error_code COutputFile::Commit()
{
    if (m_strTemp.empty())
        return SystemError(EBADF);
    // Still locked while it takes the target's place: no other run takes it for a leftover.
    const std::error_code err = Place(m_fd, m_strTemp, m_strPath);
    Close();
    m_strTemp.clear();
    return err;
}

void COutputFile::Abandon()
{
    Close();
    if (!m_strTemp.empty())
        ::unlink(m_strTemp.c_str());
    m_strTemp.clear();
}

#endif
