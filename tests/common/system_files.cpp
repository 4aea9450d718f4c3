#include "common/system_files.h"

#include <system_error>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

namespace sysfiles {

int ProcessId()
{
#if defined(_WIN32)
    return ::_getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

bool WriteAt(const std::string& path, std::uint64_t offset, const std::string& bytes)
{
#if defined(_WIN32)
    const int fd = ::_open(path.c_str(), _O_CREAT | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    const bool ok = fd >= 0 && ::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) >= 0 &&
                    ::_write(fd, bytes.data(), static_cast<unsigned>(bytes.size())) == static_cast<int>(bytes.size());
    if (fd >= 0)
        ::_close(fd);
#else
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    const bool ok = fd >= 0 && ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
                                   static_cast<ssize_t>(bytes.size());
    if (fd >= 0)
        ::close(fd);
#endif
    return ok;
}

bool MakeSizedFile(const std::string& path, std::int64_t size)
{
#if defined(_WIN32)
    const int fd = ::_open(path.c_str(), _O_CREAT | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    const bool ok = fd >= 0 && ::_chsize_s(fd, size) == 0;
    if (fd >= 0)
        ::_close(fd);
#else
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    const bool ok = fd >= 0 && ::ftruncate(fd, size) == 0;
    if (fd >= 0)
        ::close(fd);
#endif
    return ok;
}

bool MakeReadOnly(const std::string& path)
{
#if defined(_WIN32)
    return ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
#else
    return ::chmod(path.c_str(), 0444) == 0;
#endif
}

void RemoveTree(const std::filesystem::path& folder)
{
    std::error_code ec;
#if defined(_WIN32)
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    ec.clear();
#endif
    std::filesystem::remove_all(folder, ec);
}

#if !defined(_WIN32)
int BindSocket(const std::string& path)
{
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (sock < 0 || path.size() >= sizeof addr.sun_path)
        return -1;
    path.copy(addr.sun_path, path.size());
    const int bound = ::bind(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    ::close(sock);
    return bound;
}
#endif

}  // namespace sysfiles
