#pragma once

// Geometry of the list view in client pixels. Plain data so that hit tests and the
// drawing agree on every edge, and both can be checked without a window.

// Right and bottom are exclusive.
struct PixelRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    bool operator==(const PixelRect&) const = default;
};

struct ListGeometry {
    int cxClient = 0;  // W
    int cxScrollShown = 0;  // S: the scroll bar's width while it shows, else 0
    int nVisibleRows = 0;  // n
    int nNoticeHeight = 30;  // N
    int nInfoHeight = 42;  // I
    int nRowHeight = 20;  // H
    int cxNoCol = 45;
    int cxSizeCol = 125;
    int cxPagesCol = 85;
    int cxPrintedCol = 60;

    int Right() const { return cxClient - cxScrollShown - 10; }  // R
    int InfoLineHeight() const { return (nInfoHeight - 3) / 2; }  // h
    int HeadingTop() const { return nNoticeHeight + nInfoHeight; }
    int RowsTop() const { return HeadingTop() + nRowHeight; }
    int RowsBottom() const { return RowsTop() + nRowHeight * nVisibleRows; }

    // Column edges, left to right: 10, NameLeft, SizeLeft, PagesLeft, PrintedLeft, Right.
    int NameLeft() const { return 10 + cxNoCol; }
    int SizeLeft() const { return Right() - cxPrintedCol - cxPagesCol - cxSizeCol; }
    int PagesLeft() const { return Right() - cxPrintedCol - cxPagesCol; }
    int PrintedLeft() const { return Right() - cxPrintedCol; }

    PixelRect NoticeRect() const { return {0, 3, cxClient, nNoticeHeight - 4}; }
    PixelRect FolderLabelRect() const { return {10, nNoticeHeight, 90, nNoticeHeight + InfoLineHeight()}; }
    PixelRect FolderRect() const { return {90, nNoticeHeight, cxClient - 10, nNoticeHeight + InfoLineHeight()}; }
    PixelRect TotalTextRect() const
    {
        return {90, nNoticeHeight + InfoLineHeight(), cxClient - 10, nNoticeHeight + 2 * InfoLineHeight()};
    }
    // m_rcTotal: the band repainted when the marks change.
    PixelRect TotalRect() const
    {
        return {10, nNoticeHeight + InfoLineHeight(), cxClient - 10, nNoticeHeight + 2 * InfoLineHeight()};
    }
    PixelRect HeadingRect() const { return {10, HeadingTop(), Right(), RowsTop()}; }
    // m_rcList: the entry rows.
    PixelRect ListRect() const { return {10, RowsTop(), Right(), RowsBottom()}; }
    // Visible row k (from 0), across the table.
    PixelRect RowRect(int k) const
    {
        return {10, RowsTop() + k * nRowHeight, Right(), RowsTop() + (k + 1) * nRowHeight};
    }
    // Heading row, entry rows and scroll bar together.
    PixelRect SunkenFrameRect() const
    {
        return {10, HeadingTop(), cxClient - 10, HeadingTop() + nRowHeight * (nVisibleRows + 1)};
    }
    // Where the scroll bar stands: beside the heading row and the rows.
    PixelRect ScrollBarRect(int cxVScroll) const
    {
        return {cxClient - cxVScroll - 10, HeadingTop(), cxClient - 10, HeadingTop() + nRowHeight * (nVisibleRows + 1)};
    }

    // Visible row (from 0) whose band holds y, counting on past the last visible row;
    // -1 above the rows.
    int RowAt(int y) const;
};

// Entry rows that fit a client height: (cy - N - I - H - 10) / H, never below 0 (a
// negative count would turn the page keys round).
int VisibleRowsForHeight(int cy, int nNoticeHeight = 30, int nInfoHeight = 42, int nRowHeight = 20);
