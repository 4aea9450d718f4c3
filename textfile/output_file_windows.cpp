// The rules of every output on Windows.
#if defined(_WIN32)
#include "textfile/output_file.h"

#include "textfile/ansi_names.h"
#include "textfile/error_text.h"
#include "textfile/leftovers.h"
#include "textfile/output_file_names.h"
#include "textfile/system_calls.h"

#include <fcntl.h>
#include <io.h>
#include <random>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace {

// The folder a file goes in: "C:\\" for "C:\\a.csv", "C:" for "C:a.csv", "." for "a.csv".
std::string FolderOf(const std::string& path)
{
    const std::size_t start = PathNameStart(path);
    if (start == 0)
        return ".";
    const bool keepSeparator = start == 1 || path[start - 1] == ':' || (start == 3 && path[1] == ':');
    return path.substr(0, keepSeparator ? start : start - 1);
}

// A handle closed when it goes.
class CHandle {
public:
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle()
    {
        if (m_h != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_h);
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
    if (n == 0 || n >= final.size())
        return {};
    final.resize(n);
    if (final.rfind(L"\\\\?\\UNC\\", 0) == 0)
        final = L"\\\\" + final.substr(8);
    else if (final.rfind(L"\\\\?\\", 0) == 0)
        final = final.substr(4);
    std::string ansi = AnsiName(final);
    return WideName(ansi) == final ? ansi : std::string();
}

std::error_code LastError()
{
    return SystemError(ErrnoFromSystem(::GetLastError()));
}

}  // namespace

// Windows keeps no mode bits: a replaced file's hidden and system attributes are kept,
// and its read-only attribute refuses it, as the lack of every write bit does on Linux.
std::error_code CheckOutputTarget(const std::string& path, OutputTarget* target)
{
    if (path.empty())
        return SystemError(ENOENT);
    if (path.find('\0') != std::string::npos)
        return SystemError(EINVAL);
    OutputTarget t;
    t.path = path;
    t.mode = FILE_ATTRIBUTE_NORMAL;
    const CHandle what(OpenExisting(path, 0));
    if (!what.Valid()) {
        const DWORD error = ::GetLastError();
        // Nothing there, or a link to nothing: the latter names no file the user chose.
        if (error != ERROR_FILE_NOT_FOUND || ::GetFileAttributesW(WideName(path).c_str()) != INVALID_FILE_ATTRIBUTES)
            return SystemError(ErrnoFromSystem(error));
        const DWORD folder = ::GetFileAttributesW(WideName(FolderOf(path)).c_str());
        if (folder == INVALID_FILE_ATTRIBUTES)
            return LastError();
        if ((folder & FILE_ATTRIBUTE_DIRECTORY) == 0)
            return SystemError(ENOTDIR);
    } else {
        // A device (NUL, CON, COM1) passes for a file by its attributes, not by its type.
        if (::GetFileType(what.Get()) != FILE_TYPE_DISK)
            return IoReason::NotRegularFile;
        BY_HANDLE_FILE_INFORMATION info{};
        if (!::GetFileInformationByHandle(what.Get(), &info))
            return LastError();
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return SystemError(EISDIR);
        if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0)
            return SystemError(EACCES);
        // Through a link the file it names is written and the link kept.
        const DWORD own = ::GetFileAttributesW(WideName(path).c_str());
        if (own != INVALID_FILE_ATTRIBUTES && (own & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            t.path = LinkTarget(what.Get());
            if (t.path.empty())
                return SystemError(EINVAL);
        }
        // Writing it must be allowed, and no other program may hold it shut.
        const CHandle write(OpenExisting(t.path, FILE_WRITE_DATA));
        if (!write.Valid())
            return LastError();
        t.exists = true;
        t.mode = info.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if (t.mode == 0)
            t.mode = FILE_ATTRIBUTE_NORMAL;
    }
    if (target != nullptr)
        *target = t;
    return {};
}

std::error_code PlaceOutput(const std::string& temp, const std::string& path)
{
    OutputTarget t;
    std::error_code err = CheckOutputTarget(path, &t);
    const std::wstring wideTemp = WideName(temp);
    if (!err && !::SetFileAttributesW(wideTemp.c_str(), t.mode))
        err = LastError();
    // One rename that replaces the target, made durable before it returns.
    if (!err &&
        !::MoveFileExW(wideTemp.c_str(), WideName(t.path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        err = LastError();
    if (err)
        ::DeleteFileW(wideTemp.c_str());
    return err;
}

namespace {

// Temporaries a killed run left in folder: made by us by their names, no folder or
// link, with nobody holding their lock, and the start of a PDF or CSV in them.
void RemoveStaleTemporaries(const std::string& folder)
{
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW(WideName(WithSeparator(folder) + kTempPrefix + "*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = AnsiName(found.cFileName);
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
            !HasLeftoverName(name, kTempPrefix))
            continue;
        const std::wstring path = WideName(WithSeparator(folder) + name);
        const int fd = ::_wopen(path.c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
        if (fd < 0)
            continue;
        char head[kContentHeadSize];
        const int n = TryLockFile(fd) ? ::_read(fd, head, sizeof head) : -1;
        const bool stale = n >= 0 && IsProgramsContent(std::string_view(head, static_cast<std::size_t>(n)));
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

std::error_code SyncFileToDisk(const std::string& path, std::size_t tailSize, std::string* tail)
{
    // Read and write: the system flushes only a file open for writing.
    const int fd = ::_wopen(WideName(path).c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        return SystemError(errno);
    errno = 0;
    const long long size = ::_lseeki64(fd, 0, SEEK_END);
    bool ok = size > 0 && ::_commit(fd) == 0;
    if (ok) {
        const long long from = size > static_cast<long long>(tailSize) ? size - static_cast<long long>(tailSize) : 0;
        tail->assign(static_cast<std::size_t>(size - from), '\0');
        ok = ::_lseeki64(fd, from, SEEK_SET) == from &&
             ::_read(fd, tail->data(), static_cast<unsigned>(tail->size())) == static_cast<int>(tail->size());
    }
    const std::error_code err = ok ? std::error_code() : SystemError(errno);
    ::_close(fd);
    return err;
}

std::error_code WhyNoMoreBytes(int fd)
{
    const long long size = ::_lseeki64(fd, 0, SEEK_END);
    if (size < 0)
        return SystemError(errno);
    const char byte = 0;
    if (::_write(fd, &byte, 1) != 1)
        return SystemError(errno);
    IgnoreResult(::_chsize_s(fd, size));
    return {};
}

std::error_code COutputFile::Begin(const std::string& path)
{
    Abandon();
    OutputTarget t;
    if (const std::error_code err = CheckOutputTarget(path, &t); err)
        return err;
    // A short name, whatever the target's length: a path near the system's limit still
    // leaves room for it.
    const std::string folder = WithSeparator(FolderOf(t.path));
    std::random_device random;
    const char* const digits = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = folder + ".vantrel-";
        for (int i = 0; i < 6; ++i)
            name += digits[random() % 36];
        const int fd = ::_wopen(WideName(name).c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                _S_IREAD | _S_IWRITE);
        if (fd < 0 && errno != EEXIST)
            return SystemError(errno);
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
        return {};
    }
    return SystemError(EEXIST);
}

void COutputFile::Close()
{
    if (m_fd >= 0)
        ::_close(m_fd);
    m_fd = -1;
}

std::error_code COutputFile::Commit()
{
    if (m_strTemp.empty())
        return SystemError(EBADF);
    const std::error_code err = m_fd >= 0 && ::_commit(m_fd) != 0 ? SystemError(errno) : std::error_code();
    Close();
    const std::string temp = m_strTemp;
    m_strTemp.clear();
    if (err) {
        ::_wunlink(WideName(temp).c_str());
        return err;
    }
    return PlaceOutput(temp, m_strPath);
}

void COutputFile::Abandon()
{
    Close();
    if (!m_strTemp.empty())
        ::_wunlink(WideName(m_strTemp).c_str());
    m_strTemp.clear();
}

#endif
