#pragma once

#include "filelist/file_entry.h"

#include <cstdint>
#include <string>
#include <vector>

// The folder's file list and the printed-files memory, as the view holds them.
class CFileListModel {
public:
    std::string m_strFolder;
    std::vector<FileEntry> m_aFiles;  // in name order
    std::vector<PrintedFile> m_aPrinted;  // only grows

    // Adds every regular file (or link to one) that the pattern's folder holds, in
    // name order; equal names keep the order they were found in. False when the
    // search could not start (pattern "", folder missing or unreadable).
    bool ScanFolder(const std::string& pattern);
    // Inserts one entry at its sorted place, after names that compare equal.
    void AddFileEntry(std::string name, std::int64_t size);

    // Empties the list and scans m_strFolder; false when the folder could not be read.
    bool ListFolder();
    // Remembers the printed entries of the current list under oldFolder.
    void RememberPrinted(const std::string& oldFolder);
    // Sets nPrinted of every entry that the memory holds for m_strFolder.
    void RestorePrinted();
    // Flags a printed file by its folder and name: on the list when the list shows it,
    // else in the memory, so that the flag is back when its folder is listed again.
    void MarkPrinted(const std::string& folder, const std::string& name);

    std::int64_t MarkedPages() const;  // sum of nPages over marked entries
    int MarkedCount() const;
    int FirstMarked() const;  // -1 when none
    int LastMarked() const;  // -1 when none
    int NextMarkedAfter(int index) const;  // -1 when none
    void SetAllMarks(int value);
};
