#pragma once

#include "framework/cdc.h"

#include <string>

// The style of the next fit-text drawing. The application object holds one (the
// pending style) and puts it back to these defaults after every call.
struct CFitTextStyle {
    COLORREF m_crTextColor = 0;
    std::string m_strFaceName = "ＭＳ Ｐゴシック";
    int m_nAlign = 0;  // 0 centre, 1 left, other right
    int m_bBold = 0;  // 1 = bold
    int m_bItalic = 0;  // 1 = italic

    void ResetTextStyle() { *this = CFitTextStyle(); }
};

// text in the largest cell height, from rc's height minus 3 down, at which the whole
// text fits rc's width, centred vertically and aligned as style says; measured on the
// attribute device, so the preview lays out as the printer does.
void DrawFitText(CDC* pDC, CRect rc, const std::string& text, const CFitTextStyle& style);

// True when DrawFitText draws text at its full height in rc: not made smaller to fit.
bool TextFitsWhole(CDC* pDC, CRect rc, const std::string& text, const CFitTextStyle& style);

// A yellow dotted outline of rc: a dot where the running coordinate is odd.
void DrawDottedFrame(CDC* pDC, CRect rc);
