#pragma once

#include <cstdint>
#include <string>
#include <system_error>
#include <utility>

class CTextFileWriter;

// The work file "WkFile.txt", in a folder private to this process: made with mkdtemp
// (mode 0700) under $TMPDIR, else /var/tmp, else /tmp (on disk, not the RAM-backed
// runtime folder: the text is about 3.5 times the file). The folder is checked before
// every dump and made anew when it is gone or not ours; the file is created new for
// every dump, never through a link, and removed when its job ends; the folder goes
// with Remove() or destruction. A "WkFile.txt" of the user's own is never touched.
// The folder is locked while its process lives (flock on the folder; on Windows
// LockFileEx on a lock file beside it), so that a later run can tell what a killed one
// left from what a running one uses. On Windows the folder is made in the user's own
// temporary folder (GetTempPath), which only the user may enter.
class CWorkFile {
public:
    CWorkFile() = default;
    // Private folders under base instead (tests, benchmarks).
    explicit CWorkFile(std::string base) : m_strBase(std::move(base)) {}
    ~CWorkFile();
    CWorkFile(const CWorkFile&) = delete;
    CWorkFile& operator=(const CWorkFile&) = delete;

    // Makes sure the private folder is there and ours, and that no work file is left
    // in it; returns the work file's path, "" when no private folder can be had.
    [[nodiscard]] std::string Prepare();
    // Creates the work file of one dump for out: a new file, never through a link.
    // Call Prepare first.
    [[nodiscard]] std::error_code Create(CTextFileWriter& out);
    // Bytes free where the work file goes; -1 when that cannot be told.
    std::int64_t FreeBytes() const;
    const std::string& Path() const { return m_strPath; }
    // For messages: the work file, or where its folder would have been made.
    std::string Where() const;
    const std::string& Folder() const { return m_strFolder; }
    // The work file only: its job has ended.
    void RemoveFile();
    // The work file and the folder.
    void Remove();
    // The work folders of this user that no running process holds, with their work
    // files: what a kill or a power cut left where folders are made ($TMPDIR when set,
    // else /var/tmp and /tmp; the base given instead). Nothing else is touched.
    void RemoveStaleFolders() const;

private:
    void Release();

    std::string m_strBase;
    std::string m_strFolder;
    std::string m_strPath;
    int m_nLockFd = -1;  // holds the folder's lock
};

// "ワークファイルの空き容量が足りません[path]" with the bytes needed and free.
std::string NoRoomMessage(const std::string& workFile, std::uint64_t needed, std::uint64_t free);
// "ワークファイル書き込み失敗[path]"
std::string WorkFileFailedMessage(const std::string& workFile);
