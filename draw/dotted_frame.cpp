#include "draw/fit_text.h"

#include <vector>

// Each dot is the one pixel a move to (x, y) and a line to the next pixel paint; they
// are set in one batch because a wide highlighted row has hundreds of them.
void DrawDottedFrame(CDC* pDC, CRect rc)
{
    const int nOldMode = pDC->SetBkMode(TRANSPARENT);
    CPen pen(PS_SOLID, 1, RGB(255, 255, 0));
    CPen* pOldPen = pDC->SelectObject(&pen);

    const int R1 = rc.right - 1;
    std::vector<CPoint> dots;
    for (int x = rc.left; x < R1; ++x) {
        if (x % 2 != 0) {
            dots.push_back(CPoint{x, rc.top});
            dots.push_back(CPoint{x, rc.bottom});
        }
    }
    for (int y = rc.top; y < rc.bottom; ++y) {
        if (y % 2 != 0) {
            dots.push_back(CPoint{rc.left, y});
            dots.push_back(CPoint{R1, y});
        }
    }
    pDC->SetPixels(dots, pen.Color());
    // The current position ends where the last line of the pixel-by-pixel drawing
    // would leave it: one past the last dot along its side.
    if (!dots.empty()) {
        const CPoint last = dots.back();
        const bool side = last.x == R1 && last.y != rc.bottom;
        pDC->MoveTo(side ? last.x : last.x + 1, side ? last.y + 1 : last.y);
    }

    pDC->SelectObject(pOldPen);
    pDC->SetBkMode(nOldMode);
}
