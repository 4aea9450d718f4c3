#pragma once

#include "textfile/io_error.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The rules for every file the program writes for the user (CSV, PDF): the output is
// written beside its target under a short fresh name and takes the target's place only
// when complete, so a failure leaves an earlier file as it was. Only a regular file the
// user may write is replaced; through a link, the file it names is written and the link
// kept; in a folder others may write (anyone, or the group of a sticky one) a link is
// followed, and a file replaced, only when the user or the folder's owner owns it; a
// folder, fifo, device or socket is refused. A new file gets the mode the umask gives; a
// replaced one keeps its own without the setuid, setgid and sticky bits, its access ACL
// (its group bits from the ACL's group entry, never its mask), and, replaced by root,
// its owner and group. Extended attributes of the user's (user.*) are not carried over:
// they described what the file held before. The temporary file is
// locked while its writer lives; the next output beside it removes one nobody holds.
// On Windows, which keeps no mode bits, a read-only file is refused and so is one
// another program holds open; a replaced file keeps its hidden and system attributes.

// Where an output goes.
struct OutputTarget {
    std::string path;  // the file to create or replace: a link's target for a link
    bool exists = false;
    unsigned mode = 0;  // the mode the output gets
    // Root replacing another's file hands the new one to the old one's owner and group.
    bool keepOwner = false;
    unsigned owner = 0;
    unsigned group = 0;
    // A replaced file's access ACL as the system stores it (Linux), kept by the new file.
    std::string acl;
};

// Nothing when path may take an output (target filled in), else why not: the system's
// reason, or IoReason::NotRegularFile, ForeignLink or ForeignFile.
[[nodiscard]] std::error_code CheckOutputTarget(const std::string& path, OutputTarget* target);

// Puts the complete file at temp, made beside path by another writer, in the place of
// path, as COutputFile::Commit does; temp is gone either way.
[[nodiscard]] std::error_code PlaceOutput(const std::string& temp, const std::string& path);

// Which file a name or an open file is: device and inode, on Windows volume and index.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t index = 0;
};
// A link followed; none when nothing is there.
std::optional<FileId> FileIdOf(const std::string& path);
std::optional<FileId> FileIdOf(int fd);
// The first of inputs that is the file id names, under any name (a link, a hard link);
// "" when none is.
std::string InputThatIs(const FileId& id, const std::vector<std::string>& inputs);

// Takes the lock of a file this process made, without waiting: a process holds it on
// its work folder and temporary outputs while it lives, and a later run removes only
// those whose lock it can take (flock; LockFileEx on Windows). False when another
// holds it or it cannot be had.
[[nodiscard]] bool TryLockFile(int fd);

// Makes what the file at path holds durable on the disk (a full disk may show only now)
// and reads its last tailSize bytes into tail. Fails when it cannot be opened, flushed
// or read, or is empty.
[[nodiscard]] std::error_code SyncFileToDisk(const std::string& path, std::size_t tailSize, std::string* tail);

// Why the file open as fd takes no more bytes, when a writer that keeps its errors to
// itself (Qt's) has failed: what one more byte at its end meets now (EFBIG under a
// file-size limit, ENOSPC on a full disk), the byte taken back; nothing when it is taken.
std::error_code WhyNoMoreBytes(int fd);

// An output being written: a fresh file beside the target, made only for this.
class COutputFile {
public:
    COutputFile() = default;
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Checks the target and creates the temporary file, locked; temporaries a killed
    // run left beside it go.
    [[nodiscard]] std::error_code Begin(const std::string& path);
    // The temporary file, open for writing until Commit or Abandon.
    int Fd() const { return m_fd; }
    const std::string& TempPath() const { return m_strTemp; }
    // Checks the target again, gives the temporary file its mode, syncs it and puts it
    // in the target's place. The temporary file is gone either way.
    [[nodiscard]] std::error_code Commit();
    // Removes the temporary file; the target stays as it was.
    void Abandon();

private:
    void Close();

    std::string m_strPath;
    std::string m_strTemp;
    int m_fd = -1;
};
