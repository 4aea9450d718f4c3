#include "framework/cdc.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPalette>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

namespace {

using Pixels = std::set<std::pair<int, int>>;

QImage Canvas(int w = 40, int h = 40)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    return img;
}

Pixels NonWhite(const QImage& img)
{
    Pixels out;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != qRgb(255, 255, 255))
                out.insert({x, y});
    return out;
}

Pixels Painted(std::pair<int, int> from, std::pair<int, int> to)
{
    QImage img = Canvas();
    {
        QPainter p(&img);
        CDC dc(&p);
        dc.MoveTo(from.first, from.second);
        dc.LineTo(to.first, to.second);
    }
    return NonWhite(img);
}

}  // namespace

TEST(CdcLineTo, AxisLinesLeaveTheEndPixelUnpainted)
{
    struct Case {
        std::pair<int, int> from, to;
        Pixels expected;
    };
    const Case cases[] = {
        {{2, 5}, {6, 5}, {{2, 5}, {3, 5}, {4, 5}, {5, 5}}},
        {{6, 5}, {2, 5}, {{6, 5}, {5, 5}, {4, 5}, {3, 5}}},
        {{3, 1}, {3, 4}, {{3, 1}, {3, 2}, {3, 3}}},
        {{3, 4}, {3, 1}, {{3, 4}, {3, 3}, {3, 2}}},
        {{7, 7}, {8, 7}, {{7, 7}}},
        {{7, 7}, {7, 7}, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Painted(c.from, c.to), c.expected)
            << c.from.first << "," << c.from.second << " -> " << c.to.first << "," << c.to.second;
}

TEST(CdcLineTo, DiagonalLinesStopBeforeTheEnd)
{
    EXPECT_EQ(Painted({0, 0}, {4, 4}), (Pixels{{0, 0}, {1, 1}, {2, 2}, {3, 3}}));
    EXPECT_EQ(Painted({4, 0}, {0, 4}), (Pixels{{4, 0}, {3, 1}, {2, 2}, {1, 3}}));
    const Pixels shallow = Painted({0, 0}, {10, 3});
    EXPECT_EQ(shallow.size(), 10u);
    EXPECT_TRUE(shallow.count({0, 0}));
    EXPECT_FALSE(shallow.count({10, 3}));
}

TEST(CdcLineTo, UsesSelectedPenAndMovesCurrentPoint)
{
    QImage img = Canvas();
    CPen red(PS_SOLID, 1, RGB(255, 0, 0));
    {
        QPainter p(&img);
        CDC dc(&p);
        EXPECT_EQ(dc.SelectObject(&red), nullptr);
        dc.MoveTo(1, 1);
        dc.LineTo(5, 1);
        dc.LineTo(5, 4);  // continues from (5, 1), which the first line left unpainted
        EXPECT_EQ(dc.SelectObject(static_cast<CPen*>(nullptr)), &red);
        dc.MoveTo(1, 10);
        dc.LineTo(3, 10);
    }
    EXPECT_EQ(img.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(5, 1), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(5, 3), qRgb(255, 0, 0));
    EXPECT_EQ(img.pixel(5, 4), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(1, 10), qRgb(0, 0, 0));  // the stock pen is black
}

TEST(CdcViewport, OriginTranslatesDrawing)
{
    QImage img = Canvas();
    {
        QPainter p(&img);
        CDC dc(&p);
        dc.SetViewportOrg(10, 20);
        dc.SetPixel(1, 2, RGB(0, 0, 255));
        EXPECT_EQ(dc.SetViewportOrg(0, 0).x, 10);
        dc.SetPixel(1, 2, RGB(0, 255, 0));
    }
    EXPECT_EQ(img.pixel(11, 22), qRgb(0, 0, 255));
    EXPECT_EQ(img.pixel(1, 2), qRgb(0, 255, 0));
}

TEST(CdcPixels, BatchMatchesSinglePixelsAlsoWhenScaled)
{
    const std::vector<CPoint> points = {{0, 0}, {3, 1}, {5, 7}, {9, 9}};
    for (qreal scale : {1.0, 2.0}) {
        QImage batch = Canvas();
        QImage single = Canvas();
        {
            QPainter p(&batch);
            p.scale(scale, scale);
            CDC dc(&p);
            dc.SetViewportOrg(1, 2);
            dc.SetPixels(points, RGB(0, 128, 0));
        }
        {
            QPainter p(&single);
            p.scale(scale, scale);
            CDC dc(&p);
            dc.SetViewportOrg(1, 2);
            for (const CPoint& pt : points)
                dc.SetPixel(pt.x, pt.y, RGB(0, 128, 0));
        }
        EXPECT_TRUE(batch == single) << scale;
        EXPECT_EQ(NonWhite(batch).size(), points.size() * static_cast<size_t>(scale * scale)) << scale;
    }
}

TEST(CdcPixels, OnAHighDensityDeviceAPixelCoversWhatALineCovers)
{
    // A widget's backing store at a device pixel ratio of 2: the painter's transform
    // is the identity, the device scales.
    QImage dots(80, 80, QImage::Format_RGB32);
    dots.setDevicePixelRatio(2);
    dots.fill(Qt::white);
    QImage lines = dots;
    const std::vector<CPoint> points = {{1, 1}, {4, 1}, {7, 9}, {20, 3}};
    {
        QPainter p(&dots);
        CDC dc(&p);
        dc.SetPixels(points, RGB(0, 0, 0));
    }
    {
        QPainter p(&lines);
        CDC dc(&p);
        for (const CPoint& pt : points) {
            dc.MoveTo(pt.x, pt.y);
            dc.LineTo(pt.x + 1, pt.y);
        }
    }
    EXPECT_TRUE(dots == lines);
    EXPECT_EQ(NonWhite(dots).size(), points.size() * 4);
    for (const CPoint& pt : points)
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx)
                EXPECT_EQ(dots.pixel(2 * pt.x + dx, 2 * pt.y + dy), qRgb(0, 0, 0)) << pt.x << "," << pt.y;
}

TEST(CdcFont, SubstitutesUseTheIpaFaces)
{
    const std::pair<const char*, const char*> faces[] = {
        {"ＭＳ 明朝", "IPAMincho"},
        {"ＭＳ Ｐ明朝", "IPAPMincho"},
        {"ＭＳ Ｐゴシック", "IPAPGothic"},
    };
    for (const auto& [face, expected] : faces) {
        CLogFont lf;
        lf.lfHeight = 20;
        lf.lfFaceName = face;
        QImage img = Canvas();
        const QFontInfo info(FontForLogFont(lf, &img));
        EXPECT_EQ(info.family().toStdString(), expected) << face;
    }
}

TEST(CdcFont, PositiveHeightIsTheCellHeight)
{
    QImage img = Canvas();
    QPainter p(&img);
    CDC dc(&p);
    for (const char* face : {"ＭＳ 明朝", "ＭＳ Ｐゴシック"}) {
        for (int h : {2, 5, 9, 13, 17, 20, 33, 70, 120}) {
            CLogFont lf;
            lf.lfHeight = h;
            lf.lfFaceName = face;
            CFont font;
            font.CreateFontIndirect(lf);
            CFont* old = dc.SelectObject(&font);
            EXPECT_EQ(dc.GetTextExtent("0x1F 日本").cy, h) << face << " height " << h;
            dc.SelectObject(old);
            // The glyphs come from a real size whose own cell fits the height.
            const QFontMetrics fm(FontForLogFont(lf, &img), &img);
            EXPECT_LE(fm.ascent() + fm.descent(), h) << face << " height " << h;
            EXPECT_GE(fm.ascent() + fm.descent(), h - 2) << face << " height " << h;
        }
    }
}

TEST(CdcFont, ReachableCellsAreMatchedExactly)
{
    // IPAMincho: 17 px gives a cell of 19, 64 px one of 70, 70 px one of 78.
    QImage img = Canvas();
    for (int h : {19, 70, 78}) {
        CLogFont lf;
        lf.lfHeight = h;
        lf.lfFaceName = "ＭＳ 明朝";
        const CFontCell& cell = FontCellForLogFont(lf, &img);
        const QFontMetrics fm(cell.font, &img);
        EXPECT_EQ(fm.ascent() + fm.descent(), h);
        EXPECT_EQ(cell.ascent, fm.ascent()) << h;
        EXPECT_EQ(cell.descent, fm.descent()) << h;
    }
}

TEST(CdcFont, NegativeHeightIsTheEmAndBoldIsHeavier)
{
    QImage img = Canvas();
    CLogFont lf;
    lf.lfFaceName = "ＭＳ 明朝";
    lf.lfHeight = -17;
    EXPECT_EQ(FontForLogFont(lf, &img).pixelSize(), 17);
    lf.lfHeight = 17;
    lf.lfWeight = FW_BOLD;
    EXPECT_TRUE(FontForLogFont(lf, &img).bold());
    lf.lfWeight = 0;
    EXPECT_FALSE(FontForLogFont(lf, &img).bold());
    lf.lfItalic = 1;
    EXPECT_TRUE(FontForLogFont(lf, &img).italic());
}

TEST(CdcText, TextOutPlacesTheCellTopLeftWithAnOpaqueBox)
{
    QImage img = Canvas(200, 60);
    CSize ext;
    {
        QPainter p(&img);
        CDC dc(&p);
        CLogFont lf;
        lf.lfHeight = 20;
        lf.lfFaceName = "ＭＳ Ｐゴシック";
        CFont font;
        font.CreateFontIndirect(lf);
        dc.SelectObject(&font);
        dc.SetBkColor(RGB(0, 255, 0));
        dc.SetTextColor(RGB(255, 0, 0));
        ext = dc.GetTextExtent("Hg日");
        dc.TextOut(10, 15, "Hg日");
        dc.SelectObject(static_cast<CFont*>(nullptr));
    }
    ASSERT_EQ(ext.cy, 20);
    ASSERT_GT(ext.cx, 20);
    // The background box covers exactly the cell.
    EXPECT_EQ(img.pixel(10, 15), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(10 + ext.cx - 1, 15 + ext.cy - 1), qRgb(0, 255, 0));
    EXPECT_EQ(img.pixel(9, 15), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(10, 14), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(10 + ext.cx, 15), qRgb(255, 255, 255));
    EXPECT_EQ(img.pixel(10, 15 + ext.cy), qRgb(255, 255, 255));
    // Glyph ink lies inside the cell and is reddish.
    int reddish = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x) {
            const QColor c(img.pixel(x, y));
            if (c.red() > 128 && c.green() < 128) {
                ++reddish;
                EXPECT_TRUE(x >= 10 && x < 10 + ext.cx && y >= 15 && y < 15 + ext.cy) << x << "," << y;
            }
        }
    EXPECT_GT(reddish, 20);
}

TEST(CdcText, TransparentModeLeavesTheBackground)
{
    QImage img = Canvas(100, 40);
    {
        QPainter p(&img);
        CDC dc(&p);
        EXPECT_EQ(dc.SetBkMode(TRANSPARENT), OPAQUE);
        dc.SetBkColor(RGB(0, 255, 0));
        dc.TextOut(2, 2, "Hello");
    }
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            ASSERT_NE(img.pixel(x, y), qRgb(0, 255, 0));
}

TEST(CdcCaps, ReadFromTheAttributeDevice)
{
    QImage screen = Canvas(50, 50);
    QImage printer(300, 400, QImage::Format_RGB32);
    printer.setDotsPerMeterX(23622);  // 600 dpi
    printer.setDotsPerMeterY(23622);
    QPainter p(&screen);
    CDC dc(&p, &printer);
    EXPECT_EQ(dc.GetDeviceCaps(LOGPIXELSY), 600);
    EXPECT_EQ(dc.GetDeviceCaps(LOGPIXELSX), 600);
    EXPECT_EQ(dc.GetDeviceCaps(HORZRES), 300);
    EXPECT_EQ(dc.GetDeviceCaps(VERTRES), 400);
    CDC own(&p);
    EXPECT_EQ(own.GetDeviceCaps(HORZRES), 50);
    // The stock font is sized for the attribute device.
    EXPECT_GT(dc.GetTextExtent("X").cy, 3 * own.GetTextExtent("X").cy);
}

TEST(CdcSysColor, FollowsThePalette)
{
    const QPalette pal = QGuiApplication::palette();
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), FromQColor(pal.color(QPalette::Base)));
    EXPECT_EQ(GetSysColor(COLOR_HIGHLIGHT), FromQColor(pal.color(QPalette::Highlight)));
    EXPECT_EQ(GetSysColor(COLOR_3DDKSHADOW), FromQColor(pal.color(QPalette::Shadow)));
    EXPECT_EQ(GetSysColor(COLOR_BTNHIGHLIGHT), FromQColor(pal.color(QPalette::Light)));
    EXPECT_EQ(RGB(1, 2, 3), 0x030201u);
    EXPECT_EQ(FromQColor(ToQColor(0x123456)), 0x123456u);
}
