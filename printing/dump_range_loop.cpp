#include "printing/dump_range_loop.h"

#include "printing/dump_page_painter.h"
#include "printing/print_range.h"

#include <string>
#include <vector>

DumpStatus PrintDumpRange(DumpJob& job, DumpPages range, std::int64_t pageLimit, CDC* pDC, CDumpPagePainter& painter,
                          const PageStart& start)
{
    const PageRangeCheck check =
        CheckPageRange(false, std::to_string(range.first), std::to_string(range.last), pageLimit);
    if (!check.ok) {
        job.message = check.message;
        return DumpStatus::OutOfRange;
    }
    std::vector<std::string> lines;
    for (std::int64_t page = range.first; page <= range.last; ++page) {
        if (!start(page))
            return DumpStatus::Cancelled;
        // The lookup seeks straight to the page: page 10,000 costs what page 1 costs.
        if (job.ReadPage(page, lines))
            painter.Draw(pDC, lines);
    }
    return DumpStatus::Done;
}
