#pragma once

#include "framework/font_cell.h"

#include <QFont>
#include <QPen>
#include <QPointF>
#include <QTransform>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QPainter;
class QPaintDevice;

// Colours as the classic device context keeps them: 0x00BBGGRR.
using COLORREF = std::uint32_t;
constexpr COLORREF RGB(int r, int g, int b)
{
    return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(COLORREF c)
{
    return static_cast<int>(c & 0xFF);
}
constexpr int GetGValue(COLORREF c)
{
    return static_cast<int>((c >> 8) & 0xFF);
}
constexpr int GetBValue(COLORREF c)
{
    return static_cast<int>((c >> 16) & 0xFF);
}
QColor ToQColor(COLORREF c);
COLORREF FromQColor(const QColor& c);

// System colours the program reads, mapped onto the application palette.
enum SysColor {
    COLOR_WINDOW = 5,
    COLOR_WINDOWTEXT = 8,
    COLOR_HIGHLIGHT = 13,
    COLOR_HIGHLIGHTTEXT = 14,
    COLOR_BTNFACE = 15,
    COLOR_BTNSHADOW = 16,
    COLOR_BTNHIGHLIGHT = 20,
    COLOR_3DDKSHADOW = 21,
};
COLORREF GetSysColor(int index);

enum { TRANSPARENT = 1, OPAQUE = 2 };
enum { PS_SOLID = 0 };
enum { LOGPIXELSX = 88, LOGPIXELSY = 90, HORZRES = 8, VERTRES = 10 };

struct CPoint {
    int x = 0;
    int y = 0;
};

struct CSize {
    int cx = 0;
    int cy = 0;
};

// Right and bottom are exclusive.
struct CRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool PtInRect(CPoint p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
    bool IsRectEmpty() const { return right <= left || bottom <= top; }
    bool operator==(const CRect&) const = default;
};

class CPen {
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    bool CreatePen(int style, int width, COLORREF color);
    COLORREF Color() const { return m_color; }
    int Width() const { return m_nWidth; }

private:
    int m_nStyle = PS_SOLID;
    int m_nWidth = 1;
    COLORREF m_color = 0;
};

// A device context over a QPainter with the classic semantics: no antialiasing,
// MoveTo/LineTo leave the end pixel unpainted, TextOut places the top-left of the text
// cell, text is measured on the attribute device (the printer in preview).
class CDC {
public:
    // attribDevice: where text is measured and device caps are read; the painter's
    // own device when null. The painter's state is saved here and restored by the
    // destructor.
    explicit CDC(QPainter* painter, QPaintDevice* attribDevice = nullptr);
    ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    QPainter* Painter() const { return m_pPainter; }
    QPaintDevice* AttribDevice() const { return m_pAttrib; }

    CPoint MoveTo(int x, int y);
    bool LineTo(int x, int y);
    void SetPixel(int x, int y, COLORREF color);
    // The same pixels as SetPixel on each point, in one painter call where it can; on a
    // scaled painter or a high-density device each covers what a one-pixel line covers.
    void SetPixels(const std::vector<CPoint>& points, COLORREF color);
    // Like the classic call, this leaves color as the background colour.
    void FillSolidRect(int x, int y, int cx, int cy, COLORREF color);
    void FillSolidRect(const CRect& rc, COLORREF color);
    bool TextOut(int x, int y, const std::string& text);
    // TextOut for a line of printable ASCII, such as a dump page's: on a job's PDF in a
    // fixed-pitch face those glyphs are shaped once per font, and the line goes out as its
    // own characters, each where shaping puts it. Other text (a name outside ASCII), other
    // faces and other devices (the screen, the preview's recorded pages) take TextOut.
    bool TextOutAscii(int x, int y, std::string_view text);
    CSize GetTextExtent(const std::string& text);
    int GetDeviceCaps(int index) const;

    // Return the previously selected object (nullptr for the stock default).
    CFont* SelectObject(CFont* font);
    CPen* SelectObject(CPen* pen);
    int SetBkMode(int mode);
    int GetBkMode() const { return m_nBkMode; }
    COLORREF SetTextColor(COLORREF color);
    COLORREF GetTextColor() const { return m_crText; }
    COLORREF SetBkColor(COLORREF color);
    COLORREF GetBkColor() const { return m_crBk; }

    CPoint SetViewportOrg(int x, int y);
    CPoint GetViewportOrg() const { return m_ptViewport; }

    // The font TextOut and GetTextExtent use: the selected one, else the stock font.
    const CFontCell& CurrentFont() const;

private:
    struct AsciiGlyphs;
    void FillPixels(int x, int y, int cx, int cy, COLORREF color);
    const AsciiGlyphs* AsciiGlyphsFor(const CFontCell& cell);

    QPainter* m_pPainter;
    QPaintDevice* m_pAttrib;
    CFont* m_pFont = nullptr;
    CPen* m_pPen = nullptr;
    CPoint m_ptCurrent;
    CPoint m_ptViewport;
    int m_nBkMode = OPAQUE;
    COLORREF m_crText = 0;
    COLORREF m_crBk = RGB(255, 255, 255);
    QTransform m_baseTransform;
    std::unique_ptr<AsciiGlyphs> m_pAsciiGlyphs;
    mutable const CFontCell* m_pCell = nullptr;  // of the selected font, by its serial
    mutable unsigned m_nCellSerial = 0;
};
