#include "draw/sunken_frame.h"

#include <algorithm>

namespace {

// The four segments of ring k, each a MoveTo/LineTo pair whose end point stays
// unpainted; the right one runs a pixel lower to take the ring's corner.
struct Ring {
    CDC* dc;
    CRect rc;
    void Top(int k) const { Line(rc.left - k, rc.top - k, rc.right + k, rc.top - k); }
    void Left(int k) const { Line(rc.left - k, rc.top - k, rc.left - k, rc.bottom + k); }
    void Bottom(int k) const { Line(rc.left - k, rc.bottom + k, rc.right + k, rc.bottom + k); }
    void Right(int k) const { Line(rc.right + k, rc.top - k, rc.right + k, rc.bottom + k + 1); }
    void Line(int x0, int y0, int x1, int y1) const
    {
        dc->MoveTo(x0, y0);
        dc->LineTo(x1, y1);
    }
};

}  // namespace

void DrawSunkenFrame(CDC* pDC, CRect rc, int nBand, COLORREF crFace, int bFill)
{
    // Band widths beyond a byte are not used; keep the loops bounded.
    const int w = std::clamp(nBand, 0, 255);
    const Ring ring{pDC, rc};

    if (bFill == 1)
        pDC->FillSolidRect(rc, RGB(0, 0, 128));

    if (crFace != 0) {
        CPen pen(PS_SOLID, 1, crFace);
        CPen* pOld = pDC->SelectObject(&pen);
        for (int k = 2; k < w; ++k) {
            ring.Top(k);
            ring.Left(k);
        }
        for (int k = 0; k < w; ++k) {
            ring.Bottom(k);
            ring.Right(k);
        }
        pDC->SelectObject(pOld);
    }

    {
        CPen pen(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW));
        CPen* pOld = pDC->SelectObject(&pen);
        ring.Top(1);
        ring.Left(1);
        for (int k : {w, w + 1}) {
            ring.Bottom(k);
            ring.Right(k);
        }
        pDC->SelectObject(pOld);
    }

    {
        CPen pen(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
        CPen* pOld = pDC->SelectObject(&pen);
        for (int k : {w, w + 1}) {
            ring.Top(k);
            ring.Left(k);
        }
        ring.Bottom(1);
        ring.Right(1);
        pDC->SelectObject(pOld);
    }
}
