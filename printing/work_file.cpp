#include "printing/work_file.h"

#include "textfile/text_file_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
    if (n == 0 || n > MAX_PATH) return {};
    std::wstring wide(buffer, n);
    if (WideName(AnsiName(wide)) != wide) {
        n = ::GetShortPathNameW(wide.c_str(), buffer, MAX_PATH + 1);
        if (n == 0 || n > MAX_PATH) return {};
        wide.assign(buffer, n);
    }
    // Its closing backslash goes while it is wide text, where no trail byte can look like one.
    while (wide.size() > 3 && wide.back() == L'\\') wide.pop_back();
    const std::string base = AnsiName(wide);
    return WideName(base) == wide ? base : std::string();
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return WithSeparator(folder) + name;
}

std::string MakePrivateFolder(const std::string& given)
{
    const std::string base = given.empty() ? DefaultBase() : given;
    if (base.empty()) return {};
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string folder =
            InFolder(base, "vantrel-" + std::to_string(::_getpid()) + "-" + std::to_string(random() % 1000000));
        if (::CreateDirectoryW(WideName(folder).c_str(), nullptr)) return folder;
        if (::GetLastError() != ERROR_ALREADY_EXISTS) return {};
    }
    return {};
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

void RemoveFolderAt(const std::string& folder)
{
    ::RemoveDirectoryW(WideName(folder).c_str());
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
    if (!given.empty()) return {given};
    std::vector<std::string> bases;
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') bases.emplace_back(tmp);
    bases.emplace_back("/var/tmp");
    bases.emplace_back("/tmp");
    return bases;
}

std::string MakePrivateFolder(const std::string& given)
{
    for (std::string pattern : BaseFolders(given)) {
        if (pattern.back() != '/') pattern += '/';
        pattern += "vantrel-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) return pattern;  // mode 0700
    }
    return {};
}

// A real folder (no link), owned by us, that nobody else may enter.
bool FolderIsOurs(const std::string& folder)
{
    struct stat st {};
    return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 07777) == 0700;
}

std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder.empty() || folder.back() == '/' ? folder + name : folder + '/' + name;
}

void RemoveFileAt(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

void RemoveFolderAt(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::remove(folder, ec);
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

std::string CWorkFile::Prepare()
{
    if (m_strFolder.empty() || !FolderIsOurs(m_strFolder)) {
        // Gone (a cleaner), or someone else's now: never used again, never removed by us.
        m_strFolder = MakePrivateFolder(m_strBase);
        m_strPath.clear();
        if (m_strFolder.empty()) return {};
        m_strPath = InFolder(m_strFolder, kWorkFileName);
    }
    RemoveFile();
    return m_strPath;
}

int CWorkFile::Create(CTextFileWriter& out)
{
    errno = 0;
#if defined(_WIN32)
    const int fd = m_strPath.empty() ? -1
                                     : ::_wopen(WideName(m_strPath).c_str(),
                                                _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                                                _S_IREAD | _S_IWRITE);
    std::FILE* stream = fd >= 0 ? ::_fdopen(fd, "wb") : nullptr;
#else
    const int fd = m_strPath.empty() ? -1
                                     : ::open(m_strPath.c_str(),
                                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
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
    ULARGE_INTEGER available {};
    if (!::GetDiskFreeSpaceExW(WideName(m_strFolder).c_str(), &available, nullptr, nullptr)) return -1;
    return static_cast<std::int64_t>(available.QuadPart);
#else
    std::error_code ec;
    const std::filesystem::space_info space = std::filesystem::space(m_strFolder, ec);
    if (ec || space.available == static_cast<std::uintmax_t>(-1)) return -1;
    return static_cast<std::int64_t>(space.available);
#endif
}

std::string CWorkFile::Where() const
{
    if (!m_strPath.empty()) return m_strPath;
    return InFolder(InFolder(BaseForMessages(m_strBase), "vantrel-XXXXXX"), kWorkFileName);
}

void CWorkFile::RemoveFile()
{
    if (!m_strPath.empty() && FolderIsOurs(m_strFolder)) RemoveFileAt(m_strPath);
}

void CWorkFile::Remove()
{
    RemoveFile();
    // Only the folder we made, and only once it is empty: never more than our own file.
    if (!m_strFolder.empty() && FolderIsOurs(m_strFolder)) RemoveFolderAt(m_strFolder);
    m_strPath.clear();
    m_strFolder.clear();
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
