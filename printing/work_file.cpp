#include "printing/work_file.h"

#include "textfile/leftovers.h"
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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr char kWorkFileName[] = "WkFile.txt";
constexpr char kFolderPrefix[] = "vantrel-";

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

// "vantrel-", the process id, "-" and a number: a name MakePrivateFolder makes.
bool IsFolderName(std::string_view name)
{
    constexpr std::size_t prefix = sizeof kFolderPrefix - 1;
    const std::size_t dash = name.find('-', prefix);
    const auto digits = [](std::string_view part) {
        return !part.empty() && part.find_first_not_of("0123456789") == std::string_view::npos;
    };
    return name.substr(0, prefix) == kFolderPrefix && dash != std::string_view::npos &&
           digits(name.substr(prefix, dash - prefix)) && digits(name.substr(dash + 1));
}

// The folder holds nothing but its work file, and that one, when there, a dump's text.
bool HoldsOnlyItsWorkFile(const std::string& folder)
{
    WIN32_FIND_DATAW found{};
    const HANDLE find = ::FindFirstFileW(WideName(InFolder(folder, "*")).c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    const std::wstring workName = WideName(kWorkFileName);
    bool only = true;
    bool work = false;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..")
            continue;
        const bool file = (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
        work = work || (file && name == workName);
        only = only && file && name == workName;
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    if (!only || !work)
        return only;
    const int fd = ::_wopen(WideName(InFolder(folder, kWorkFileName)).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0)
        return false;
    char head[kContentHeadSize];
    const int n = ::_read(fd, head, sizeof head);
    ::_close(fd);
    return n >= 0 && IsProgramsContent(std::string_view(head, static_cast<std::size_t>(n)));
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
        if (!TryLockFile(fd) || !HoldsOnlyItsWorkFile(folder)) {
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

// Work folders a killed run left under base, with their work files; nothing else.
void RemoveStaleFoldersIn(const std::string& base)
{
    RemoveLeftovers(base, {kFolderPrefix, kWorkFileName});
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
    // 0600 whatever the umask: a later run knows a leftover of ours by it.
    if (fd >= 0)
        (void)::fchmod(fd, 0600);
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
