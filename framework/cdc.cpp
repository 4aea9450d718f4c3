#include "framework/cdc.h"

#include "framework/qt_text.h"
#include "pdf/pdf_engine.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QPaintDevice>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <QRawFont>
#include <QTextLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <vector>

QColor ToQColor(COLORREF c)
{
    return QColor(GetRValue(c), GetGValue(c), GetBValue(c));
}

COLORREF FromQColor(const QColor& c)
{
    return RGB(c.red(), c.green(), c.blue());
}

// System colours come from the application palette (active group), so the list
// follows the desktop's theme the way the classic program followed the Windows scheme:
//   COLOR_WINDOW        -> Base             (list background)
//   COLOR_WINDOWTEXT    -> WindowText
//   COLOR_HIGHLIGHT     -> Highlight        (selected row)
//   COLOR_HIGHLIGHTTEXT -> HighlightedText
//   COLOR_BTNFACE       -> Button           (3D face)
//   COLOR_BTNSHADOW     -> Dark             (3D shadow)
//   COLOR_BTNHIGHLIGHT  -> Light            (3D highlight)
//   COLOR_3DDKSHADOW    -> Shadow           (3D dark shadow)
// Without an application (or for an unknown index) the classic Windows defaults hold.
COLORREF GetSysColor(int index)
{
    struct Entry {
        int index;
        QPalette::ColorRole role;
        COLORREF fallback;
    };
    static const Entry kMap[] = {
        {COLOR_WINDOW, QPalette::Base, RGB(255, 255, 255)},
        {COLOR_WINDOWTEXT, QPalette::WindowText, RGB(0, 0, 0)},
        {COLOR_HIGHLIGHT, QPalette::Highlight, RGB(0, 0, 128)},
        {COLOR_HIGHLIGHTTEXT, QPalette::HighlightedText, RGB(255, 255, 255)},
        {COLOR_BTNFACE, QPalette::Button, RGB(192, 192, 192)},
        {COLOR_BTNSHADOW, QPalette::Dark, RGB(128, 128, 128)},
        {COLOR_BTNHIGHLIGHT, QPalette::Light, RGB(255, 255, 255)},
        {COLOR_3DDKSHADOW, QPalette::Shadow, RGB(0, 0, 0)},
    };
    for (const Entry& e : kMap) {
        if (e.index != index)
            continue;
        if (!qGuiApp)
            return e.fallback;
        return FromQColor(QGuiApplication::palette().color(QPalette::Active, e.role));
    }
    return 0;
}

bool CPen::CreatePen(int style, int width, COLORREF color)
{
    m_nStyle = style;
    m_nWidth = width;
    m_color = color;
    return true;
}

// The glyphs of the printable ASCII characters in one font on one device, with the
// advance shaping gives each; usable only where all are the same (a fixed pitch), so the
// glyph in column i stands i advances from the start, where shaped text puts it.
struct CDC::AsciiGlyphs {
    QFont font;
    QPaintDevice* device = nullptr;
    bool usable = false;
    QRawFont rawFont;
    std::array<quint32, 128> glyph{};
    qreal advance = 0;
};

CDC::CDC(QPainter* painter, QPaintDevice* attribDevice)
    : m_pPainter(painter), m_pAttrib(attribDevice ? attribDevice : painter->device())
{
    m_pPainter->save();
    m_pPainter->setRenderHint(QPainter::Antialiasing, false);
    m_baseTransform = m_pPainter->transform();
}

CDC::~CDC()
{
    m_pPainter->restore();
}

CPoint CDC::MoveTo(int x, int y)
{
    const CPoint old = m_ptCurrent;
    m_ptCurrent = CPoint{x, y};
    return old;
}

void CDC::FillPixels(int x, int y, int cx, int cy, COLORREF color)
{
    if (cx <= 0 || cy <= 0)
        return;
    m_pPainter->fillRect(QRect(x, y, cx, cy), ToQColor(color));
}

bool CDC::LineTo(int x, int y)
{
    const CPoint from = m_ptCurrent;
    m_ptCurrent = CPoint{x, y};
    if (from.x == x && from.y == y)
        return true;
    const COLORREF color = m_pPen ? m_pPen->Color() : 0;
    const int width = m_pPen ? m_pPen->Width() : 1;

    if (width > 1) {
        // Wide pens are not used by the program; a flat-capped line is close enough.
        QPen pen(ToQColor(color), width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        m_pPainter->setPen(pen);
        m_pPainter->drawLine(from.x, from.y, x, y);
        return true;
    }

    // The end point is never painted, so lines can be chained without double pixels.
    if (from.y == y) {
        if (x > from.x)
            FillPixels(from.x, y, x - from.x, 1, color);
        else
            FillPixels(x + 1, y, from.x - x, 1, color);
        return true;
    }
    if (from.x == x) {
        if (y > from.y)
            FillPixels(x, from.y, 1, y - from.y, color);
        else
            FillPixels(x, y + 1, 1, from.y - y, color);
        return true;
    }

    // Bresenham, stopping one step before the end point.
    int px = from.x;
    int py = from.y;
    const int dx = std::abs(x - px);
    const int dy = -std::abs(y - py);
    const int sx = px < x ? 1 : -1;
    const int sy = py < y ? 1 : -1;
    int err = dx + dy;
    while (px != x || py != y) {
        FillPixels(px, py, 1, 1, color);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            px += sx;
        }
        if (e2 <= dx) {
            err += dx;
            py += sy;
        }
    }
    return true;
}

void CDC::SetPixel(int x, int y, COLORREF color)
{
    FillPixels(x, y, 1, 1, color);
}

void CDC::SetPixels(const std::vector<CPoint>& points, COLORREF color)
{
    const QTransform& t = m_pPainter->transform();
    // A high-density device scales too, below the painter's transform.
    const QPaintDevice* device = m_pPainter->device();
    const bool wholePixels = t.type() <= QTransform::TxTranslate && t.dx() == std::floor(t.dx()) &&
                             t.dy() == std::floor(t.dy()) && (device == nullptr || device->devicePixelRatio() == 1.0);
    if (!wholePixels) {
        // Scaled: each pixel is a unit square in logical units, as a line covers it.
        for (const CPoint& p : points)
            FillPixels(p.x, p.y, 1, 1, color);
        return;
    }
    // Aliased cosmetic points cover exactly their pixel; one call instead of a
    // fill per pixel keeps a row's dotted frame cheap.
    QPolygon polygon;
    polygon.reserve(static_cast<qsizetype>(points.size()));
    for (const CPoint& p : points)
        polygon << QPoint(p.x, p.y);
    QPen pen(ToQColor(color), 0);
    pen.setCosmetic(true);
    m_pPainter->setPen(pen);
    m_pPainter->drawPoints(polygon);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF color)
{
    // As the classic call does, this leaves color as the background colour.
    m_crBk = color;
    FillPixels(x, y, cx, cy, color);
}

void CDC::FillSolidRect(const CRect& rc, COLORREF color)
{
    FillSolidRect(rc.left, rc.top, rc.Width(), rc.Height(), color);
}

const CFontCell& CDC::CurrentFont() const
{
    if (m_pFont && m_pFont->IsCreated()) {
        // Every line of a page asks for the same font: found once.
        if (m_pCell == nullptr || m_nCellSerial != m_pFont->Serial()) {
            m_pCell = &FontCellForLogFont(m_pFont->LogFont(), m_pAttrib);
            m_nCellSerial = m_pFont->Serial();
        }
        return *m_pCell;
    }
    // The stock font: the application font at the classic default cell height.
    CLogFont lf;
    lf.lfFaceName = qGuiApp ? FromQt(QGuiApplication::font().family()) : std::string();
    return FontCellForLogFont(lf, m_pAttrib);
}

bool CDC::TextOut(int x, int y, const std::string& text)
{
    const QString str = ToQt(text);
    const CFontCell& cell = CurrentFont();
    if (m_nBkMode == OPAQUE)
        FillPixels(x, y, QFontMetrics(cell.font, m_pAttrib).horizontalAdvance(str), cell.ascent + cell.descent, m_crBk);
    if (CPdfEngine* pdf = CPdfEngine::Of(m_pPainter)) {
        // Shaped once, where the painter would shape it twice.
        pdf->DrawText(QPointF(x, y + cell.ascent), str, cell.font, ToQColor(m_crText));
        return true;
    }
    m_pPainter->setFont(cell.font);
    m_pPainter->setPen(ToQColor(m_crText));
    m_pPainter->drawText(QPoint(x, y + cell.ascent), str);
    return true;
}

const CDC::AsciiGlyphs* CDC::AsciiGlyphsFor(const CFontCell& cell)
{
    QPaintDevice* device = m_pPainter->device();
    if (m_pAsciiGlyphs != nullptr && m_pAsciiGlyphs->device == device && m_pAsciiGlyphs->font == cell.font)
        return m_pAsciiGlyphs->usable ? m_pAsciiGlyphs.get() : nullptr;
    auto glyphs = std::make_unique<AsciiGlyphs>();
    glyphs->font = cell.font;
    glyphs->device = device;
    // Shaped as TextOut shapes them; each character once and the first again, so that
    // every one has an advance.
    QString chars;
    for (char16_t c = 0x20; c < 0x7F; ++c)
        chars += QChar(c);
    chars += QChar(0x20);
    QTextLayout layout(chars, cell.font, device);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    if (runs.size() == 1 && runs[0].glyphIndexes().size() == chars.size()) {
        const QList<quint32> indexes = runs[0].glyphIndexes();
        const QList<QPointF> positions = runs[0].positions();
        glyphs->rawFont = runs[0].rawFont();
        glyphs->advance = positions[1].x() - positions[0].x();
        glyphs->usable = glyphs->advance > 0;
        for (qsizetype i = 0; i + 1 < chars.size(); ++i) {
            glyphs->glyph[chars[i].unicode()] = indexes[i];
            if (positions[i + 1].x() - positions[i].x() != glyphs->advance || positions[i].y() != positions[0].y())
                glyphs->usable = false;
        }
    }
    m_pAsciiGlyphs = std::move(glyphs);
    return m_pAsciiGlyphs->usable ? m_pAsciiGlyphs.get() : nullptr;
}

bool CDC::TextOutAscii(int x, int y, std::string_view text)
{
    CPdfEngine* pdf = CPdfEngine::Of(m_pPainter);
    const CFontCell& cell = CurrentFont();
    const AsciiGlyphs* glyphs = pdf != nullptr ? AsciiGlyphsFor(cell) : nullptr;
    if (glyphs == nullptr || !std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
        return TextOut(x, y, std::string(text));
    if (m_nBkMode == OPAQUE)
        FillPixels(x, y, GetTextExtent(std::string(text)).cx, cell.ascent + cell.descent, m_crBk);
    if (!pdf->DrawAsciiLine(glyphs->rawFont, glyphs->glyph, QPointF(x, y + cell.ascent), glyphs->advance, text,
                            ToQColor(m_crText)))
        return TextOut(x, y, std::string(text));
    return true;
}

CSize CDC::GetTextExtent(const std::string& text)
{
    const QString str = ToQt(text);
    const CFontCell& cell = CurrentFont();
    return CSize{QFontMetrics(cell.font, m_pAttrib).horizontalAdvance(str), cell.ascent + cell.descent};
}

int CDC::GetDeviceCaps(int index) const
{
    if (!m_pAttrib)
        return 0;
    switch (index) {
    case LOGPIXELSX:
        return m_pAttrib->logicalDpiX();
    case LOGPIXELSY:
        return m_pAttrib->logicalDpiY();
    case HORZRES:
        return m_pAttrib->width();
    case VERTRES:
        return m_pAttrib->height();
    default:
        return 0;
    }
}

CFont* CDC::SelectObject(CFont* font)
{
    CFont* old = m_pFont;
    m_pFont = font;
    return old;
}

CPen* CDC::SelectObject(CPen* pen)
{
    CPen* old = m_pPen;
    m_pPen = pen;
    return old;
}

int CDC::SetBkMode(int mode)
{
    const int old = m_nBkMode;
    m_nBkMode = mode;
    return old;
}

COLORREF CDC::SetTextColor(COLORREF color)
{
    const COLORREF old = m_crText;
    m_crText = color;
    return old;
}

COLORREF CDC::SetBkColor(COLORREF color)
{
    const COLORREF old = m_crBk;
    m_crBk = color;
    return old;
}

CPoint CDC::SetViewportOrg(int x, int y)
{
    const CPoint old = m_ptViewport;
    m_ptViewport = CPoint{x, y};
    // The origin is in device units of our drawing, before any scaling the painter
    // already had (the preview scales printer pixels to the screen).
    m_pPainter->setTransform(QTransform::fromTranslate(x, y) * m_baseTransform);
    return old;
}
