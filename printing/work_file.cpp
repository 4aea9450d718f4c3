#include "printing/work_file.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#include <random>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

constexpr char kWorkFileName[] = "WkFile.txt";

std::string BaseFolder()
{
#if !defined(_WIN32)
    // The runtime folder is private to the user and cleared at logout: the better home.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime != '\0') {
        struct stat st {};
        if (::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode) && ::access(runtime, W_OK | X_OK) == 0) {
            return runtime;
        }
    }
#endif
    std::error_code ec;
    const auto temp = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : temp.string();
}

// A new folder that no other process shares; "" when none can be made.
std::string MakePrivateFolder()
{
    const std::string base = BaseFolder();
#if defined(_WIN32)
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path folder =
            std::filesystem::path(base) /
            ("vantrel-" + std::to_string(_getpid()) + "-" + std::to_string(random() % 1000000));
        std::error_code ec;
        if (std::filesystem::create_directory(folder, ec) && !ec) {
            return folder.string();
        }
    }
    return {};
#else
    std::string pattern = base;
    if (pattern.empty() || pattern.back() != '/') {
        pattern += '/';
    }
    pattern += "vantrel-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        return {};
    }
    // mkdtemp already makes it 0700; say so in case of an odd platform.
    ::chmod(buffer.data(), 0700);
    return buffer.data();
#endif
}

}  // namespace

CWorkFile::~CWorkFile()
{
    Remove();
}

const std::string& CWorkFile::Path()
{
    if (m_strPath.empty()) {
        m_strFolder = MakePrivateFolder();
        if (!m_strFolder.empty()) {
            m_strPath = (std::filesystem::path(m_strFolder) / kWorkFileName).string();
        }
    }
    return m_strPath;
}

void CWorkFile::Remove()
{
    std::error_code ec;
    if (!m_strPath.empty()) {
        std::filesystem::remove(m_strPath, ec);
    }
    if (!m_strFolder.empty()) {
        // Only the folder we made, and only once it is empty: never more than our own file.
        std::filesystem::remove(m_strFolder, ec);
    }
    m_strPath.clear();
    m_strFolder.clear();
}
