#include "draw/fit_text.h"

#include <algorithm>

namespace {

// The font of the text's full height in rc.
CLogFont FullHeightFont(const CRect& rc, const CFitTextStyle& style)
{
    CLogFont lf;
    lf.lfHeight = rc.Height() - 3;
    lf.lfWeight = style.m_bBold == 1 ? FW_BOLD : 0;
    lf.lfItalic = style.m_bItalic == 1 ? 1 : 0;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfFaceName = style.m_strFaceName;
    return lf;
}

}  // namespace

bool TextFitsWhole(CDC* pDC, CRect rc, const std::string& text, const CFitTextStyle& style)
{
    CFont font;
    font.CreateFontIndirect(FullHeightFont(rc, style));
    CFont* pOldFont = pDC->SelectObject(&font);
    const bool fits = pDC->GetTextExtent(text).cx <= rc.Width();
    pDC->SelectObject(pOldFont);
    return fits;
}

namespace {

// The text's extent at the font's height, on the attribute device.
CSize Extent(CDC* pDC, const CLogFont& lf, const std::string& text)
{
    CFont font;
    font.CreateFontIndirect(lf);
    CFont* pOldFont = pDC->SelectObject(&font);
    const CSize ext = pDC->GetTextExtent(text);
    pDC->SelectObject(pOldFont);
    return ext;
}

}  // namespace

// The largest height, from the rectangle's height minus 3 down to 2, at which the whole
// text fits. A text grows about in proportion to its height: one measure at the full
// height tells about where it fits, and a few steps from there find the height, so a
// text that fits at none is known after two measures, not one per height.
void DrawFitText(CDC* pDC, CRect rc, const std::string& text, const CFitTextStyle& style)
{
    const int nOldMode = pDC->SetBkMode(TRANSPARENT);
    const int W = rc.Width();
    const int H = rc.Height();

    CLogFont lf = FullHeightFont(rc, style);
    const int full = lf.lfHeight;
    bool fits = false;
    CSize ext;
    if (full > 1) {
        ext = Extent(pDC, lf, text);
        fits = ext.cx <= W;
    }
    if (full > 2 && !fits) {
        const long long guess = ext.cx > 0 ? static_cast<long long>(full) * std::max(W, 0) / ext.cx : full - 1;
        lf.lfHeight = static_cast<int>(std::clamp<long long>(guess, 2, full - 1));
        ext = Extent(pDC, lf, text);
        fits = ext.cx <= W;
        // Up while the next height still fits; down until one does.
        for (CLogFont next = lf; fits && next.lfHeight + 1 < full;) {
            ++next.lfHeight;
            const CSize wider = Extent(pDC, next, text);
            if (wider.cx > W)
                break;
            lf = next;
            ext = wider;
        }
        while (!fits && lf.lfHeight > 2) {
            --lf.lfHeight;
            ext = Extent(pDC, lf, text);
            fits = ext.cx <= W;
        }
    }
    if (fits) {
        CFont font;
        font.CreateFontIndirect(lf);
        CFont* pOldFont = pDC->SelectObject(&font);
        const int y = rc.top + (H - ext.cy) / 2;
        int x;
        if (style.m_nAlign == 0)
            x = rc.left + (W - ext.cx) / 2;
        else if (style.m_nAlign == 1)
            x = rc.left + 2;
        else
            x = rc.right - ext.cx - 2;
        pDC->SetTextColor(style.m_crTextColor);
        pDC->TextOut(x, y, text);
        pDC->SelectObject(pOldFont);
    }

    pDC->SetBkMode(nOldMode);
}
