#pragma once

#include "printing/dump_pages.h"
#include "printing/dump_writer.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CWorkFile;

// One file's dump for a print job, the same for the window and vantrel-dump: written into
// the work file (its folder checked, a new file made, the room checked first, the
// SHA-256 of the printed bytes computed as they are read), and the outcome with the
// message a user reads.
struct DumpJob {
    std::string message;  // for every failure
    std::string reason;  // the system's words for it, when it gave any
    DumpResult result;
    DumpGeometry geometry;  // where its pages lie in the work file
    std::string workFile;
    DumpRecord record;  // what the job's PDF says it records

    // result.status says how it ended: a failed file gets no pages and the next may
    // (unreadable, no room for its dump); a work file that cannot be written ends them all.
    bool Written() const { return result.status == DumpStatus::Done; }
    bool WorkFileFailed() const { return result.status == DumpStatus::WriteFailed; }
    // The message with its reason after joiner: a new line in a box, ": " on a terminal.
    std::string Said(const char* joiner) const { return reason.empty() ? message : message + joiner + reason; }
    // The lines of one of its pages, as the printer draws them; false when the dump does
    // not hold that page (an empty file's blank page).
    [[nodiscard]] bool ReadPage(std::int64_t page, std::vector<std::string>& lines) const
    {
        return ReadDumpPage(workFile, geometry, page, lines);
    }
};

// The reason for what the work file met, as one front end words it: the window's
// Japanese, or the command line's, which adds English.
using ReasonText = std::function<std::string(std::error_code err)>;

// Writes path's pages into work's file. hooks gives the pump and the cancel; the room and
// the digest are the job's. Unless the dump was written, the work file is gone again.
[[nodiscard]] DumpJob WriteDumpJob(CWorkFile& work, const std::string& path, DumpPages pages, DumpHooks hooks,
                                   const ReasonText& reason);
