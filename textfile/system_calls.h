#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#if defined(_WIN32)
#include <io.h>
#include <stdio.h>
#else
#include <sys/types.h>
#include <unistd.h>
#endif

// The few calls whose names differ between POSIX and Windows, under one name each, so that
// the code using them needs no platform branch of its own. Each answers as the POSIX call.

// Up to size bytes into buffer: the count, 0 at the end, -1 with errno on failure.
inline std::int64_t SysRead(int fd, void* buffer, std::size_t size)
{
#if defined(_WIN32)
    return ::_read(fd, buffer, static_cast<unsigned>(size));
#else
    return ::read(fd, buffer, size);
#endif
}

inline int SysClose(int fd)
{
#if defined(_WIN32)
    return ::_close(fd);
#else
    return ::close(fd);
#endif
}

// A second descriptor of the same open file; -1 with errno.
inline int SysDup(int fd)
{
#if defined(_WIN32)
    return ::_dup(fd);
#else
    return ::dup(fd);
#endif
}

// Moves to offset from the start: true when the descriptor is there.
inline bool SysSeekTo(int fd, std::int64_t offset)
{
#if defined(_WIN32)
    return ::_lseeki64(fd, offset, SEEK_SET) == offset;
#else
    return ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
#endif
}

// A stream over an open descriptor, which it then owns; nullptr with errno.
inline std::FILE* SysFdOpen(int fd, const char* mode)
{
#if defined(_WIN32)
    return ::_fdopen(fd, mode);
#else
    return ::fdopen(fd, mode);
#endif
}

// A stream's position past 2 GiB on every platform: 0 or -1 with errno.
inline int SysFileSeek(std::FILE* file, std::int64_t offset)
{
#if defined(_WIN32)
    return ::_fseeki64(file, offset, SEEK_SET);
#else
    return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

// -1 with errno on failure.
inline std::int64_t SysFileTell(std::FILE* file)
{
#if defined(_WIN32)
    return ::_ftelli64(file);
#else
    return ::ftello(file);
#endif
}

// seconds since 1970 as the local time: false when it cannot be told.
inline bool SysLocalTime(std::int64_t seconds, std::tm* local)
{
#if defined(_WIN32)
    const __time64_t t = seconds;
    return ::_localtime64_s(local, &t) == 0;
#else
    const auto t = static_cast<std::time_t>(seconds);
    return ::localtime_r(&t, local) != nullptr;
#endif
}

// A time of day read as UTC, in seconds since 1970.
inline std::int64_t SysTimeGm(std::tm* utc)
{
#if defined(_WIN32)
    return ::_mkgmtime64(utc);
#else
    return ::timegm(utc);
#endif
}

// A result dropped on purpose, where a failure changes nothing the caller could act on
// (a best effort); named so that every such place can be found.
template <typename T> inline void IgnoreResult(const T& /*result*/)
{
}
