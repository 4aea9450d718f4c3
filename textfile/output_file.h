#pragma once

#include <string>

// The rules for every file the program writes for the user (CSV, PDF): the output is
// written beside its target under a short fresh name and takes the target's place only
// when complete, so a failure leaves an earlier file as it was. Only a regular file the
// user may write is replaced; through a link, the file it names is written and the link
// kept; a folder, fifo, device or socket is refused. A new file gets the mode the umask
// gives; a replaced one keeps its own. On Windows, which keeps no mode bits, a read-only
// file is refused and so is one another program holds open; a replaced file keeps its
// hidden and system attributes.

// Where an output goes.
struct OutputTarget {
    std::string path;  // the file to create or replace: a link's target for a link
    bool exists = false;
    unsigned mode = 0;  // the mode the output gets
};

// 0 when path may take an output (target filled in), else the errno that refuses it.
int CheckOutputTarget(const std::string& path, OutputTarget* target);

// Puts the complete file at temp in the place of path, checked again now: its mode
// set, synced, renamed over the target. 0 or the errno; temp is gone either way.
int PlaceOutput(const std::string& temp, const std::string& path);

// True when the file at path holds a whole PDF: flushed to the disk, not empty, and
// its trailer's "%%EOF" in its last kilobyte. A writer that failed half-way leaves
// none of these for sure.
bool PdfComplete(const std::string& path);

// An output being written: a fresh file beside the target, made only for this.
class COutputFile {
public:
    COutputFile() = default;
    ~COutputFile();
    COutputFile(const COutputFile&) = delete;
    COutputFile& operator=(const COutputFile&) = delete;

    // Checks the target and creates the temporary file; 0 or the errno.
    int Begin(const std::string& path);
    // The temporary file, open for writing until Commit or Abandon.
    int Fd() const { return m_fd; }
    const std::string& TempPath() const { return m_strTemp; }
    // Syncs and closes the temporary file and puts it in the target's place; 0 or the
    // errno. The temporary file is gone either way.
    int Commit();
    // Removes the temporary file; the target stays as it was.
    void Abandon();

private:
    void Close();

    std::string m_strPath;
    std::string m_strTemp;
    int m_fd = -1;
};
