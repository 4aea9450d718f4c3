#pragma once

#include <string>

// The work file "WkFile.txt", in a folder private to this process (mode 0700, under
// $XDG_RUNTIME_DIR or the temporary folder), removed with its folder on Remove() or
// destruction. A "WkFile.txt" of the user's own is never touched.
class CWorkFile {
public:
    CWorkFile() = default;
    ~CWorkFile();
    CWorkFile(const CWorkFile&) = delete;
    CWorkFile& operator=(const CWorkFile&) = delete;

    // Path of the work file; the private folder is made on first use. "" when it
    // cannot be made.
    const std::string& Path();
    const std::string& Folder() const { return m_strFolder; }
    void Remove();

private:
    std::string m_strFolder;
    std::string m_strPath;
};
