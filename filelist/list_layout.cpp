#include "filelist/list_layout.h"

int ListGeometry::RowAt(int y) const
{
    if (y < RowsTop() || nRowHeight <= 0)
        return -1;
    return (y - RowsTop()) / nRowHeight;
}

int VisibleRowsForHeight(int cy, int nNoticeHeight, int nInfoHeight, int nRowHeight)
{
    if (nRowHeight <= 0)
        return 0;
    const int n = (cy - nNoticeHeight - nInfoHeight - nRowHeight - 10) / nRowHeight;
    return n < 0 ? 0 : n;
}
