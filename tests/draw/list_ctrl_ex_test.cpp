#include "draw/list_ctrl_ex.h"
#include "framework/qt_text.h"

#include <QApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <QBackingStore>

namespace {

using L = CListCtrlEx;

COLORREF PixelAt(const QImage& img, int x, int y)
{
    return FromQColor(img.pixelColor(x, y));
}

bool IsBlueInk(COLORREF c)
{
    return GetBValue(c) > 200 && GetRValue(c) < 80 && GetGValue(c) < 80;
}

template <class Pred> bool AnyPixel(const QImage& img, const CRect& rc, Pred pred)
{
    for (int x = rc.left; x < rc.right; ++x)
        for (int y = rc.top; y < rc.bottom; ++y)
            if (pred(PixelAt(img, x, y)))
                return true;
    return false;
}

// Leftmost and rightmost columns in [x0, x1) of rows [y0, y1) whose colour differs from bk.
std::pair<int, int> InkSpan(const QImage& img, int x0, int x1, int y0, int y1, COLORREF bk)
{
    int lo = -1, hi = -1;
    for (int x = x0; x < x1; ++x) {
        for (int y = y0; y < y1; ++y) {
            if (PixelAt(img, x, y) != bk) {
                if (lo < 0)
                    lo = x;
                hi = x;
                break;
            }
        }
    }
    return {lo, hi};
}

QImage SolidImage(int cx, int cy, QColor c)
{
    QImage img(cx, cy, QImage::Format_ARGB32);
    img.fill(c);
    return img;
}

// Measures texts in the font the list draws its rows in.
struct Measure {
    explicit Measure(const L& list) : img(8, 8, QImage::Format_ARGB32), painter(&img), dc(&painter)
    {
        font.CreateFontIndirect(list.GetItemLogFont());
        dc.SelectObject(&font);
    }
    int Width(const std::string& s) { return dc.GetTextExtent(s).cx; }
    QImage img;
    QPainter painter;
    CDC dc;
    CFont font;
};

class ListCtrlExTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        list.resize(420, 220);
        list.InsertColumn(0, "名前", L::LVCFMT_LEFT, 140);
        list.InsertColumn(1, "サイズ", L::LVCFMT_RIGHT, 90);
        list.InsertColumn(2, "種類", L::LVCFMT_CENTER, 70);
        for (int i = 0; i < 5; ++i) {
            list.InsertItem(i, "file" + std::to_string(i) + ".bin", 0);
            list.SetItemText(i, 1, std::to_string(1000 * (i + 1)));
            list.SetItemText(i, 2, "bin");
        }
        list.SetTextBkColor(RGB(255, 255, 224));
        list.SetBkColor(RGB(230, 230, 230));
        list.show();
        QApplication::processEvents();
    }

    void Focus()
    {
        list.activateWindow();
        list.setFocus();
        QApplication::processEvents();
        ASSERT_TRUE(list.hasFocus());
    }

    QImage Render() { return list.viewport()->grab().toImage(); }

    CRect Rect(int nItem, int nCode = L::LVIR_BOUNDS)
    {
        CRect rc;
        EXPECT_TRUE(list.GetItemRect(nItem, &rc, nCode));
        return rc;
    }

    L list;
};

}  // namespace

TEST(FitTextWithEllipsis, CutsWholeCharactersToTheLongestPrefixThatFits)
{
    QImage img(8, 8, QImage::Format_ARGB32);
    QPainter painter(&img);
    CDC dc(&painter);
    CFont font;
    font.CreateFontIndirect(CLogFont{16, 0, 0, DEFAULT_CHARSET, "IPAMincho"});
    dc.SelectObject(&font);
    auto width = [&](const std::string& s) { return dc.GetTextExtent(s).cx; };

    for (const std::string& text :
         {std::string("Report_2024_final.txt"), std::string("日本語のファイル名.txt"), std::string("ａé日x𝄞y")}) {
        const int cxText = width(text);
        for (const int offset : {4, 12}) {
            EXPECT_EQ(L::FitTextWithEllipsis(&dc, text, cxText + offset, offset), text);
            for (int avail = 0; avail < cxText + offset; ++avail) {
                const std::string got = L::FitTextWithEllipsis(&dc, text, avail, offset);
                ASSERT_GE(got.size(), 4u) << text << " " << avail;
                ASSERT_EQ(got.substr(got.size() - 3), "...");
                const std::string kept = got.substr(0, got.size() - 3);
                ASSERT_EQ(text.compare(0, kept.size(), kept), 0) << got;
                // Whole characters only: the kept bytes survive a round trip through Qt.
                ASSERT_EQ(FromQt(ToQt(kept)), kept) << avail;
                ASSERT_GE(ToQt(kept).size(), 1);
                // Longest: either it fits, or nothing shorter than one character was left.
                const bool fits = width(kept) + width("...") + offset <= avail;
                const bool oneChar = ToQt(kept).toUcs4().size() == 1;
                ASSERT_TRUE(fits || oneChar) << got << " at " << avail;
                if (kept.size() < text.size()) {
                    const char32_t first = ToQt(text.substr(kept.size())).toUcs4().front();
                    const std::size_t next = kept.size() + FromQt(QString::fromUcs4(&first, 1)).size();
                    if (next < text.size()) {
                        ASSERT_GT(width(text.substr(0, next)) + width("...") + offset, avail) << got;
                    }
                }
            }
        }
    }
}

TEST(FitTextWithEllipsis, EdgeTexts)
{
    QImage img(8, 8, QImage::Format_ARGB32);
    QPainter painter(&img);
    CDC dc(&painter);
    EXPECT_EQ(L::FitTextWithEllipsis(&dc, "", 0, 12), "");
    EXPECT_EQ(L::FitTextWithEllipsis(&dc, "W", 1, 12), "W...");
    EXPECT_EQ(L::FitTextWithEllipsis(&dc, "漢", 1, 12), "漢...");
    EXPECT_EQ(L::FitTextWithEllipsis(&dc, "漢字テキスト", 1, 4), "漢...");
    // A text that already ends in dots is still cut, not taken for a short one.
    EXPECT_EQ(L::FitTextWithEllipsis(&dc, "X...", 1, 4), "X...");
}

TEST_F(ListCtrlExTest, HighlightDependsOnFocusShowSelAlwaysAndDropHighlight)
{
    const COLORREF clrHi = GetSysColor(COLOR_HIGHLIGHT);
    struct Case {
        bool focus;
        bool showSelAlways;
        unsigned state;
        bool highlighted;
    } cases[] = {
        {false, false, L::LVIS_SELECTED, false},
        {true, false, L::LVIS_SELECTED, true},
        {false, true, L::LVIS_SELECTED, true},
        {false, false, L::LVIS_DROPHILITED, true},
        {true, true, 0, false},
    };
    for (const Case& c : cases) {
        list.ModifyStyle(L::LVS_SHOWSELALWAYS, c.showSelAlways ? L::LVS_SHOWSELALWAYS : 0);
        if (c.focus)
            Focus();
        else
            list.clearFocus();
        ASSERT_EQ(list.hasFocus(), c.focus);
        list.SetItemState(1, c.state, L::LVIS_SELECTED | L::LVIS_DROPHILITED);
        const QImage img = Render();
        const CRect rc = Rect(1);
        const COLORREF bk = PixelAt(img, Rect(1, L::LVIR_LABEL).left + 1, rc.top + 1);
        EXPECT_EQ(bk, c.highlighted ? clrHi : list.m_clrTextBk) << c.focus << c.showSelAlways << c.state;
        EXPECT_EQ(AnyPixel(img, rc, IsBlueInk), !c.highlighted);
        EXPECT_EQ(AnyPixel(img, rc, [&](COLORREF px) { return px == clrHi; }), c.highlighted);
    }
}

TEST_F(ListCtrlExTest, HighlightReachesTheClientWidthPastTheColumns)
{
    Focus();
    list.SetItemState(2, L::LVIS_SELECTED, L::LVIS_SELECTED);
    const CRect rc = Rect(2);
    ASSERT_LT(rc.right, list.viewport()->width() - 10);
    EXPECT_EQ(list.m_cxClient, list.viewport()->width());

    QImage img = Render();
    const int xLast = list.viewport()->width() - 1;
    EXPECT_EQ(PixelAt(img, xLast, rc.top + 1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(PixelAt(img, xLast, rc.bottom + 1), list.m_clrTextBk);
    // Below the last row lies the list's background.
    EXPECT_EQ(PixelAt(img, xLast, Rect(4).bottom + 2), list.m_clrBkgnd);

    list.m_bFullWidthHighlight = false;
    img = Render();
    EXPECT_EQ(PixelAt(img, xLast, rc.top + 1), list.m_clrBkgnd);
    EXPECT_EQ(PixelAt(img, rc.right - 2, rc.top + 1), GetSysColor(COLOR_HIGHLIGHT));
}

TEST_F(ListCtrlExTest, TextOnePixelTooWideIsCutAndLeftAlignedInARightAlignedColumn)
{
    Measure m(list);
    // Narrow characters after a wide one: the cut must drop the wide one too, which leaves
    // room to tell left from right.
    const std::string text = "12,345 WWW iii";
    const int cx = m.Width(text);
    const CRect rc = Rect(0);
    const int xCell = rc.left + list.GetColumnWidth(0);

    list.SetItemText(0, 1, text);
    list.SetColumnWidth(1, cx + 12);  // fits exactly: right-aligned
    QImage img = Render();
    auto span = InkSpan(img, xCell, xCell + cx + 12, rc.top, rc.bottom, list.m_clrTextBk);
    EXPECT_GE(span.second, xCell + 6 + cx - 3);
    EXPECT_LE(span.second, xCell + 6 + cx);

    list.SetColumnWidth(1, cx + 11);  // one pixel short
    const std::string shown = L::FitTextWithEllipsis(&m.dc, text, cx + 11, 12);
    ASSERT_EQ(shown.substr(shown.size() - 3), "...");
    const int cxShown = m.Width(shown);
#if defined(_WIN32)
    if (cx + 11 - 12 - cxShown < 3)
        GTEST_SKIP() << "the list font here leaves no gap to tell a left-aligned cut from a right-aligned one";
#endif
    ASSERT_GE(cx + 11 - 12 - cxShown, 3) << "the cut must leave a visible gap";
    img = Render();
    span = InkSpan(img, xCell, xCell + cx + 11, rc.top, rc.bottom, list.m_clrTextBk);
    EXPECT_GE(span.first, xCell + 6);
    EXPECT_LE(span.first, xCell + 8);
    EXPECT_LE(span.second, xCell + 6 + cxShown);
    EXPECT_LT(span.second, xCell + cx + 11 - 6 - 2);

    // The same text shortened in a left-aligned and a centred column starts at the same place.
    for (const int fmt : {L::LVCFMT_LEFT, L::LVCFMT_CENTER}) {
        L other;
        other.resize(420, 220);
        other.InsertColumn(0, "a", fmt, 140);
        other.InsertColumn(1, "b", fmt, cx + 11);
        other.InsertItem(0, "x");
        other.SetItemText(0, 1, text);
        other.SetTextBkColor(list.m_clrTextBk);
        other.show();
        const QImage img2 = other.viewport()->grab().toImage();
        EXPECT_EQ(InkSpan(img2, xCell, xCell + cx + 11, rc.top, rc.bottom, list.m_clrTextBk), span);
    }
}

TEST_F(ListCtrlExTest, TextFarTooWideKeepsItsFirstCharacter)
{
    Measure m(list);
    list.SetItemText(3, 1, "漢字ばかりの長い名前");
    list.SetItemText(3, 2, "");
    list.SetColumnWidth(1, 14);
    const CRect rc = Rect(3);
    const int xCell = rc.left + list.GetColumnWidth(0);
    const QImage img = Render();
    const auto span = InkSpan(img, xCell, xCell + 200, rc.top, rc.bottom, list.m_clrTextBk);
    // "漢..." from the cell's text inset, running past the narrow cell.
    ASSERT_GE(span.first, xCell + 6);
    EXPECT_LE(span.first, xCell + 8);
    EXPECT_GT(span.second, xCell + 14);
    EXPECT_LE(span.second, xCell + 6 + m.Width("漢..."));
    EXPECT_GE(span.second, xCell + 6 + m.Width("漢..") + 1);
}

TEST_F(ListCtrlExTest, ImagesFocusRectangleAndBlends)
{
    L::CImageList state(12, 12), small(16, 16);
    state.Add(SolidImage(12, 12, QColor(255, 0, 0)));
    small.Add(SolidImage(16, 16, QColor(0, 200, 0)));
    QImage holed = SolidImage(16, 16, QColor(0, 0, 0, 0));
    holed.setPixelColor(15, 15, QColor(200, 0, 200));
    small.Add(holed);
    small.SetOverlayImage(1, 1);

    EXPECT_EQ(list.SetImageList(&small, L::LVSIL_SMALL), nullptr);
    EXPECT_EQ(list.m_cxStateImage, 0);
    list.SetImageList(&state, L::LVSIL_STATE);
    EXPECT_EQ(list.m_cxStateImage, 12);

    list.SetItemState(0, L::IndexToStateImageMask(1), L::LVIS_STATEIMAGEMASK);
    list.SetItemState(1, L::LVIS_CUT | L::IndexToOverlayMask(1), L::LVIS_CUT | L::LVIS_OVERLAYMASK);
    list.SetItemState(2, L::LVIS_SELECTED | L::LVIS_FOCUSED, L::LVIS_SELECTED | L::LVIS_FOCUSED);
    Focus();
    const QImage img = Render();
    const COLORREF hi = GetSysColor(COLOR_HIGHLIGHT);
    const COLORREF bk = list.m_clrBkgnd;

    const CRect rc0 = Rect(0);
    EXPECT_EQ(PixelAt(img, rc0.left + 3, rc0.top + 3), RGB(255, 0, 0));
    const CRect icon0 = Rect(0, L::LVIR_ICON);
    EXPECT_EQ(icon0.left, rc0.left + 12);
    EXPECT_EQ(PixelAt(img, icon0.left + 3, icon0.top + 3), RGB(0, 200, 0));
    EXPECT_EQ(Rect(0, L::LVIR_LABEL).left, icon0.right);

    // Cut: blended half and half with the image background; the overlay on top of it.
    const CRect icon1 = Rect(1, L::LVIR_ICON);
    EXPECT_EQ(PixelAt(img, icon1.left + 3, icon1.top + 3),
              RGB(GetRValue(bk) / 2, (200 + GetGValue(bk)) / 2, GetBValue(bk) / 2));
    EXPECT_EQ(PixelAt(img, icon1.left + 15, icon1.top + 15),
              RGB((200 + GetRValue(bk)) / 2, GetGValue(bk) / 2, (200 + GetBValue(bk)) / 2));
    // No state image on row 1: the cell under it keeps the row's surroundings, not red.
    EXPECT_NE(PixelAt(img, Rect(1).left + 3, Rect(1).top + 3), RGB(255, 0, 0));

    // Selected and focused: icon blended with the highlight, which starts at the label.
    const CRect rc2 = Rect(2), icon2 = Rect(2, L::LVIR_ICON), label2 = Rect(2, L::LVIR_LABEL);
    EXPECT_EQ(PixelAt(img, icon2.left + 3, icon2.top + 3),
              RGB(GetRValue(hi) / 2, (200 + GetGValue(hi)) / 2, GetBValue(hi) / 2));
    EXPECT_NE(PixelAt(img, rc2.left + 3, rc2.top + 3), hi);
    // The focus rectangle inverts every other pixel of the highlight's outline.
    const COLORREF inverted = hi ^ 0xFFFFFF;
    const int xRight = list.m_cxClient - 1;
    EXPECT_EQ(PixelAt(img, label2.left, rc2.top), inverted);
    EXPECT_EQ(PixelAt(img, label2.left + 1, rc2.top), hi);
    EXPECT_EQ(PixelAt(img, label2.left, rc2.top + 2), inverted);
    const int oddHeight = (rc2.Height() - 1) % 2;
    EXPECT_EQ(PixelAt(img, label2.left + oddHeight, rc2.bottom - 1), inverted);
    EXPECT_EQ(PixelAt(img, label2.left + 1 - oddHeight, rc2.bottom - 1), hi);
    const int oddWidth = (xRight - label2.left) % 2;
    EXPECT_EQ(PixelAt(img, xRight, rc2.top + oddWidth), inverted);
    EXPECT_EQ(PixelAt(img, xRight, rc2.top + 1 - oddWidth), hi);

    list.clearFocus();
    QApplication::processEvents();
    list.ModifyStyle(0, L::LVS_SHOWSELALWAYS);
    const QImage unfocused = Render();
    EXPECT_EQ(PixelAt(unfocused, label2.left, rc2.top), hi);

    list.SetImageList(nullptr, L::LVSIL_STATE);
    EXPECT_EQ(list.m_cxStateImage, 0);
}

TEST_F(ListCtrlExTest, MouseAndKeysSelectAndFocusRows)
{
    Focus();
    auto centre = [&](int nItem) {
        const CRect rc = Rect(nItem);
        return QPoint(rc.left + 30, rc.top + rc.Height() / 2);
    };
    auto selected = [&] {
        std::vector<int> v;
        for (int i = 0; i < list.GetItemCount(); ++i)
            if (list.GetItemState(i, L::LVIS_SELECTED))
                v.push_back(i);
        return v;
    };
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, centre(1));
    EXPECT_EQ(selected(), std::vector<int>({1}));
    EXPECT_EQ(list.GetFocusedItem(), 1);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, centre(3));
    EXPECT_EQ(selected(), std::vector<int>({1, 3}));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, centre(1));
    EXPECT_EQ(selected(), std::vector<int>({3}));
    EXPECT_EQ(list.GetFocusedItem(), 1);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(4));
    EXPECT_EQ(selected(), std::vector<int>({1, 2, 3, 4}));

    QTest::keyClick(&list, Qt::Key_Up);
    EXPECT_EQ(selected(), std::vector<int>({3}));
    EXPECT_EQ(list.GetFocusedItem(), 3);
    QTest::keyClick(&list, Qt::Key_Up, Qt::ControlModifier);
    QTest::keyClick(&list, Qt::Key_Space, Qt::ControlModifier);
    EXPECT_EQ(selected(), std::vector<int>({2, 3}));
    QTest::keyClick(&list, Qt::Key_End);
    EXPECT_EQ(selected(), std::vector<int>({4}));

    // Right of the columns a click is on no row, unless the selection is by full row.
    const QPoint past(list.viewport()->width() - 5, centre(0).y());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, past);
    EXPECT_TRUE(selected().empty());
    list.SetFullRowSel(true);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::NoModifier, past);
    EXPECT_EQ(selected(), std::vector<int>({0}));
}

// Records the regions painted, to tell an immediate repaint from the default one that
// comes later from the event loop.
class RecordingList : public L {
public:
    std::vector<QRegion> painted;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        painted.push_back(event->region());
        L::paintEvent(event);
    }
};

TEST(ListCtrlExFocus, FocusChangeRepaintsSelectedRowsAtOnce)
{
    struct Case {
        bool fullRow;
        unsigned style;
        std::vector<int> rows;  // repainted at once, in order
    } cases[] = {
        {false, L::LVS_REPORT, {1, 3}},  // whatever the full-row setting
        {true, L::LVS_REPORT, {1, 3}},
        {true, L::LVS_REPORT | L::LVS_SHOWSELALWAYS, {3}},  // only the focused row
        {true, 0, {}},  // not in report mode
    };
    for (const Case& c : cases) {
        RecordingList list;
        list.resize(400, 200);
        list.ModifyStyle(L::LVS_TYPEMASK | L::LVS_SHOWSELALWAYS, c.style);
        list.InsertColumn(0, "a", L::LVCFMT_LEFT, 100);
        for (int i = 0; i < 5; ++i)
            list.InsertItem(i, "row");
        list.SetItemState(1, L::LVIS_SELECTED, L::LVIS_SELECTED);
        list.SetItemState(3, L::LVIS_SELECTED | L::LVIS_FOCUSED, L::LVIS_SELECTED | L::LVIS_FOCUSED);
        list.SetFullRowSel(c.fullRow);
        list.show();
        list.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
        list.clearFocus();  // an activated window hands focus to its first widget
        QApplication::processEvents();

        for (const bool in : {true, false}) {
            list.painted.clear();
            if (in)
                list.setFocus();
            else
                list.clearFocus();
            ASSERT_EQ(list.hasFocus(), in);
            QRegion expected;
            for (const int nItem : c.rows) {
                CRect rc, rcLabel;
                list.GetItemRect(nItem, &rc, L::LVIR_BOUNDS);
                list.GetItemRect(nItem, &rcLabel, L::LVIR_LABEL);
                expected += QRect(rcLabel.left, rc.top, rc.right - rcLabel.left, rc.Height());
            }
            if (c.rows.empty()) {
                EXPECT_TRUE(list.painted.empty()) << c.fullRow << " " << c.style;
            } else {
                ASSERT_EQ(list.painted.size(), 1u) << c.fullRow << " " << c.style;
                EXPECT_EQ(list.painted[0], expected);
            }
        }
    }
}

// What the screen shows after a focus change, read from the window's backing store (a
// fresh grab() would repaint everything and hide a row left stale): the highlight and
// the focus rectangle follow the focus with full-row selection off, the default.
TEST_F(ListCtrlExTest, HighlightOnScreenFollowsTheFocus)
{
    ASSERT_FALSE(list.GetFullRowSel());
    list.SetItemState(2, L::LVIS_SELECTED | L::LVIS_FOCUSED, L::LVIS_SELECTED | L::LVIS_FOCUSED);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    const CRect label = Rect(2, L::LVIR_LABEL);
    const QPoint inRow = list.viewport()->mapTo(list.window(), QPoint(label.left + 30, label.top + 2));
    const QPoint corner = list.viewport()->mapTo(list.window(), QPoint(label.left, label.top));
    const auto onScreen = [&](QPoint at) {
        QApplication::processEvents();
        const auto* image = dynamic_cast<const QImage*>(list.window()->backingStore()->paintDevice());
        EXPECT_NE(image, nullptr);
        return image != nullptr ? FromQColor(image->pixelColor(at)) : COLORREF(0);
    };
    const COLORREF hi = GetSysColor(COLOR_HIGHLIGHT);
    for (int round = 0; round < 2; ++round) {
        Focus();
        EXPECT_EQ(onScreen(inRow), hi) << round;
        EXPECT_EQ(onScreen(corner), hi ^ 0xFFFFFF) << round;  // the focus rectangle
        list.clearFocus();
        EXPECT_EQ(onScreen(inRow), list.m_clrTextBk) << round;
        EXPECT_EQ(onScreen(corner), list.m_clrTextBk) << round;
    }
}

// A small image list of another size is drawn in the 16 by 16 icon cell, not over the
// label beside it.
TEST_F(ListCtrlExTest, LargerSmallImagesStayInTheIconCell)
{
    L::CImageList small(24, 24);
    small.Add(SolidImage(24, 24, QColor(0, 200, 0)));
    list.SetImageList(&small, L::LVSIL_SMALL);
    const QImage img = Render();
    const CRect icon = Rect(0, L::LVIR_ICON);
    EXPECT_EQ(icon.Width(), 16);
    EXPECT_EQ(PixelAt(img, icon.left + 15, icon.top + 3), RGB(0, 200, 0));
    EXPECT_NE(PixelAt(img, icon.left + 17, icon.top + 3), RGB(0, 200, 0));
    EXPECT_NE(PixelAt(img, icon.left + 3, icon.top + 16), RGB(0, 200, 0));
}

TEST_F(ListCtrlExTest, ColoursSizeAndPaintWidening)
{
    EXPECT_EQ(L().m_clrTextBk, GetSysColor(COLOR_WINDOW));
    list.SetTextColor(RGB(1, 2, 3));
    EXPECT_EQ(list.m_clrText, RGB(1, 2, 3));
    // Unhighlighted text stays blue whatever the text colour says.
    EXPECT_TRUE(AnyPixel(Render(), Rect(0), IsBlueInk));

    list.resize(380, 220);
    QApplication::processEvents();
    EXPECT_EQ(list.m_cxClient, list.viewport()->width());

    const int right = Rect(0).right;
    const QRect inside(50, 0, 10, 20), beyond(right + 20, 5, 10, 20);
    EXPECT_TRUE(list.WidenedPaintStrip(inside).isNull());
    list.SetFullRowSel(true);
    EXPECT_EQ(list.WidenedPaintStrip(inside), QRect(QPoint(50, 0), QPoint(list.m_cxClient - 1, 19)));
    EXPECT_EQ(list.WidenedPaintStrip(beyond), QRect(QPoint(right - 1, 5), QPoint(list.m_cxClient - 1, 24)));
    list.m_bFullWidthHighlight = false;
    EXPECT_TRUE(list.WidenedPaintStrip(inside).isNull());
    list.m_bFullWidthHighlight = true;
    list.SetColumnWidth(0, 400);
    EXPECT_TRUE(list.WidenedPaintStrip(inside).isNull());
}

// A list with everything at once: state and small images, a label too long for its
// column, a number too wide for its right-aligned cell, the selected focused row.
TEST_F(ListCtrlExTest, FilledList)
{
    L::CImageList small(16, 16), state(12, 12);
    small.Add(SolidImage(16, 16, QColor(60, 60, 160)));
    state.Add(SolidImage(12, 12, QColor(0, 0, 0)));
    list.SetImageList(&small, L::LVSIL_SMALL);
    list.SetImageList(&state, L::LVSIL_STATE);
    list.SetFullRowSel(true);
    const std::string longName = "とても長いファイルの名前_2024年度_報告書.txt";
    list.SetItemText(1, 0, longName);
    list.SetItemText(2, 1, "123,456,789,012");
    for (int i = 0; i < list.GetItemCount(); i += 2)
        list.SetItemState(i, L::IndexToStateImageMask(1), L::LVIS_STATEIMAGEMASK);
    list.SetItemState(2, L::LVIS_SELECTED | L::LVIS_FOCUSED, L::LVIS_SELECTED | L::LVIS_FOCUSED);
    Focus();
    const QImage img = Render();
    const COLORREF hi = GetSysColor(COLOR_HIGHLIGHT);

    // State images on rows 0, 2 and 4 only; the small icon beside them on every row.
    for (int i = 0; i < list.GetItemCount(); ++i) {
        const CRect rc = Rect(i);
        EXPECT_EQ(PixelAt(img, rc.left + 3, rc.top + 3) == RGB(0, 0, 0), i % 2 == 0) << i;
        const CRect icon = Rect(i, L::LVIR_ICON);
        const COLORREF iconInk = PixelAt(img, icon.left + 5, icon.top + 5);
        EXPECT_TRUE(i == 2 ? iconInk != RGB(60, 60, 160) : iconInk == RGB(60, 60, 160)) << i;  // row 2 blended
    }
    // The long name is cut to what fits its column, ending in "...", and stays inside it.
    Measure m(list);
    const CRect label1 = Rect(1, L::LVIR_LABEL);
    const auto [inkLeft, inkRight] =
        InkSpan(img, label1.left, list.GetColumnWidth(0), label1.top + 1, label1.bottom - 1, list.m_clrTextBk);
    ASSERT_GE(inkLeft, 0);
    EXPECT_LT(inkRight, list.GetColumnWidth(0) - 2);
    EXPECT_GT(m.Width(longName), list.GetColumnWidth(0));
    // The selected row is highlighted out to the client width, past the last column.
    const CRect rc2 = Rect(2);
    EXPECT_EQ(PixelAt(img, list.m_cxClient - 3, rc2.top + 3), hi);
}

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InstallFontSubstitutions();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
