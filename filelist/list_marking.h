#pragma once

#include "filelist/file_entry.h"

#include <vector>

// The mouse, key and scroll rules of the list view, on the entry list and the top row
// alone, so that they run and are tested without a window.

// Key-state flags of a click.
enum : unsigned { MK_SHIFT = 0x0004, MK_CONTROL = 0x0008 };

// Virtual key codes the list reacts to.
enum : unsigned { VK_ESCAPE = 0x1B, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_UP = 0x26, VK_DOWN = 0x28 };

// Scroll codes of the list's scroll bar.
enum : int {
    SB_LINEUP = 0,
    SB_LINEDOWN = 1,
    SB_PAGEUP = 2,
    SB_PAGEDOWN = 3,
    SB_THUMBPOSITION = 4,
    SB_THUMBTRACK = 5,
    SB_TOP = 6,
    SB_BOTTOM = 7,
    SB_ENDSCROLL = 8,
};

// A left click inside the rows area on visible row `row` (from 0; the entry topRow + row).
// Ctrl toggles one entry, Shift extends from the single marked entry, a plain click marks
// one entry alone; a plain or Shift click below the last entry clears the marks.
// Returns false when nothing changed and nothing needs repainting (an empty list, a Ctrl
// click below the last entry).
bool ApplyClick(std::vector<FileEntry>& files, int topRow, int visibleRows, int row, unsigned flags);

struct KeyOutcome {
    bool repaint = false;  // the rows and the total line
    bool updateScrollBar = false;
    bool cancelPrint = false;  // Escape with exactly one mark: ask the print job to stop
};

// A key press. Page Up/Down scroll whatever the marks; Up/Down move the single mark and
// keep it in view; Escape asks printing to stop. topRow may come out negative or too
// large after Page Down: the scroll state clamps it.
KeyOutcome ApplyKey(std::vector<FileEntry>& files, int& topRow, int visibleRows, unsigned vk);

// The top row a scroll code asks for, before clamping.
int ScrollTarget(int topRow, int code, int thumbPos, int visibleRows);

// The top row the scroll bar lets stand: 0 .. count - page (count - 1 when page is 0).
int ClampTopRow(int topRow, int count, int page);
