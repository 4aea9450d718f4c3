// The work file's folder on Windows.
#if defined(_WIN32)
#include "printing/work_file_system.h"

#include "textfile/ansi_names.h"
#include "textfile/io_error.h"
#include "textfile/leftovers.h"
#include "textfile/output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <windows.h>

namespace work_folder {
namespace {

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

// LockFileEx needs a file: the folder's lock is a file beside it, so that the folder
// holds no open file a cleaner could not remove (the folder is then made anew).
std::string LockFileOf(const std::string& folder)
{
    return folder + ".lock";
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

}  // namespace

std::string InFolder(const std::string& folder, const std::string& name)
{
    return WithSeparator(folder) + name;
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

std::error_code CreateNewFile(const std::string& path, std::FILE** stream)
{
    errno = 0;
    const int fd = ::_wopen(WideName(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                            _S_IREAD | _S_IWRITE);
    *stream = fd >= 0 ? ::_fdopen(fd, "wb") : nullptr;
    if (*stream != nullptr)
        return {};
    const std::error_code error = SystemError(errno != 0 ? errno : ENOENT);
    if (fd >= 0)
        ::_close(fd);
    return error;
}

std::int64_t FreeBytesIn(const std::string& folder)
{
    ULARGE_INTEGER available{};
    if (!::GetDiskFreeSpaceExW(WideName(folder).c_str(), &available, nullptr, nullptr))
        return -1;
    return static_cast<std::int64_t>(available.QuadPart);
}

}  // namespace work_folder

#endif
