#pragma once

#include "framework/cdc.h"

// A bezel of one-pixel rings around rc (outside it), so rc looks sunk into a raised
// panel: rings 1.. outward, nBand rings of crFace (0: no band at all), dark shadow
// and highlight edges from the system colours. bFill == 1 fills rc with 0x800000
// first. The pen selected before the call is selected again after it.
void DrawSunkenFrame(CDC* pDC, CRect rc, int nBand, COLORREF crFace, int bFill);
