#include "app/vantrel_app.h"

// DrawFitText: the largest cell height from the rectangle's height minus 3 down to 2
// at which the whole text fits the width; one font per height tried, measured on the
// attribute device so the preview lays out as the printer does.
void CVantrelApp::DrawFitText(CDC* pDC, CRect rc, std::string text)
{
    const int nOldMode = pDC->SetBkMode(TRANSPARENT);
    const int W = rc.Width();
    const int H = rc.Height();

    CLogFont lf;
    lf.lfHeight = H - 3;
    lf.lfWeight = m_bBold == 1 ? FW_BOLD : 0;
    lf.lfItalic = m_bItalic == 1 ? 1 : 0;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfFaceName = m_strFaceName;

    while (lf.lfHeight > 1) {
        CFont font;
        font.CreateFontIndirect(lf);
        CFont* pOldFont = pDC->SelectObject(&font);
        const CSize ext = pDC->GetTextExtent(text);
        if (ext.cx <= W) {
            const int y = rc.top + (H - ext.cy) / 2;
            int x;
            if (m_nAlign == 0)
                x = rc.left + (W - ext.cx) / 2;
            else if (m_nAlign == 1)
                x = rc.left + 2;
            else
                x = rc.right - ext.cx - 2;
            pDC->SetTextColor(m_crTextColor);
            pDC->TextOut(x, y, text);
            pDC->SelectObject(pOldFont);
            break;
        }
        pDC->SelectObject(pOldFont);
        --lf.lfHeight;
    }

    pDC->SetBkMode(nOldMode);
    ResetTextStyle();
}
