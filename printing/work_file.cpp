#include "printing/work_file.h"

#include "textfile/output_file.h"
#include "textfile/text_file_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include "textfile/ansi_names.h"

#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <random>
#include <sys/stat.h>
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr char kWorkFileName[] = "WkFile.txt";
constexpr char kFolderPrefix[] = "vantrel-";

// "vantrel-" and what the folder maker puts after it (letters and digits; on Windows
// digits and a dash): a name of ours, never a user's.
bool IsFolderName(std::string_view name)
{
    constexpr std::size_t prefix = sizeof kFolderPrefix - 1;
    if (name.size() <= prefix || name.substr(0, prefix) != kFolderPrefix)
        return false;
    for (const char ch : name.substr(prefix))
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '-'))
            return false;
    return true;
}

// Digits grouped in threes: 3,758,096,384.
std::string Grouped(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    for (std::size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, 1, ',');
    return digits;
}

#if defined(_WIN32)

// The user's temporary folder, which only the user may enter. A path the ANSI code page
// cannot hold is taken in its short form, which it can.
std::string DefaultBase()
{
    wchar_t buffer[MAX_PATH + 1];
    DWORD n = ::GetTempPathW(MAX_PATH + 1, buffer);
    if (n == 0 || n > MAX_PATH)
        return {};
    std::wstring wide(buffer, n);
    if (WideName(AnsiName(wide)) != wide) {
        n = ::GetShortPathNameW(wide.c_str(), buffer, MAX_PATH + 1);
        if (n == 0 || n > MAX_PATH)
            return {};
        wide.assign(buffer, n);
    }
    // Its closing backslash goes while it is wide text, where no trail byte can look like one.
    while (wide.size() > 3 && wide.back() == L'\\')
        wide.pop_back();
    const std::string base = AnsiName(wide);
    return WideName(base) == wide ? base : std::string();
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return WithSeparator(folder) + name;
}

// LockFileEx needs a file: the folder's lock is a file beside it, so that the folder
// holds no open file a cleaner could not remove (the folder is then made anew).
std::string LockFileOf(const std::string& folder)
{
    return folder + ".lock";
}

// A new private folder, locked while lockFd stays open.
std::string MakePrivateFolder(const std::string& given, int* lockFd)
{
    const std::string base = given.empty() ? DefaultBase() : given;
    if (base.empty())
        return {};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string folder =
            InFolder(base, kFolderPrefix + std::to_string(::_getpid()) + "-" + std::to_string(random() % 1000000));
        if (!::CreateDirectoryW(WideName(folder).c_str(), nullptr)) {
            if (::GetLastError() != ERROR_ALREADY_EXISTS)
                return {};
            continue;
        }
        // Held only when another run's cleaner caught it first: then it is theirs to remove.
        const int fd = ::_wopen(WideName(LockFileOf(folder)).c_str(),
                                _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
        if (fd >= 0 && (TryLockFile(fd) || errno != EWOULDBLOCK)) {
            *lockFd = fd;
            return folder;
        }
        if (fd >= 0)
            ::_close(fd);
        else
            ::RemoveDirectoryW(WideName(folder).c_str());
    }
    return {};
}

// Removes the folder while still holding its lock, then lets the lock and its file go.
void ReleaseFolder(const std::string& folder, int lockFd, bool remove)
{
    if (remove && !folder.empty())
        ::RemoveDirectoryW(WideName(folder).c_str());
    if (lockFd >= 0) {
        ::_close(lockFd);
        ::DeleteFileW(WideName(LockFileOf(folder)).c_str());
    }
}

void RemoveStaleFoldersIn(const std::string& base)
{
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW(WideName(InFolder(base, std::string(kFolderPrefix) + "*")).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string folder = InFolder(base, AnsiName(found.cFileName));
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 || !IsFolderName(AnsiName(found.cFileName)))
            continue;
        // A folder without its lock file is being made, or not ours: left alone.
        const int fd = ::_wopen(WideName(LockFileOf(folder)).c_str(), _O_RDWR | _O_BINARY | _O_NOINHERIT);
        if (fd < 0)
            continue;
        if (!TryLockFile(fd)) {
            ::_close(fd);
            continue;
        }
        ::DeleteFileW(WideName(InFolder(folder, kWorkFileName)).c_str());
        ReleaseFolder(folder, fd, true);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

std::vector<std::string> SweptBases(const std::string& given)
{
    return {given.empty() ? DefaultBase() : given};
}

// A real folder, not a link or junction to somewhere else.
bool FolderIsOurs(const std::string& folder)
{
    const DWORD attributes = ::GetFileAttributesW(WideName(folder).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

void RemoveFileAt(const std::string& path)
{
    ::DeleteFileW(WideName(path).c_str());
}

std::string BaseForMessages(const std::string& given)
{
    return given.empty() ? DefaultBase() : given;
}

#else

// Where the private folder goes: $TMPDIR when set, else /var/tmp, which is on disk by
// convention, else /tmp.
std::vector<std::string> BaseFolders(const std::string& given)
{
    if (!given.empty())
        return {given};
    std::vector<std::string> bases;
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0')
        bases.emplace_back(tmp);
    bases.emplace_back("/var/tmp");
    bases.emplace_back("/tmp");
    return bases;
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

// The bases a run cleans: where its own folder goes, the fallbacks too unless the user
// named a place with $TMPDIR.
std::vector<std::string> SweptBases(const std::string& given)
{
    std::vector<std::string> bases = BaseFolders(given);
    if (given.empty() && bases.size() > 2)
        bases.resize(1);
    return bases;
}

// A new private folder, locked while lockFd stays open.
std::string MakePrivateFolder(const std::string& given, int* lockFd)
{
    for (const std::string& base : BaseFolders(given)) {
        for (int attempt = 0; attempt < 10; ++attempt) {
            std::string folder = InFolder(base, std::string(kFolderPrefix) + "XXXXXX");
            if (::mkdtemp(folder.data()) == nullptr)
                break;  // mode 0700
            const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            // Gone, or its lock held, only when another run's cleaner caught it first.
            const bool held = fd >= 0 && !TryLockFile(fd) && errno == EWOULDBLOCK;
            struct stat st {};
            if (fd >= 0 && !held && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
                *lockFd = fd;
                return folder;
            }
            if (fd >= 0)
                ::close(fd);
        }
    }
    return {};
}

// Removes the folder while still holding its lock, then lets the lock go.
void ReleaseFolder(const std::string& folder, int lockFd, bool remove)
{
    if (remove && !folder.empty())
        ::rmdir(folder.c_str());
    if (lockFd >= 0)
        ::close(lockFd);
}

// Work folders a killed run left under base: named as ours, a real folder of this user
// that nobody else may enter, and with nobody holding its lock. Only the work file goes
// with it: a folder holding anything else stays.
void RemoveStaleFoldersIn(const std::string& base)
{
    DIR* dir = ::opendir(base.c_str());
    if (dir == nullptr)
        return;
    const int at = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        struct stat st {};
        if (!IsFolderName(entry->d_name) || ::fstatat(at, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid() || (st.st_mode & 07777) != 0700)
            continue;
        const int fd = ::openat(at, entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat now {};
        if (::fstat(fd, &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino && TryLockFile(fd)) {
            ::unlinkat(fd, kWorkFileName, 0);
            ::unlinkat(at, entry->d_name, AT_REMOVEDIR);
        }
        ::close(fd);
    }
    ::closedir(dir);
}

// A real folder (no link), owned by us, that nobody else may enter.
bool FolderIsOurs(const std::string& folder)
{
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 07777) == 0700;
}

void RemoveFileAt(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

std::string BaseForMessages(const std::string& given)
{
    return BaseFolders(given).front();
}

#endif

}  // namespace

CWorkFile::~CWorkFile()
{
    Remove();
}

void CWorkFile::Release()
{
    m_nLockFd = -1;
    m_strPath.clear();
    m_strFolder.clear();
}

std::string CWorkFile::Prepare()
{
    if (m_strFolder.empty() || !FolderIsOurs(m_strFolder)) {
        // Gone (a cleaner), or someone else's now: never used again, never removed by us.
        ReleaseFolder(m_strFolder, m_nLockFd, false);
        Release();
        m_strFolder = MakePrivateFolder(m_strBase, &m_nLockFd);
        if (m_strFolder.empty())
            return {};
        m_strPath = InFolder(m_strFolder, kWorkFileName);
    }
    RemoveFile();
    return m_strPath;
}

int CWorkFile::Create(CTextFileWriter& out)
{
    errno = 0;
#if defined(_WIN32)
    const int fd = m_strPath.empty()
                       ? -1
                       : ::_wopen(WideName(m_strPath).c_str(),
                                  _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
    std::FILE* stream = fd >= 0 ? ::_fdopen(fd, "wb") : nullptr;
#else
    const int fd =
        m_strPath.empty() ? -1 : ::open(m_strPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    std::FILE* stream = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
#endif
    if (stream == nullptr) {
        const int error = errno != 0 ? errno : ENOENT;
        if (fd >= 0) {
#if defined(_WIN32)
            _close(fd);
#else
            ::close(fd);
#endif
        }
        return error;
    }
    return out.Adopt(stream) ? 0 : EBADF;
}

std::int64_t CWorkFile::FreeBytes() const
{
#if defined(_WIN32)
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(WideName(m_strFolder).c_str(), &available, nullptr, nullptr))
        return -1;
    return static_cast<std::int64_t>(available.QuadPart);
#else
    std::error_code ec;
    const std::filesystem::space_info space = std::filesystem::space(m_strFolder, ec);
    if (ec || space.available == static_cast<std::uintmax_t>(-1))
        return -1;
    return static_cast<std::int64_t>(space.available);
#endif
}

std::string CWorkFile::Where() const
{
    if (!m_strPath.empty())
        return m_strPath;
    return InFolder(InFolder(BaseForMessages(m_strBase), "vantrel-XXXXXX"), kWorkFileName);
}

void CWorkFile::RemoveFile()
{
    if (!m_strPath.empty() && FolderIsOurs(m_strFolder))
        RemoveFileAt(m_strPath);
}

void CWorkFile::Remove()
{
    RemoveFile();
    // Only the folder we made, and only once it is empty: never more than our own file.
    ReleaseFolder(m_strFolder, m_nLockFd, !m_strFolder.empty() && FolderIsOurs(m_strFolder));
    Release();
}

void CWorkFile::RemoveStaleFolders() const
{
    for (const std::string& base : SweptBases(m_strBase))
        if (!base.empty())
            RemoveStaleFoldersIn(base);
}

std::string NoRoomMessage(const std::string& workFile, std::uint64_t needed, std::uint64_t free)
{
    return "ワークファイルの空き容量が足りません[" + workFile + "]\n必要: " + Grouped(needed) +
           " バイト\n空き: " + Grouped(free) + " バイト";
}

std::string WorkFileFailedMessage(const std::string& workFile)
{
    return "ワークファイル書き込み失敗[" + workFile + "]";
}
