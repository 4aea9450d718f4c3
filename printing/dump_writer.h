#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <system_error>

class CTextFileWriter;

inline constexpr int kPreviewPages = 5;

// Called at the start of every page: pump lets the window handle waiting events,
// then cancelRequested ends the dump when it returns true.
struct DumpHooks {
    std::function<void()> pump;
    std::function<bool()> cancelRequested;
    // Bytes the output may take, -1 for no limit: a dump that needs more writes nothing.
    std::int64_t available = -1;
    // Computes the SHA-256 of the bytes the pages show, as they are read.
    bool digest = false;
};

// How a file's dump, and its print job, ended.
enum class DumpStatus {
    Done,
    SourceOpenFailed,  // "ファイルオープン失敗[%s]"; nothing written
    ReadFailed,  // "ファイル読み込み失敗[%s]": a read error, or the file ended early
    NoRoom,  // the text needs more than DumpHooks::available; nothing written
    WriteFailed,  // the output (a job's work file) could not be written: no dump can be now
    Cancelled,  // stopped at a page start; what came before stays written
    OutOfRange,  // a job's page range beyond the file's pages: no page drawn
};

// The pages a dump writes: first..last, last cut to the file's page total.
struct DumpPages {
    std::int64_t first = 1;
    std::int64_t last = std::numeric_limits<std::int64_t>::max();
};

struct DumpResult {
    DumpStatus status = DumpStatus::Done;
    std::int64_t length = 0;  // measured at the start
    std::int64_t pageTotal = 0;  // from that length
    std::int64_t pagesWritten = 0;
    std::uint64_t textSize = 0;  // bytes of the text of the pages asked for
    std::error_code error;  // why it failed
    // The pages asked for, cut to the page total, and the bytes they show.
    std::int64_t firstPage = 1;
    std::int64_t lastPage = 0;
    std::int64_t firstByte = 0;
    std::int64_t endByte = 0;
    std::string sha256;  // of those bytes, in hexadecimal; with DumpHooks::digest only
    std::int64_t modified = 0;  // the file's modification time when it was opened, in seconds since 1970
};

// Writes the dump text of the file at path: an empty first line, then per page its
// header (naming path), an empty line, the column header and groups of 16 dump lines.
// Only the pages asked for are written, the source read from the first one's first
// byte; the text of a page is the same as in a whole dump. Reads the length measured
// at the start and no further; fewer bytes than that (a file that shrank) or a read
// error is a failure. Memory stays constant whatever the file size.
[[nodiscard]] DumpResult WriteDumpFile(const std::string& path, CTextFileWriter& out, DumpPages pages,
                                       const DumpHooks& hooks = {});
// With preview nonzero only the first kPreviewPages pages, else all.
[[nodiscard]] DumpResult WriteDumpFile(const std::string& path, CTextFileWriter& out, int preview,
                                       const DumpHooks& hooks = {});

// What a job's PDF records of one printed file, each fact apart: the path, the file's
// length and modification time, the pages and the SHA-256 of the bytes they show, with
// where those bytes lie, so the record can be checked against the file (sha256sum, or
// tail -c and head -c for a range).
struct DumpRecord {
    std::string path;  // as the header shows it
    std::int64_t length = 0;
    std::string modified;  // local time with its offset from UTC, as ISO 8601 writes it
    std::int64_t firstPage = 1, lastPage = 0, pageTotal = 0;
    std::int64_t firstByte = 0, byteCount = 0;
    std::string sha256;
};
DumpRecord DumpRecordOf(const std::string& path, const DumpResult& result);
// The record as one line of a PDF's subject. The path comes last: whatever a name
// holds, the fields before it are the record's own.
std::string DumpSubject(const DumpRecord& record);
// seconds since 1970 as local time with its offset from UTC: 2024-05-01T12:34:56+09:00.
std::string IsoLocalTime(std::int64_t seconds);

// "ファイルオープン失敗[path]", with the reason for err (when there is one) on a second line.
std::string FileOpenFailedMessage(const std::string& path, std::error_code err = {});
// "ファイル読み込み失敗[path]", with the reason for err (when there is one) on a second line.
std::string FileReadFailedMessage(const std::string& path, std::error_code err = {});
