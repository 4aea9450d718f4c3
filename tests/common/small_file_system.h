#pragma once

// A file system of a test's own, small enough to run out of room in: a tmpfs, which only
// root can mount on Linux; Windows has none to mount. Gone again with the object.

#if !defined(_WIN32)
#include <sys/mount.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <string>

class CSmallFileSystem {
public:
#if defined(_WIN32)
    static constexpr const char* kWhyNot = "Windows has no small file system a test can mount";
#else
    static constexpr const char* kWhyNot = "a small file system needs root to mount";
#endif

    CSmallFileSystem(const std::string& folder, [[maybe_unused]] const std::string& size) : m_folder(folder)
    {
        std::filesystem::create_directories(folder);
#if !defined(_WIN32)
        m_mounted = ::geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
#endif
    }
    ~CSmallFileSystem()
    {
#if !defined(_WIN32)
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
#endif
    }
    CSmallFileSystem(const CSmallFileSystem&) = delete;
    CSmallFileSystem& operator=(const CSmallFileSystem&) = delete;

    bool Mounted() const
    {
        return m_mounted;
    }

private:
    std::string m_folder;
    bool m_mounted = false;
};
