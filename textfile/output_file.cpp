#include "textfile/output_file.h"

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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#endif

namespace {

constexpr std::size_t kPdfTail = 1024;

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
        if (::GetFileType(what.Get()) != FILE_TYPE_DISK) return EINVAL;
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
        const int fd = ::_wopen(WideName(name).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                _S_IREAD | _S_IWRITE);
        if (fd >= 0) {
            m_fd = fd;
            m_strTemp = name;
            m_strPath = path;
            return 0;
        }
        if (errno != EEXIST) return errno;
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

int CheckOutputTarget(const std::string& path, OutputTarget* target)
{
    if (path.empty()) return ENOENT;
    if (path.find('\0') != std::string::npos) return EINVAL;
    OutputTarget t;
    t.path = path;
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // Through a link the file it names is written and the link kept; a link to
        // nothing names no file the user chose.
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) return errno != 0 ? errno : ENOENT;
        t.path = resolved;
    }
    if (::stat(t.path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return EISDIR;
        if (!S_ISREG(st.st_mode)) return EINVAL;
        // A file the user may not write is never replaced, although the folder would
        // allow it; nor is one without any write bit, which even root must not replace.
        if (::access(t.path.c_str(), W_OK) != 0) return errno;
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
        t.exists = true;
        t.mode = st.st_mode & 07777;
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

int PlaceOutput(const std::string& temp, const std::string& path)
{
    OutputTarget t;
    int err = CheckOutputTarget(path, &t);
    if (err == 0 && ::chmod(temp.c_str(), t.mode) != 0) err = errno;
    if (err == 0) {
        const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0 || ::fsync(fd) != 0) err = errno != 0 ? errno : EIO;
        if (fd >= 0) ::close(fd);
    }
    if (err == 0 && ::rename(temp.c_str(), t.path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }
    // Make the rename itself durable; the file is complete either way.
    SyncFolder(FolderOf(t.path));
    return 0;
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
    std::string name = FolderOf(t.path) + "/.vantrel-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return errno;
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    m_fd = fd;
    m_strTemp = name;
    m_strPath = path;
    return 0;
}

void COutputFile::Close()
{
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
}

int COutputFile::Commit()
{
    if (m_strTemp.empty()) return EBADF;
    const int err = m_fd >= 0 && ::fsync(m_fd) != 0 ? errno : 0;
    Close();
    const std::string temp = m_strTemp;
    m_strTemp.clear();
    if (err != 0) {
        ::unlink(temp.c_str());
        return err;
    }
    return PlaceOutput(temp, m_strPath);
}

void COutputFile::Abandon()
{
    Close();
    if (!m_strTemp.empty()) ::unlink(m_strTemp.c_str());
    m_strTemp.clear();
}

#endif

COutputFile::~COutputFile()
{
    Abandon();
}
