#pragma once

#include <cstdint>
#include <functional>
#include <string>

class CTextFileWriter;

inline constexpr int kPreviewPages = 5;

// Called at the start of every page: pump lets the window handle waiting events,
// then cancelRequested ends the dump when it returns true.
struct DumpHooks {
    std::function<void()> pump;
    std::function<bool()> cancelRequested;
};

enum class DumpStatus {
    Done,
    SourceOpenFailed,  // "ファイルオープン失敗[%s]"; nothing written
    WriteFailed,  // the output could not be written
    Cancelled,  // stopped at a page start; what came before stays written
};

struct DumpResult {
    DumpStatus status = DumpStatus::Done;
    std::int64_t length = 0;  // measured at the start
    std::int64_t pageTotal = 0;  // from that length
    std::int64_t pagesWritten = 0;
    int error = 0;  // errno of a failure
};

// Writes the dump text of the file at path: an empty first line, then per page its
// header (naming path), an empty line, the column header and groups of 16 dump lines.
// With preview nonzero only the first kPreviewPages pages are written. Reads the
// length measured at the start and no further; a file that shrinks is dumped as far as
// it could be read. Memory stays constant whatever the file size.
DumpResult WriteDumpFile(const std::string& path, CTextFileWriter& out, int preview,
                         const DumpHooks& hooks = {});

// The page header line, without its line ends.
std::string DumpPageHeader(const std::string& path, std::int64_t length, std::int64_t page,
                           std::int64_t pageTotal);

// "ファイルオープン失敗[path]"
std::string FileOpenFailedMessage(const std::string& path);
