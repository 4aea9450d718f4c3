#include "printing/dump_page_painter.h"

namespace {

constexpr double kLeftMm = 15.0;
constexpr double kTopMm = 8.0;
constexpr double kPitchMm = 3.0;

}  // namespace

double MmToPixels(CDC* pDC, double mm)
{
    return pDC->GetDeviceCaps(LOGPIXELSY) * mm * 0.03937007874015748;
}

DumpPageLayout DumpPageLayoutFor(CDC* pDC)
{
    DumpPageLayout layout;
    layout.x = static_cast<int>(MmToPixels(pDC, kLeftMm));
    layout.y0 = static_cast<int>(MmToPixels(pDC, kTopMm));
    layout.h = static_cast<int>(MmToPixels(pDC, kPitchMm));
    layout.font.lfHeight = layout.h;
    layout.font.lfCharSet = DEFAULT_CHARSET;
    layout.font.lfFaceName = "ＭＳ 明朝";
    return layout;
}

void DrawDumpPage(CDC* pDC, const std::vector<std::string>& lines)
{
    const DumpPageLayout layout = DumpPageLayoutFor(pDC);
    CFont font;
    font.CreateFontIndirect(layout.font);
    CFont* oldFont = pDC->SelectObject(&font);
    // Every line lies on blank paper, so the opaque box TextOut would fill under it
    // paints nothing new.
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    int y = layout.y0;
    for (const std::string& line : lines) {
        if (!line.empty())
            pDC->TextOutAscii(layout.x, y, line);
        y += layout.h;
    }
    pDC->SetBkMode(oldMode);
    pDC->SelectObject(oldFont);
}
