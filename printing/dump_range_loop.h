#pragma once

#include "framework/print_loop.h"
#include "printing/dump_job.h"

#include <cstdint>

class CDC;
class CDumpPagePainter;

// The pages range.first..range.last of a written job, drawn by one loop for the window,
// its preview and vantrel-dump --pdf. The range is held against pageLimit before any
// page is begun: the page total the front end promised (the list's count in the window,
// whose pages past a shrunk file's end come out blank; the dump's own in the tool).
// Outside it: OutOfRange, the job's message set, nothing drawn. Each page is begun
// by start (false: Cancelled) and drawn from the work file; a page the dump does not
// hold (an empty file's) stays blank.
DumpStatus PrintDumpRange(DumpJob& job, DumpPages range, std::int64_t pageLimit, CDC* pDC, CDumpPagePainter& painter,
                          const PageStart& start);
