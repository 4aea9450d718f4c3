#include "textfile/leftovers.h"

#include "textfile/output_file.h"

#include <array>

#if !defined(_WIN32)
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#endif

bool HasLeftoverName(std::string_view name, std::string_view prefix)
{
    if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix)
        return false;
    for (const char ch : name.substr(prefix.size()))
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')))
            return false;
    return true;
}

bool IsProgramsContent(std::string_view head)
{
    static constexpr std::array<std::string_view, 3> kStarts = {
        "\r\nName : ",  // a dump's text: its empty first line, then the first page's header
        "%PDF-",
        "\"\x83\x74\x83\x48\x83\x8B\x83\x5F\",",  // the CSV's first field, "フォルダ" in code page 932
    };
    for (const std::string_view start : kStarts)
        if (head.substr(0, start.size()) == start.substr(0, head.size()))
            return true;
    return false;
}

#if !defined(_WIN32)

namespace {

// The entry name in the folder open as at, checked as a leftover of ours would be: a
// real folder or file of the user's, in its mode, with no other link. want is S_IFDIR
// or S_IFREG. Open (without following a link, without blocking), the same one the name
// showed; -1 when it is not such an entry.
int OpenOurs(int at, const char* name, mode_t want)
{
    struct stat st {};
    const nlink_t links = want == S_IFDIR ? 2 : 1;  // a folder: itself and its "."
    const mode_t mode = want == S_IFDIR ? 0700 : 0600;
    if (::fstatat(at, name, &st, AT_SYMLINK_NOFOLLOW) != 0 || (st.st_mode & S_IFMT) != want ||
        st.st_uid != ::geteuid() || (st.st_mode & 07777) != mode || st.st_nlink != links)
        return -1;
    const int flags = want == S_IFDIR ? O_DIRECTORY : O_NONBLOCK | O_NOCTTY;
    const int fd = ::openat(at, name, O_RDONLY | O_NOFOLLOW | O_CLOEXEC | flags);
    struct stat now {};
    if (fd >= 0 && (::fstat(fd, &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool HoldsProgramsContent(int fd)
{
    char head[kContentHeadSize];
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    return n >= 0 && IsProgramsContent(std::string_view(head, static_cast<std::size_t>(n)));
}

// The folder open as fd holds nothing but inner, when it is there.
bool HoldsOnly(int fd, std::string_view inner)
{
    const int copy = ::dup(fd);
    DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (dir == nullptr) {
        if (copy >= 0)
            ::close(copy);
        return false;
    }
    bool only = true;
    while (const dirent* entry = ::readdir(dir))
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0 && entry->d_name != inner)
            only = false;
    ::closedir(dir);
    return only;
}

// A temporary output: locked while its writer lives, the start of what the program
// writes (a PDF, the CSV) in it.
void RemoveFile(int at, const char* name)
{
    const int fd = OpenOurs(at, name, S_IFREG);
    if (fd < 0)
        return;
    if (TryLockFile(fd) && HoldsProgramsContent(fd))
        ::unlinkat(at, name, 0);
    ::close(fd);
}

// A work folder: locked while its run lives, holding nothing or its work file alone.
void RemoveFolder(int at, const char* name, const std::string& inner)
{
    const int fd = OpenOurs(at, name, S_IFDIR);
    if (fd < 0)
        return;
    if (TryLockFile(fd) && HoldsOnly(fd, inner)) {
        bool cleared = true;
        if (::faccessat(fd, inner.c_str(), F_OK, AT_SYMLINK_NOFOLLOW) == 0) {
            const int file = OpenOurs(fd, inner.c_str(), S_IFREG);
            cleared = file >= 0 && HoldsProgramsContent(file) && ::unlinkat(fd, inner.c_str(), 0) == 0;
            if (file >= 0)
                ::close(file);
        }
        if (cleared)
            ::unlinkat(at, name, AT_REMOVEDIR);
    }
    ::close(fd);
}

}  // namespace

void RemoveLeftovers(const std::string& folder, const LeftoverForm& form)
{
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr)
        return;
    const int at = ::dirfd(dir);
    const std::string inner(form.inner);
    while (const dirent* entry = ::readdir(dir)) {
        if (!HasLeftoverName(entry->d_name, form.prefix))
            continue;
        if (inner.empty())
            RemoveFile(at, entry->d_name);
        else
            RemoveFolder(at, entry->d_name, inner);
    }
    ::closedir(dir);
}

#endif
