#include "textfile/ansi_names.h"

#if defined(_WIN32)

#include <windows.h>

#include <shellapi.h>

#include <cerrno>
#include <cwchar>

std::FILE* OpenStream(const std::string& path, const char* mode)
{
    const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
    return ::_wfopen(WideName(path).c_str(), wideMode.c_str());
}

CAnsiArguments::CAnsiArguments(int& argc, char**& argv)
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr)
        return;
    for (int i = 0; i < count; ++i)
        m_args.push_back(AnsiName(wide[i], std::wcslen(wide[i])));
    ::LocalFree(wide);
    for (std::string& arg : m_args)
        m_argv.push_back(arg.data());
    m_argv.push_back(nullptr);
    argc = count;
    argv = m_argv.data();
}

std::filesystem::path ToFileSystemPath(const std::string& name)
{
    return std::filesystem::path(WideName(name));
}

std::string FromFileSystemPath(const std::filesystem::path& path)
{
    return AnsiName(path.native());
}

std::wstring WideName(const std::string& name)
{
    if (name.empty())
        return {};
    const int size = static_cast<int>(name.size());
    const int wide = ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, nullptr, 0);
    if (wide <= 0)
        return {};
    std::wstring out(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, name.data(), size, out.data(), wide);
    return out;
}

std::string AnsiName(const wchar_t* name, std::size_t size)
{
    if (size == 0)
        return {};
    const int wide = static_cast<int>(size);
    // A system whose ANSI code page is UTF-8 holds every name and takes neither setting.
    const bool utf8 = ::GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* fallback = utf8 ? nullptr : "?";
    const int bytes = ::WideCharToMultiByte(CP_ACP, flags, name, wide, nullptr, 0, fallback, nullptr);
    if (bytes <= 0)
        return std::string(size, '?');
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, flags, name, wide, out.data(), bytes, fallback, nullptr);
    return out;
}

std::string AnsiName(const std::wstring& name)
{
    return AnsiName(name.data(), name.size());
}

std::size_t PathNameStart(const std::string& path)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i];
        if (::IsDBCSLeadByte(static_cast<BYTE>(c)) && i + 1 < path.size()) {
            ++i;
        } else if (c == '\\' || c == '/' || c == ':') {
            start = i + 1;
        }
    }
    return start;
}

std::vector<std::size_t> CharacterStarts(const std::string& text)
{
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < text.size(); ++i) {
        starts.push_back(i);
        if (::IsDBCSLeadByte(static_cast<BYTE>(text[i])) && i + 1 < text.size())
            ++i;
    }
    return starts;
}

std::string WithSeparator(const std::string& folder)
{
    return folder.empty() || PathNameStart(folder) == folder.size() ? folder : folder + '\\';
}

int ErrnoFromSystem(unsigned long error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_INVALID_NAME:
        return EINVAL;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EBUSY;  // another program holds the file open
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_DIRECTORY:
        return ENOTDIR;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

#else

CAnsiArguments::CAnsiArguments(int&, char**&)
{
}

std::filesystem::path ToFileSystemPath(const std::string& name)
{
    return std::filesystem::path(name);
}

std::string FromFileSystemPath(const std::filesystem::path& path)
{
    return path.native();
}

std::FILE* OpenStream(const std::string& path, const char* mode)
{
    return std::fopen(path.c_str(), mode);
}

std::size_t PathNameStart(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

#endif
