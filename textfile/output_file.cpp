#include "textfile/output_file.h"

#include "textfile/error_text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#ifdef _WIN32
#include "textfile/ansi_names.h"

#include <fcntl.h>
#include <io.h>
#include <random>
#include <sys/stat.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <fstream>
#endif

namespace {

constexpr std::size_t kPdfTail = 1024;
constexpr char kTempPrefix[] = ".vantrel-";

// ".vantrel-" and six letters or digits: a name COutputFile makes, never a user's.
bool IsTempName(std::string_view name)
{
    constexpr std::size_t prefix = sizeof kTempPrefix - 1;
    if (name.size() != prefix + 6 || name.substr(0, prefix) != kTempPrefix)
        return false;
    for (const char ch : name.substr(prefix))
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')))
            return false;
    return true;
}

#ifdef _WIN32

// The folder a file goes in: "C:\\" for "C:\\a.csv", "C:" for "C:a.csv", "." for "a.csv".
std::string FolderOf(const std::string& path)
{
    const std::size_t start = PathNameStart(path);
    if (start == 0) return ".";
    const bool keepSeparator = start == 1 || path[start - 1] == ':' || (start == 3 && path[1] == ':');
    return path.substr(0, keepSeparator ? start : start - 1);
}

// A handle closed when it goes.
class CHandle {
public:
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE) ::CloseHandle(m_h);
    }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    HANDLE Get() const { return m_h; }
    bool Valid() const { return m_h != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_h;
};

// Opens what stands at path, a link followed, to ask about it; access adds rights to try.
HANDLE OpenExisting(const std::string& path, DWORD access)
{
    return ::CreateFileW(WideName(path).c_str(), FILE_READ_ATTRIBUTES | access,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// The file a link names, as the program's strings name it; "" when the code page cannot.
std::string LinkTarget(HANDLE h)
{
    std::wstring final(32768, L'\0');
    const DWORD n = ::GetFinalPathNameByHandleW(h, final.data(), static_cast<DWORD>(final.size()),
                                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= final.size()) return {};
    final.resize(n);
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0)
        final = L"\\\\" + final.substr(8);
    else if (final.rfind(L"\\\\?\\", 0) == 0)
        final = final.substr(4);
    std::string ansi = AnsiName(final);
    return WideName(ansi) == final ? ansi : std::string();
}

int LastErrno()
{
    return ErrnoFromSystem(::GetLastError());
}

#else

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

#endif

}  // namespace

#ifdef _WIN32

// Windows keeps no mode bits: a replaced file's hidden and system attributes are kept,
// and its read-only attribute refuses it, as the lack of every write bit does on Linux.
int CheckOutputTarget(const std::string& path, OutputTarget* target)
{
    if (path.empty()) return ENOENT;
    if (path.find('\0') != std::string::npos) return EINVAL;
    OutputTarget t;
    t.path = path;
    t.mode = FILE_ATTRIBUTE_NORMAL;
    const CHandle what(OpenExisting(path, 0));
    if (!what.Valid()) {
        const DWORD error = ::GetLastError();
        // Nothing there, or a link to nothing: the latter names no file the user chose.
        if (error != ERROR_FILE_NOT_FOUND || ::GetFileAttributesW(WideName(path).c_str()) != INVALID_FILE_ATTRIBUTES)
            return ErrnoFromSystem(error);
        const DWORD folder = ::GetFileAttributesW(WideName(FolderOf(path)).c_str());
        if (folder == INVALID_FILE_ATTRIBUTES) return LastErrno();
        if ((folder & FILE_ATTRIBUTE_DIRECTORY) == 0) return ENOTDIR;
    } else {
        // A device (NUL, CON, COM1) passes for a file by its attributes, not by its type.
        if (::GetFileType(what.Get()) != FILE_TYPE_DISK)
            return kErrNotRegularFile;
        BY_HANDLE_FILE_INFORMATION info {};
        if (!::GetFileInformationByHandle(what.Get(), &info)) return LastErrno();
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return EISDIR;
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) return EACCES;
        // Through a link the file it names is written and the link kept.
        const DWORD own = ::GetFileAttributesW(WideName(path).c_str());
        if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            t.path = LinkTarget(what.Get());
            if (t.path.empty()) return EINVAL;
        }
        // Writing it must be allowed, and no other program may hold it shut.
        const CHandle write(OpenExisting(t.path, FILE_WRITE_DATA));
        if (!write.Valid()) return LastErrno();
        t.exists = true;
        t.mode = info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if (t.mode == 0) t.mode = FILE_ATTRIBUTE_NORMAL;
    }
    if (target != nullptr) *target = t;
    return 0;
}

int PlaceOutput(const std::string& temp, const std::string& path)
{
    OutputTarget t;
    int err = CheckOutputTarget(path, &t);
    const std::wstring wideTemp = WideName(temp);
    if (err == 0 && !::SetFileAttributesW(wideTemp.c_str(), t.mode)) err = LastErrno();
    // One rename that replaces the target, made durable before it returns.
    if (err == 0 && !::MoveFileExW(wideTemp.c_str(), WideName(t.path).c_str(),
                                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        err = LastErrno();
    if (err != 0) ::DeleteFileW(wideTemp.c_str());
    return err;
}

namespace {

// Temporaries a killed run left in folder: made by us by their names, no folder or
// link, and with nobody holding their lock.
void RemoveStaleTemporaries(const std::string& folder)
{
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW(WideName(WithSeparator(folder) + kTempPrefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = AnsiName(found.cFileName);
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
            !IsTempName(name))
            continue;
        const std::wstring path = WideName(WithSeparator(folder) + name);
        const int fd = ::_wopen(path.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
        if (fd < 0)
            continue;
        const bool stale = TryLockFile(fd);
        ::_close(fd);
        if (stale)
            ::DeleteFileW(path.c_str());
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

std::optional<FileId> FileIdOfHandle(HANDLE h)
{
    BY_HANDLE_FILE_INFORMATION info{};
    if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return std::nullopt;
    return FileId{info.dwVolumeSerialNumber, (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

}  // namespace

std::optional<FileId> FileIdOf(const std::string& path)
{
    const CHandle what(OpenExisting(path, 0));
    return what.Valid() ? FileIdOfHandle(what.Get()) : std::nullopt;
}

std::optional<FileId> FileIdOf(int fd)
{
    const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    return h != INVALID_HANDLE_VALUE ? FileIdOfHandle(h) : std::nullopt;
}

bool TryLockFile(int fd)
{
    const auto h = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    // One byte far past any data: Windows keeps others from the bytes a lock covers.
    OVERLAPPED where{};
    where.Offset = 0xFFFFFFFEu;
    where.OffsetHigh = 0x7FFFFFFFu;
    if (h != INVALID_HANDLE_VALUE &&
        ::LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where))
        return true;
    errno = ::GetLastError() == ERROR_LOCK_VIOLATION ? EWOULDBLOCK : ENOLCK;
    return false;
}

bool PdfComplete(const std::string& path)
{
    // Read and write: the system flushes only a file open for writing.
    const int fd = ::_wopen(WideName(path).c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
    if (fd < 0) return false;
    const long long size = ::_lseeki64(fd, 0, SEEK_END);
    // The data must be on the disk: a full disk may show only now.
    bool ok = size > 0 && ::_commit(fd) == 0;
    if (ok) {
        const long long from = size > static_cast<long long>(kPdfTail) ? size - static_cast<long long>(kPdfTail) : 0;
        std::string tail(static_cast<std::size_t>(size - from), '\0');
        ok = ::_lseeki64(fd, from, SEEK_SET) == from &&
             ::_read(fd, tail.data(), static_cast<unsigned>(tail.size())) == static_cast<int>(tail.size()) &&
             tail.find("%%EOF") != std::string::npos;
    }
    ::_close(fd);
    return ok;
}

int COutputFile::Begin(const std::string& path)
{
    Abandon();
    OutputTarget t;
    if (const int err = CheckOutputTarget(path, &t); err != 0) return err;
    // A short name, whatever the target's length: a path near the system's limit still
    // leaves room for it.
    const std::string folder = WithSeparator(FolderOf(t.path));
    std::random_device random;
    const char* const digits = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + ".vantrel-";
        for (int i = 0; i < 6; ++i) name += digits[random() % 36];
        const int fd = ::_wopen(WideName(name).c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST)
            return errno;
        if (fd < 0)
            continue;
        // Held by another only when a cleaner of another run caught it first: then it
        // is theirs to remove. A file system without locks still takes the output.
        if (!TryLockFile(fd) && errno == EWOULDBLOCK) {
            ::_close(fd);
            continue;
        }
        m_fd = fd;
        m_strTemp = name;
        m_strPath = path;
        RemoveStaleTemporaries(FolderOf(t.path));
        return 0;
    }
    return EEXIST;
}

void COutputFile::Close()
{
    if (m_fd >= 0) ::_close(m_fd);
    m_fd = -1;
}

int COutputFile::Commit()
{
    if (m_strTemp.empty()) return EBADF;
    const int err = m_fd >= 0 && ::_commit(m_fd) != 0 ? errno : 0;
    Close();
    const std::string temp = m_strTemp;
    m_strTemp.clear();
    if (err != 0) {
        ::_wunlink(WideName(temp).c_str());
        return err;
    }
    return PlaceOutput(temp, m_strPath);
}

void COutputFile::Abandon()
{
    Close();
    if (!m_strTemp.empty()) ::_wunlink(WideName(m_strTemp).c_str());
    m_strTemp.clear();
}

#else

namespace {

// Where path leads with every link followed, as realpath() has it, except that a link in
// a sticky folder anyone may write is followed only when the user or the folder's owner
// owns it: the kernel's protected_symlinks rule, which realpath() steps round and which a
// machine may have turned off. A last component that is not there is the file to make;
// reached through a link, it names no file the user chose.
int ResolveLinks(const std::string& path, std::string* resolved)
{
    std::string done;  // no link in it; "" is the root
    if (path.front() != '/') {
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd == nullptr)
            return errno;
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
                return errno;
            done = next;
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            done = next;
            continue;
        }
        if (++links > 40)
            return ELOOP;
        struct stat folder {};
        if (::stat(done.empty() ? "/" : done.c_str(), &folder) != 0)
            return errno;
        if ((folder.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH) && st.st_uid != ::geteuid() &&
            st.st_uid != folder.st_uid)
            return kErrForeignLink;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(next.c_str(), target, sizeof target);
        if (n < 0)
            return errno;
        if (n == static_cast<ssize_t>(sizeof target))
            return ENAMETOOLONG;
        if (target[0] == '/')
            done.clear();
        push(std::string(target, static_cast<std::size_t>(n)), true);
    }
    *resolved = done.empty() ? "/" : done;
    return 0;
}

// Temporaries a killed run left in folder: ours by name, owner and mode, a regular file
// with no other name, and with nobody holding its lock.
void RemoveStaleTemporaries(const std::string& folder)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    const int at = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (!IsTempName(entry->d_name) || ::fstatat(at, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 07777) != 0600 || st.st_nlink != 1)
            continue;
        const int fd = ::openat(at, entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat now {};
        if (::fstat(fd, &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino && TryLockFile(fd))
            ::unlinkat(at, entry->d_name, 0);
        ::close(fd);
    }
    ::closedir(dir);
}

// Puts temp, open as fd, in the place of path, checked again now: owner, mode, synced,
// renamed while fd (and its lock) is still held. 0 or the errno; temp is gone either way.
int Place(int fd, const std::string& temp, const std::string& path)
{
    OutputTarget t;
    int err = CheckOutputTarget(path, &t);
    if (err == 0 && t.keepOwner && ::fchown(fd, t.owner, t.group) != 0)
        err = errno;
    if (err == 0 && ::fchmod(fd, t.mode) != 0)
        err = errno;
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (err == 0 && ::rename(temp.c_str(), t.path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }
    // Make the rename itself durable; the file is complete either way.
    SyncFolder(FolderOf(t.path));
    return 0;
}

std::optional<FileId> FileIdOfStat(int result, const struct stat& st)
{
    if (result != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace

int CheckOutputTarget(const std::string& path, OutputTarget* target)
{
    if (path.empty()) return ENOENT;
    if (path.find('\0') != std::string::npos) return EINVAL;
    OutputTarget t;
    if (const int err = ResolveLinks(path, &t.path); err != 0)
        return err;
    struct stat st {};
    if (::stat(t.path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode))
            return kErrNotRegularFile;
        // A file the user may not write is never replaced, although the folder would
        // allow it; nor is one without any write bit, which even root must not replace.
        if (::access(t.path.c_str(), W_OK) != 0) return errno;
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
        t.exists = true;
        // What we wrote never runs as the file's owner or group.
        t.mode = st.st_mode & 0777;
        // Root saves in place as an editor would; the file would otherwise become root's.
        t.keepOwner = ::geteuid() == 0;
        t.owner = st.st_uid;
        t.group = st.st_gid;
    } else {
        if (errno != ENOENT) return errno;
        const std::string folder = FolderOf(t.path);
        struct stat dir {};
        if (::stat(folder.c_str(), &dir) != 0) return errno;
        if (!S_ISDIR(dir.st_mode)) return ENOTDIR;
        t.mode = 0666 & ~CurrentUmask();
    }
    if (target != nullptr) *target = t;
    return 0;
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

bool PdfComplete(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    // The data must be on the disk: a full disk may show only now.
    bool ok = ::fstat(fd, &st) == 0 && st.st_size > 0 && ::fsync(fd) == 0;
    if (ok) {
        const off_t from = st.st_size > static_cast<off_t>(kPdfTail) ? st.st_size - static_cast<off_t>(kPdfTail) : 0;
        std::string tail(static_cast<std::size_t>(st.st_size - from), '\0');
        ok = ::pread(fd, tail.data(), tail.size(), from) == static_cast<ssize_t>(tail.size()) &&
             tail.find("%%EOF") != std::string::npos;
    }
    ::close(fd);
    return ok;
}

int COutputFile::Begin(const std::string& path)
{
    Abandon();
    OutputTarget t;
    if (const int err = CheckOutputTarget(path, &t); err != 0) return err;
    // A short name, whatever the target's length: a name near the system's limit still
    // leaves room for it.
    const std::string folder = FolderOf(t.path);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + "/" + kTempPrefix + "XXXXXX";
        const int fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0)
            return errno;
        // Locked before a byte is written. Held by another, or gone, only when a cleaner
        // of another run caught it first: then it is theirs to remove. A file system
        // without locks still takes the output.
        const bool held = !TryLockFile(fd) && errno == EWOULDBLOCK;
        // 0600 whatever the umask: a cleaner knows ours by it.
        (void)::fchmod(fd, 0600);
        struct stat st {};
        if (held || ::fstat(fd, &st) != 0 || st.st_nlink == 0) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_strTemp = name;
        m_strPath = path;
        RemoveStaleTemporaries(folder);
        return 0;
    }
    return EEXIST;
}

void COutputFile::Close()
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

int PlaceOutput(const std::string& temp, const std::string& path)
{
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        return err;
    }
    const int err = Place(fd, temp, path);
    ::close(fd);
    return err;
}

int COutputFile::Commit()
{
    if (m_strTemp.empty()) return EBADF;
    // Still locked while it takes the target's place: no other run takes it for a leftover.
    const int err = Place(m_fd, m_strTemp, m_strPath);
    Close();
    m_strTemp.clear();
    return err;
}

void COutputFile::Abandon()
{
    Close();
    if (!m_strTemp.empty()) ::unlink(m_strTemp.c_str());
    m_strTemp.clear();
}

#endif

std::string InputThatIs(const FileId& id, const std::vector<std::string>& inputs)
{
    for (const std::string& input : inputs) {
        const std::optional<FileId> other = FileIdOf(input);
        if (other && other->device == id.device && other->index == id.index)
            return input;
    }
    return {};
}

COutputFile::~COutputFile()
{
    Abandon();
}
