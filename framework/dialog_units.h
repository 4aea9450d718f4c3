#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

// Dialog templates give controls in dialog units of the dialog's font. As Windows
// does: the horizontal base unit is the average width of A-Z a-z (the extent of the
// 52 letters over 52, rounded), the vertical one the font's height (ascent plus
// descent); x pixels = x * baseX / 4, y pixels = y * baseY / 8, each rounded.

// The font a template names: face and point size on the screen (UTF-8 face name).
QFont DialogTemplateFont(const char* face, int pointSize);
// Horizontal and vertical base units of a dialog font.
QSize DialogBaseUnits(const QFont& font);
// A dialog-unit rectangle (left, top, width, height) in pixels; each edge is mapped
// on its own, as MapDialogRect does.
QRect DialogUnitsToPixels(const QFont& font, int x, int y, int cx, int cy);
