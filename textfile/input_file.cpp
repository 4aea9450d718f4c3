#include "textfile/input_file.h"

#include "textfile/error_text.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

#if defined(_WIN32)
#include "textfile/ansi_names.h"

#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#if defined(_WIN32)
using FileStat = struct _stat64;
#ifndef S_ISREG
#define S_ISREG(m) (((m)&_S_IFMT) == _S_IFREG)
#endif
#ifndef S_ISDIR
#define S_ISDIR(m) (((m)&_S_IFMT) == _S_IFDIR)
#endif
#else
using FileStat = struct stat;
#endif

std::error_code Refusal(const FileStat& st)
{
    if (S_ISREG(st.st_mode))
        return {};
    return S_ISDIR(st.st_mode) ? IoReason::FolderInput : IoReason::NotRegularFile;
}

}  // namespace

std::error_code OpenInputFile(const std::string& path, int* fd, std::int64_t* length, std::int64_t* modified)
{
    *fd = -1;
    if (path.find('\0') != std::string::npos)
        return SystemError(ENOENT);
    FileStat st{};
#if defined(_WIN32)
    // A device name ("NUL", "COM1") has no attributes to look at: its descriptor says what it is.
    const std::wstring wide = WideName(path);
    if (::_wstat64(wide.c_str(), &st) == 0 && Refusal(st))
        return Refusal(st);
    const int opened = ::_wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
#else
    if (::stat(path.c_str(), &st) != 0)
        return SystemError(errno);
    if (const std::error_code refused = Refusal(st))
        return refused;
    // Without blocking or a controlling terminal, should the name name another file by now.
    const int opened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
#endif
    if (opened < 0)
        return SystemError(errno != 0 ? errno : ENOENT);
    FileStat now{};
#if defined(_WIN32)
    const int checked = ::_fstat64(opened, &now);
#else
    const int checked = ::fstat(opened, &now);
#endif
    const std::error_code err = checked != 0 ? SystemError(errno) : Refusal(now);
    if (err) {
        CloseInputFile(opened);
        return err;
    }
    *fd = opened;
    *length = static_cast<std::int64_t>(now.st_size);
    if (modified != nullptr)
        *modified = static_cast<std::int64_t>(now.st_mtime);
    return {};
}

void CloseInputFile(int fd)
{
#if defined(_WIN32)
    ::_close(fd);
#else
    ::close(fd);
#endif
}
