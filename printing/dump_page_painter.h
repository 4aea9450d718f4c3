#pragma once

#include "framework/cdc.h"

#include <string>
#include <vector>

// One dump page on paper: the lines of a page at fixed millimetre positions (left
// margin 15 mm, first line 8 mm, pitch and cell height 3 mm) in "ＭＳ 明朝", the same
// for the printer, the preview and vantrel-dump --pdf.

// Printer pixels for a length on paper: vertical resolution x millimetres / 25.4, unrounded.
double MmToPixels(CDC* pDC, double mm);
// Where a dump page's lines go in printer pixels, and their font.
struct DumpPageLayout {
    int x = 0;  // left edge of every line
    int y0 = 0;  // top of the header line
    int h = 0;  // line pitch and cell height
    CLogFont font;
};
DumpPageLayout DumpPageLayoutFor(CDC* pDC);

// The drawing of a job's dump pages: the layout and the font are made once, for the
// job's device, and every page is only drawn.
class CDumpPagePainter {
public:
    void Prepare(CDC* pDC);
    bool Prepared() const { return m_bPrepared; }
    // Draws one dump page (header first) on a device of the prepared resolution.
    void Draw(CDC* pDC, const std::vector<std::string>& lines);

private:
    DumpPageLayout m_layout;
    CFont m_font;
    bool m_bPrepared = false;
};

// One page on its own (a test, a fuzzer): prepared and drawn.
void DrawDumpPage(CDC* pDC, const std::vector<std::string>& lines);
