#pragma once

#include "system_files.h"

#include <cstdlib>
#include <filesystem>
#include <string>

// A fresh folder for one test, removed afterwards.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag)
    {
        const char* env = std::getenv("VANTREL_TEST_TMP");
        m_path = env != nullptr && *env != '\0' ? std::filesystem::path(env)
                                                : std::filesystem::temp_directory_path();
        m_path /= "filelist_" + tag + "_" + std::to_string(sysfiles::ProcessId());
        sysfiles::RemoveTree(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder()
    {
        sysfiles::RemoveTree(m_path);
    }
    const std::filesystem::path& Path() const { return m_path; }
    std::string Str() const { return m_path.string(); }
    // A file inside, by its bytes (any name, code page 932 ones on Windows too).
    std::string File(const std::string& name) const { return sysfiles::Join(Str(), name); }

private:
    std::filesystem::path m_path;
};
