#include "textfile/output_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <filesystem>
#include <io.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
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

std::filesystem::path U8(const std::string& s)
{
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
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

int CheckOutputTarget(const std::string& path, OutputTarget* target)
{
    namespace fs = std::filesystem;
    if (path.empty()) return ENOENT;
    if (path.find('\0') != std::string::npos) return EINVAL;
    std::error_code ec;
    const fs::file_status status = fs::status(U8(path), ec);
    OutputTarget t;
    t.path = path;
    t.mode = _S_IREAD | _S_IWRITE;
    if (fs::exists(status)) {
        if (fs::is_directory(status)) return EISDIR;
        if (!fs::is_regular_file(status)) return EINVAL;
        if ((status.permissions() & fs::perms::owner_write) == fs::perms::none) return EACCES;
        t.exists = true;
    } else if (!fs::is_directory(U8(FolderOf(path)), ec)) {
        return ENOENT;
    }
    if (target != nullptr) *target = t;
    return 0;
}

int PlaceOutput(const std::string& temp, const std::string& path)
{
    OutputTarget t;
    int err = CheckOutputTarget(path, &t);
    std::error_code ec;
    if (err == 0) {
        // MoveFileEx with MOVEFILE_REPLACE_EXISTING underneath.
        std::filesystem::rename(U8(temp), U8(t.path), ec);
        err = ec ? (ec.value() != 0 ? ec.value() : EIO) : 0;
    }
    if (err != 0) std::filesystem::remove(U8(temp), ec);
    return err;
}

bool PdfComplete(const std::string& path)
{
    const int fd = _open(path.c_str(), _O_RDONLY | _O_BINARY);
    if (fd < 0) return false;
    const long long size = _lseeki64(fd, 0, SEEK_END);
    bool ok = size > 0 && _commit(fd) == 0;
    if (ok) {
        const long long from = size > static_cast<long long>(kPdfTail) ? size - static_cast<long long>(kPdfTail) : 0;
        std::string tail(static_cast<std::size_t>(size - from), '\0');
        ok = _lseeki64(fd, from, SEEK_SET) == from &&
             _read(fd, tail.data(), static_cast<unsigned>(tail.size())) == static_cast<int>(tail.size()) &&
             tail.find("%%EOF") != std::string::npos;
    }
    _close(fd);
    return ok;
}

int COutputFile::Begin(const std::string& path)
{
    Abandon();
    OutputTarget t;
    if (const int err = CheckOutputTarget(path, &t); err != 0) return err;
    std::random_device random;
    const char* const digits = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = FolderOf(t.path) + "\\.vantrel-";
        for (int i = 0; i < 6; ++i) name += digits[random() % 36];
        const int fd = _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
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
    if (m_fd >= 0) _close(m_fd);
    m_fd = -1;
}

int COutputFile::Commit()
{
    if (m_strTemp.empty()) return EBADF;
    int err = m_fd >= 0 && _commit(m_fd) != 0 ? errno : 0;
    Close();
    const std::string temp = m_strTemp;
    m_strTemp.clear();
    if (err != 0) {
        _unlink(temp.c_str());
        return err;
    }
    return PlaceOutput(temp, m_strPath);
}

void COutputFile::Abandon()
{
    Close();
    if (!m_strTemp.empty()) _unlink(m_strTemp.c_str());
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
