// The work file's folder on Linux and other POSIX systems.
#if !defined(_WIN32)
#include "printing/work_file_system.h"

#include "textfile/io_error.h"
#include "textfile/leftovers.h"
#include "textfile/output_file.h"
#include "textfile/system_calls.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace work_folder {
namespace {

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

}  // namespace

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

std::error_code CreateNewFile(const std::string& path, std::FILE** stream)
{
    errno = 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    // 0600 whatever the umask: a later run knows a leftover of ours by it.
    if (fd >= 0)
        IgnoreResult(::fchmod(fd, 0600));
    *stream = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (*stream != nullptr)
        return {};
    const std::error_code error = SystemError(errno != 0 ? errno : ENOENT);
    if (fd >= 0)
        ::close(fd);
    return error;
}

std::int64_t FreeBytesIn(const std::string& folder)
{
    std::error_code ec;
    const std::filesystem::space_info space = std::filesystem::space(folder, ec);
    if (ec || space.available == static_cast<std::uintmax_t>(-1))
        return -1;
    return static_cast<std::int64_t>(space.available);
}

}  // namespace work_folder

#endif
