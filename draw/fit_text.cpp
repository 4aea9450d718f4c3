#include "draw/fit_text.h"

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

// One font per height tried, from the rectangle's height minus 3 down to 2.
void DrawFitText(CDC* pDC, CRect rc, const std::string& text, const CFitTextStyle& style)
{
    const int nOldMode = pDC->SetBkMode(TRANSPARENT);
    const int W = rc.Width();
    const int H = rc.Height();

    CLogFont lf = FullHeightFont(rc, style);

    while (lf.lfHeight > 1) {
        CFont font;
        font.CreateFontIndirect(lf);
        CFont* pOldFont = pDC->SelectObject(&font);
        const CSize ext = pDC->GetTextExtent(text);
        if (ext.cx <= W) {
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
            break;
        }
        pDC->SelectObject(pOldFont);
        --lf.lfHeight;
    }

    pDC->SetBkMode(nOldMode);
}
