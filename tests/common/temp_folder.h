#pragma once

#include "common/system_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// A fresh folder for one test, under VANTREL_TEST_TMP (else the system's temporary
// folder), named after the test and the process, and removed afterwards. Every test
// writes only in such folders.
class TempFolder {
public:
    // tag names the folder among those of one test; the test's own name when empty.
    explicit TempFolder(const std::string& tag = {})
    {
        const char* env = std::getenv("VANTREL_TEST_TMP");
        m_path = env != nullptr && *env != '\0' ? std::filesystem::path(env) : std::filesystem::temp_directory_path();
        std::string name = tag;
        if (name.empty()) {
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            static int count = 0;
            name = (info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : std::string("test")) +
                   "_" + std::to_string(++count);
        }
        for (char& ch : name) {
            if (ch == '/')
                ch = '_';
        }
        m_path /= "vt_" + name + "_" + std::to_string(sysfiles::ProcessId());
        sysfiles::RemoveTree(m_path);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() { sysfiles::RemoveTree(m_path); }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::string Str() const { return m_path.string(); }
    // A file inside, by its bytes (any name, code page 932 ones on Windows too).
    std::string File(const std::string& name) const { return sysfiles::Join(Str(), name); }
    std::string operator/(const std::string& name) const { return File(name); }

private:
    std::filesystem::path m_path;
};
