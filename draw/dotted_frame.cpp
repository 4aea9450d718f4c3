#include "app/vantrel_app.h"

// DrawDottedFrame: yellow dots where the running coordinate is odd, so neighbouring
// rows' frames interleave rather than merge.
void CVantrelApp::DrawDottedFrame(CDC* pDC, CRect rc)
{
    const int nOldMode = pDC->SetBkMode(TRANSPARENT);
    CPen pen(PS_SOLID, 1, RGB(255, 255, 0));
    CPen* pOldPen = pDC->SelectObject(&pen);

    const int R1 = rc.right - 1;
    for (int x = rc.left; x < R1; ++x) {
        if (x % 2 != 0) {
            pDC->MoveTo(x, rc.top);
            pDC->LineTo(x + 1, rc.top);
            pDC->MoveTo(x, rc.bottom);
            pDC->LineTo(x + 1, rc.bottom);
        }
    }
    for (int y = rc.top; y < rc.bottom; ++y) {
        if (y % 2 != 0) {
            pDC->MoveTo(rc.left, y);
            pDC->LineTo(rc.left, y + 1);
            pDC->MoveTo(R1, y);
            pDC->LineTo(R1, y + 1);
        }
    }

    pDC->SelectObject(pOldPen);
    pDC->SetBkMode(nOldMode);
}
