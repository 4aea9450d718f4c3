#pragma once

// What the tests ask of the file system, by the program's own strings (UTF-8 on Linux,
// the ANSI code page on Windows) and on both systems.

#include <cstdint>
#include <filesystem>
#include <string>
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

#if defined(_WIN32)
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

inline int ProcessId()
{
#if defined(_WIN32)
    return ::_getpid();
#else
    return static_cast<int>(::getpid());
#endif
}

// folder and name with the system's separator, byte for byte: a code page 932 name goes
// through untouched, as std::filesystem would not take it on Windows.
inline std::string Join(const std::string& folder, const std::string& name)
{
    return folder + kSeparator + name;
}

// Writes bytes at offset, leaving what lies before it (a hole in a new file).
inline bool WriteAt(const std::string& path, std::uint64_t offset, const std::string& bytes)
{
#if defined(_WIN32)
    const int fd = ::_open(path.c_str(), _O_CREAT | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    const bool ok = fd >= 0 && ::_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) >= 0 &&
                    ::_write(fd, bytes.data(), static_cast<unsigned>(bytes.size())) == static_cast<int>(bytes.size());
#else
    const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
    const bool ok = fd >= 0 && ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)) ==
                                   static_cast<ssize_t>(bytes.size());
#endif
    if (fd >= 0) {
#if defined(_WIN32)
        ::_close(fd);
#else
        ::close(fd);
#endif
    }
    return ok;
}

// A file of size bytes that holds no data: sparse where the file system allows.
inline bool MakeSizedFile(const std::string& path, std::int64_t size)
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

// No write for anyone: mode 0444 on Linux, the read-only attribute on Windows.
inline bool MakeReadOnly(const std::string& path)
{
#if defined(_WIN32)
    return ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
#else
    return ::chmod(path.c_str(), 0444) == 0;
#endif
}

#if !defined(_WIN32)
// A socket of the test's own at path, left bound (its descriptor closed): a file that is
// no file, as a device is, without touching one of the system's.
inline int BindSocket(const std::string& path)
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

// Removes a test's folder with all it holds; on Windows read-only files too, which
// refuse to go while the attribute is set.
inline void RemoveTree(const std::filesystem::path& folder)
{
    std::error_code ec;
#if defined(_WIN32)
    for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        ::SetFileAttributesW(it->path().c_str(), FILE_ATTRIBUTE_NORMAL);
    ec.clear();
#endif
    std::filesystem::remove_all(folder, ec);
}

}  // namespace sysfiles
