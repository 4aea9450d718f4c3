#include "filelist/list_marking.h"

#include <algorithm>

namespace {

int Count(const std::vector<FileEntry>& files)
{
    return static_cast<int>(files.size());
}

// The entry of a visible row, or -1 when the row shows no entry.
int VisibleEntry(const std::vector<FileEntry>& files, int topRow, int visibleRows, int row)
{
    if (row < 0 || row >= visibleRows)
        return -1;
    const int i = topRow + row;
    return i >= 0 && i < Count(files) ? i : -1;
}

}  // namespace

bool ApplyClick(std::vector<FileEntry>& files, int topRow, int visibleRows, int row, unsigned flags)
{
    // A click on an empty list returns at once: nothing to mark, nothing to repaint.
    if (files.empty())
        return false;
    if (flags & MK_CONTROL) {
        // Rows are tried on past the visible ones; the caller's rows area bounds the point.
        const int i = row < 0 ? -1 : topRow + row;
        if (i < 0 || i >= Count(files))
            return false;
        files[static_cast<size_t>(i)].nMark = files[static_cast<size_t>(i)].nMark == 1 ? 0 : 1;
        return true;
    }
    if (flags & MK_SHIFT) {
        int marked = 0;
        int anchor = -1;
        for (int i = 0; i < Count(files); ++i) {
            FileEntry& e = files[static_cast<size_t>(i)];
            if (e.nMark == 1) {
                ++marked;
                anchor = i;
            }
            e.nMark = 0;
        }
        const int hit = VisibleEntry(files, topRow, visibleRows, row);
        if (hit < 0)
            return true;
        const int from = marked == 1 ? std::min(anchor, hit) : hit;
        const int to = marked == 1 ? std::max(anchor, hit) : hit;
        for (int i = from; i <= to; ++i)
            files[static_cast<size_t>(i)].nMark = 1;
        return true;
    }
    for (FileEntry& e : files)
        e.nMark = 0;
    const int hit = VisibleEntry(files, topRow, visibleRows, row);
    if (hit >= 0)
        files[static_cast<size_t>(hit)].nMark = 1;
    return true;
}

KeyOutcome ApplyKey(std::vector<FileEntry>& files, int& topRow, int visibleRows, unsigned vk)
{
    KeyOutcome out;
    const int count = Count(files);
    int marked = 0;
    int last = -1;
    for (int i = 0; i < count; ++i) {
        if (files[static_cast<size_t>(i)].nMark == 1) {
            ++marked;
            last = i;
        }
    }

    if (vk == VK_PRIOR || vk == VK_NEXT) {
        topRow =
            vk == VK_PRIOR ? std::max(0, topRow - visibleRows) : std::min(topRow + visibleRows, count - visibleRows);
        out.updateScrollBar = true;
        out.repaint = true;
        return out;
    }
    if (last == -1 || marked != 1)
        return out;

    switch (vk) {
    case VK_ESCAPE:
        out.cancelPrint = true;
        break;
    case VK_UP:
        if (last > 0) {
            files[static_cast<size_t>(last)].nMark = 0;
            files[static_cast<size_t>(last - 1)].nMark = 1;
            if (last - 1 < topRow) {
                topRow = last - 1;
                out.updateScrollBar = true;
            }
        }
        out.repaint = true;
        break;
    case VK_DOWN:
        if (last < count - 1) {
            files[static_cast<size_t>(last)].nMark = 0;
            files[static_cast<size_t>(last + 1)].nMark = 1;
            // The new mark becomes the last visible row.
            if (topRow < last + 2 - visibleRows) {
                topRow = last + 2 - visibleRows;
                out.updateScrollBar = true;
            }
        }
        out.repaint = true;
        break;
    default:
        break;
    }
    return out;
}

int ScrollTarget(int topRow, int code, int thumbPos, int visibleRows)
{
    switch (code) {
    case SB_LINEUP:
        return topRow - 1;
    case SB_LINEDOWN:
        return topRow + 1;
    case SB_PAGEUP:
        return topRow - visibleRows;
    case SB_PAGEDOWN:
        return topRow + visibleRows;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
        return thumbPos;
    default:
        return topRow;
    }
}

int ClampTopRow(int topRow, int count, int page)
{
    const int highest = std::max(0, page >= 1 ? count - page : count - 1);
    return std::clamp(topRow, 0, highest);
}
