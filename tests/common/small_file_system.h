#pragma once

// A file system of a test's own, small enough to run out of room in: a tmpfs, which only
// root can mount. Gone again with the object.

#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <string>

class CSmallFileSystem {
public:
    CSmallFileSystem(const std::string& folder, const std::string& size) : m_folder(folder)
    {
        std::filesystem::create_directories(folder);
        m_mounted = ::geteuid() == 0 && ::mount("tmpfs", folder.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~CSmallFileSystem()
    {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    CSmallFileSystem(const CSmallFileSystem&) = delete;
    CSmallFileSystem& operator=(const CSmallFileSystem&) = delete;

    bool Mounted() const { return m_mounted; }

private:
    std::string m_folder;
    bool m_mounted = false;
};
