#include "framework/dialog_units.h"

#include "framework/qt_text.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

// MulDiv: a * b / c rounded half away from zero.
int MulDiv(int a, int b, int c)
{
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

}  // namespace

QFont DialogTemplateFont(const char* face, int pointSize)
{
    QFont font(ToQt(face));
    const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    const int dpi = screen ? static_cast<int>(std::lround(screen->logicalDotsPerInchY())) : 96;
    // A template's point size is an em of pointSize * dpi / 72 pixels, rounded.
    font.setPixelSize(std::max(1, MulDiv(pointSize, dpi, 72)));
    return font;
}

QSize DialogBaseUnits(const QFont& font)
{
    const QFontMetrics fm(font);
    const int extent = fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // Windows: (extent / 26 + 1) / 2, the average over 52 rounded half up.
    const int baseX = (extent / 26 + 1) / 2;
    const int baseY = fm.ascent() + fm.descent();
    return QSize(std::max(1, baseX), std::max(1, baseY));
}

QRect DialogUnitsToPixels(const QFont& font, int x, int y, int cx, int cy)
{
    const QSize base = DialogBaseUnits(font);
    const int left = MulDiv(x, base.width(), 4);
    const int top = MulDiv(y, base.height(), 8);
    const int right = MulDiv(x + cx, base.width(), 4);
    const int bottom = MulDiv(y + cy, base.height(), 8);
    return QRect(left, top, right - left, bottom - top);
}
