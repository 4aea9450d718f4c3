#include "framework/cdc.h"
#include "app/vantrel_app.h"
#include "draw/sunken_frame.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <utility>

namespace {

const QRgb kBackground = qRgb(50, 100, 150);

QImage Canvas(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(kBackground);
    return img;
}

QImage Draw(int w, int h, const std::function<void(CDC&)>& fn)
{
    QImage img = Canvas(w, h);
    QPainter p(&img);
    CDC dc(&p);
    fn(dc);
    return img;
}

QRgb Rgb(COLORREF c)
{
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace

TEST(DottedFrame, ExactPixels)
{
    const QImage img = Draw(20, 12, [](CDC& dc) { theApp.DrawDottedFrame(&dc, CRect{0, 0, 10, 6}); });
    std::set<std::pair<int, int>> expected = {{1, 0}, {3, 0}, {5, 0}, {7, 0}, {1, 6}, {3, 6}, {5, 6},
                                              {7, 6}, {0, 1}, {0, 3}, {0, 5}, {9, 1}, {9, 3}, {9, 5}};
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            EXPECT_EQ(img.pixel(x, y), expected.count({x, y}) ? qRgb(255, 255, 0) : kBackground) << x << "," << y;
}

TEST(DottedFrame, OddCoordinatesAndStateRestored)
{
    CPen mine(PS_SOLID, 1, RGB(1, 2, 3));
    const QImage img = Draw(20, 20, [&](CDC& dc) {
        dc.SelectObject(&mine);
        theApp.DrawDottedFrame(&dc, CRect{3, 4, 8, 9});
        // Left where the last one-pixel line, (7, 7) to (7, 8), ends.
        const CPoint after = dc.MoveTo(0, 0);
        EXPECT_EQ(after.x, 7);
        EXPECT_EQ(after.y, 8);
        EXPECT_EQ(dc.SelectObject(static_cast<CPen*>(nullptr)), &mine);
        EXPECT_EQ(dc.GetBkMode(), OPAQUE);
    });
    // Top row 4 and bottom row 9 at odd x from 3 to 6; sides at x 3 and 7, odd y 5, 7.
    const std::set<std::pair<int, int>> expected = {{3, 4}, {5, 4}, {3, 9}, {5, 9}, {3, 5}, {3, 7}, {7, 5}, {7, 7}};
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            EXPECT_EQ(img.pixel(x, y) != kBackground, expected.count({x, y}) == 1) << x << "," << y;
}

TEST(SunkenFrame, RingsOfBandThree)
{
    const COLORREF face = RGB(200, 10, 10);
    const QRgb dark = Rgb(GetSysColor(COLOR_3DDKSHADOW));
    const QRgb light = Rgb(GetSysColor(COLOR_BTNHIGHLIGHT));
    ASSERT_NE(dark, light);
    const CRect rc{10, 10, 30, 25};
    CPen mine(PS_SOLID, 1, RGB(9, 9, 9));
    const QImage img = Draw(50, 50, [&](CDC& dc) {
        dc.SelectObject(&mine);
        DrawSunkenFrame(&dc, rc, 3, face, 0);
        EXPECT_EQ(dc.SelectObject(static_cast<CPen*>(nullptr)), &mine);
    });
    const int midX = 20;
    const int midY = 17;
    // Ring k: top row t-k, left column l-k, bottom row b+k, right column r+k.
    struct Ring {
        int k;
        QRgb topLeft;
        QRgb bottomRight;
    };
    const Ring rings[] = {
        {1, dark, light},
        {2, Rgb(face), Rgb(face)},
        {3, light, dark},
        {4, light, dark},
    };
    for (const Ring& r : rings) {
        EXPECT_EQ(img.pixel(midX, rc.top - r.k), r.topLeft) << "top " << r.k;
        EXPECT_EQ(img.pixel(rc.left - r.k, midY), r.topLeft) << "left " << r.k;
        EXPECT_EQ(img.pixel(midX, rc.bottom + r.k), r.bottomRight) << "bottom " << r.k;
        EXPECT_EQ(img.pixel(rc.right + r.k, midY), r.bottomRight) << "right " << r.k;
    }
    // Ring 0 is face at the bottom and right only; the inside is untouched.
    EXPECT_EQ(img.pixel(midX, rc.bottom), Rgb(face));
    EXPECT_EQ(img.pixel(rc.right, midY), Rgb(face));
    EXPECT_EQ(img.pixel(midX, rc.top), kBackground);
    EXPECT_EQ(img.pixel(rc.left, midY), kBackground);
    // Four pixels outside at top and left, five at bottom and right; nothing beyond.
    EXPECT_EQ(img.pixel(midX, rc.top - 5), kBackground);
    EXPECT_EQ(img.pixel(rc.left - 5, midY), kBackground);
    EXPECT_EQ(img.pixel(midX, rc.bottom + 5), kBackground);
    EXPECT_EQ(img.pixel(rc.right + 5, midY), kBackground);
    // The right segment of a ring reaches its bottom-right corner.
    EXPECT_EQ(img.pixel(rc.right + 4, rc.bottom + 4), dark);
    EXPECT_EQ(img.pixel(rc.right + 1, rc.bottom + 1), light);
    // The highlight's top segment of ring 4 stops short of the right column.
    EXPECT_EQ(img.pixel(rc.right + 4, rc.top - 4), dark);
    EXPECT_EQ(img.pixel(rc.right + 3, rc.top - 4), light);
}

TEST(SunkenFrame, NoFaceColourKeepsTheBandAndFillPaintsNavy)
{
    const CRect rc{10, 10, 30, 25};
    const QImage img = Draw(50, 50, [&](CDC& dc) { DrawSunkenFrame(&dc, rc, 3, 0, 1); });
    EXPECT_EQ(img.pixel(20, rc.top - 2), kBackground);
    EXPECT_EQ(img.pixel(20, rc.bottom), kBackground);
    EXPECT_EQ(img.pixel(rc.right + 2, 17), kBackground);
    EXPECT_EQ(img.pixel(20, 17), qRgb(0, 0, 128));
    EXPECT_EQ(img.pixel(rc.left, rc.top), qRgb(0, 0, 128));
    EXPECT_EQ(img.pixel(rc.right - 1, rc.bottom - 1), qRgb(0, 0, 128));
    const QImage noFill = Draw(50, 50, [&](CDC& dc) { DrawSunkenFrame(&dc, rc, 3, 0, 2); });
    EXPECT_EQ(noFill.pixel(20, 17), kBackground);
}

TEST(SunkenFrame, BandWidthsZeroAndOneDrawNoTopFaceRing)
{
    const COLORREF face = RGB(200, 10, 10);
    const CRect rc{10, 10, 30, 25};
    for (int w : {0, 1}) {
        const QImage img = Draw(50, 50, [&](CDC& dc) { DrawSunkenFrame(&dc, rc, w, face, 0); });
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                if (y < rc.top || x < rc.left) {
                    ASSERT_NE(img.pixel(x, y), Rgb(face)) << w << ": " << x << "," << y;
                }
            }
        }
        EXPECT_EQ(img.pixel(20, rc.bottom) == Rgb(face), w == 1);
    }
}

namespace {

CLogFont FitFont(int height, const char* face = "ＭＳ Ｐゴシック", int weight = 0, int italic = 0)
{
    CLogFont lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfFaceName = face;
    return lf;
}

CSize Extent(const CLogFont& lf, const std::string& text)
{
    QImage img = Canvas(4, 4);
    QPainter p(&img);
    CDC dc(&p);
    CFont font;
    font.CreateFontIndirect(lf);
    dc.SelectObject(&font);
    const CSize ext = dc.GetTextExtent(text);
    dc.SelectObject(static_cast<CFont*>(nullptr));
    return ext;
}

// What DrawFitText must produce: the text in this font at (x, y), transparent.
QImage Expected(int w, int h, const CLogFont& lf, int x, int y, COLORREF color, const std::string& text)
{
    return Draw(w, h, [&](CDC& dc) {
        CFont font;
        font.CreateFontIndirect(lf);
        dc.SelectObject(&font);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(color);
        dc.TextOut(x, y, text);
        dc.SelectObject(static_cast<CFont*>(nullptr));
    });
}

void ExpectStyleReset()
{
    CVantrelApp* app = &theApp;
    EXPECT_EQ(app->m_crTextColor, 0u);
    EXPECT_EQ(app->m_strFaceName, "ＭＳ Ｐゴシック");
    EXPECT_EQ(app->m_nAlign, 0);
    EXPECT_EQ(app->m_bBold, 0);
    EXPECT_EQ(app->m_bItalic, 0);
}

}  // namespace

TEST(FitText, AlignmentsPlaceTheTextAsTheFormulasSay)
{
    const std::string text = "ﾌｧｲﾙ名 Name";
    const CRect rc{5, 7, 205, 27};  // 200 x 20: height 17 tried first
    const CSize ext = Extent(FitFont(17), text);
    ASSERT_LE(ext.cx, 200);
    ASSERT_EQ(ext.cy, 17);
    struct Case {
        int align;
        int x;
    };
    const Case cases[] = {
        {0, 5 + (200 - ext.cx) / 2}, {1, 5 + 2}, {2, 205 - ext.cx - 2}, {5, 205 - ext.cx - 2}, {-1, 205 - ext.cx - 2}};
    for (const Case& c : cases) {
        theApp.m_nAlign = c.align;
        theApp.m_crTextColor = RGB(200, 0, 0);
        const QImage got = Draw(220, 40, [&](CDC& dc) {
            theApp.DrawFitText(&dc, rc, text);
            EXPECT_EQ(dc.GetBkMode(), OPAQUE);
            EXPECT_EQ(dc.GetTextColor(), RGB(200, 0, 0));
        });
        EXPECT_TRUE(got == Expected(220, 40, FitFont(17), c.x, 7 + 1, RGB(200, 0, 0), text)) << c.align;
        ExpectStyleReset();
    }
}

TEST(FitText, ShrinksToTheFirstHeightThatFits)
{
    const std::string text = "0123456789ABCDEF";
    // A width that height 12 fits and height 13 does not.
    const int w12 = Extent(FitFont(12), text).cx;
    ASSERT_GT(Extent(FitFont(13), text).cx, w12);
    const CRect rc{0, 0, w12, 20};
    const QImage got = Draw(w12 + 10, 30, [&](CDC& dc) { theApp.DrawFitText(&dc, rc, text); });
    const int y = (20 - 12) / 2;
    EXPECT_TRUE(got == Expected(w12 + 10, 30, FitFont(12), 0, y, 0, text));

    // Found in a few measures, the height is still the first one down from the top that
    // fits, at every width.
    for (int w = 4; w < Extent(FitFont(37), text).cx + 8; w += 7) {
        int h = 37;
        while (h > 1 && Extent(FitFont(h), text).cx > w)
            --h;
        const QImage fit = Draw(w, 40, [&](CDC& dc) { theApp.DrawFitText(&dc, CRect{0, 0, w, 40}, text); });
        const CSize ext = Extent(FitFont(h), text);
        EXPECT_TRUE(fit ==
                    (h > 1 ? Expected(w, 40, FitFont(h), (w - ext.cx) / 2, (40 - ext.cy) / 2, 0, text) : Canvas(w, 40)))
            << w << " " << h;
    }
}

TEST(FitText, LowRectanglesAndTooWideTexts)
{
    for (int h : {0, 1, 4}) {
        theApp.m_nAlign = 1;
        theApp.m_bBold = 1;
        const QImage got = Draw(60, 20, [&](CDC& dc) { theApp.DrawFitText(&dc, CRect{0, 0, 60, h}, "A"); });
        EXPECT_TRUE(got == Canvas(60, 20)) << h;
        ExpectStyleReset();
    }
    // Height 5: only height 2 is tried.
    const QImage five = Draw(60, 20, [&](CDC& dc) { theApp.DrawFitText(&dc, CRect{0, 0, 60, 5}, "A"); });
    EXPECT_TRUE(five == Expected(60, 20, FitFont(2), (60 - Extent(FitFont(2), "A").cx) / 2, (5 - 2) / 2, 0, "A"));
    // Wider than the rectangle even at height 2: nothing, style still reset.
    theApp.m_crTextColor = RGB(255, 0, 0);
    const QImage wide = Draw(60, 20, [&](CDC& dc) { theApp.DrawFitText(&dc, CRect{0, 0, 3, 20}, "WWWWWWWWWWWW"); });
    EXPECT_TRUE(wide == Canvas(60, 20));
    ExpectStyleReset();
}

TEST(FitText, SecondCallWithoutStyleUsesTheDefaults)
{
    const CRect rc{0, 0, 120, 24};
    const std::string text = "印刷 Ab";
    CVantrelApp* app = &theApp;
    const QImage got = Draw(130, 30, [&](CDC& dc) {
        app->m_crTextColor = RGB(0, 0, 255);
        app->m_strFaceName = "ＭＳ 明朝";
        app->m_nAlign = 1;
        app->m_bBold = 1;
        app->m_bItalic = 1;
        app->DrawFitText(&dc, CRect{0, 100, 120, 124}, text);  // off the canvas
        dc.FillSolidRect(0, 0, 130, 30, RGB(50, 100, 150));
        dc.SetBkMode(OPAQUE);
        app->DrawFitText(&dc, rc, text);
    });
    const CSize ext = Extent(FitFont(21), text);
    EXPECT_TRUE(got == Expected(130, 30, FitFont(21), (120 - ext.cx) / 2, (24 - ext.cy) / 2, 0, text));
}

TEST(FitText, OnlyOneMeansBoldOrItalic)
{
    const CRect rc{0, 0, 150, 24};
    const std::string text = "Weight";
    CVantrelApp* app = &theApp;
    app->m_bBold = 2;
    app->m_bItalic = 2;
    const QImage two = Draw(160, 30, [&](CDC& dc) { app->DrawFitText(&dc, rc, text); });
    const QImage plain = Draw(160, 30, [&](CDC& dc) { app->DrawFitText(&dc, rc, text); });
    EXPECT_TRUE(two == plain);
    app->m_bBold = 1;
    const QImage bold = Draw(160, 30, [&](CDC& dc) { app->DrawFitText(&dc, rc, text); });
    EXPECT_FALSE(bold == plain);
}
