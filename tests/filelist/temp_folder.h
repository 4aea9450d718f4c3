#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

// A fresh folder for one test, removed afterwards.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag)
    {
        const char* env = std::getenv("VANTREL_TEST_TMP");
        m_path = env != nullptr && *env != '\0' ? std::filesystem::path(env)
                                                : std::filesystem::temp_directory_path();
        m_path /= "filelist_" + tag + "_" + std::to_string(::getpid());
        std::filesystem::remove_all(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    const std::filesystem::path& Path() const { return m_path; }
    std::string Str() const { return m_path.string(); }

private:
    std::filesystem::path m_path;
};
