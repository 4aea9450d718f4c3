#include "filelist/vantrel_view.h"

#include "app/vantrel_app.h"
#include "draw/sunken_frame.h"
#include "filelist/format_number.h"
#include "textfile/visible_text.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <string>

namespace {

enum { ALIGN_CENTER = 0, ALIGN_LEFT = 1, ALIGN_RIGHT = 2 };

const char* const kNotice = "★★ 印刷フォーマットは【Ａ４縦】固定 ★★";

CRect ToCRect(const PixelRect& r)
{
    return CRect{r.left, r.top, r.right, r.bottom};
}

// One text through the application's fit-text, with the style items that differ from
// its defaults (it resets them after every call).
void FitText(CDC* pDC, const CRect& rc, const std::string& text, int align, COLORREF color, bool bold = false)
{
    CVantrelApp* app = &theApp;
    app->m_nAlign = align;
    app->m_crTextColor = color;
    app->m_bBold = bold ? 1 : 0;
    app->DrawFitText(pDC, rc, text);
}

}  // namespace

void CVantrelView::paintEvent(QPaintEvent* event)
{
    const QRect update = event->rect();
    if (update.isEmpty())
        return;
    // The whole view is drawn into an image of the update rectangle and copied in one
    // blit: nothing on screen is ever erased first, so nothing flickers. The image is
    // kept between paints; a fresh one per paint costs page faults at every size.
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = update.size() * dpr;
    if (m_imgBuffer.width() < pixels.width() || m_imgBuffer.height() < pixels.height() ||
        m_imgBuffer.devicePixelRatio() != dpr) {
        m_imgBuffer = QImage(pixels, QImage::Format_RGB32);
        m_imgBuffer.setDevicePixelRatio(dpr);
    }
    {
        QPainter painter(&m_imgBuffer);
        painter.setClipRect(QRect(QPoint(0, 0), update.size()));
        CDC dc(&painter);
        // No fill in the window colour first: OnDraw's own first step covers every pixel.
        dc.SetViewportOrg(-update.left(), -update.top());
        OnDraw(&dc);
        dc.SetViewportOrg(0, 0);
    }
    QPainter screen(this);
    screen.drawImage(update.topLeft(), m_imgBuffer, QRectF(QPointF(0, 0), QSizeF(pixels)));
}

void CVantrelView::OnDraw(CDC* pDC)
{
    const int cx = width();
    pDC->FillSolidRect(0, 0, cx, height(), GetSysColor(COLOR_BTNFACE));
    m_cxScrollShown = m_pScrollBar != nullptr && !m_pScrollBar->isHidden() ? m_cxVScroll : 0;
    const ListGeometry g = Geometry();
    m_rcList = ToCRect(g.ListRect());
    m_rcTotal = ToCRect(g.TotalRect());
    DrawListFrame(pDC);
    DrawListRows(pDC);
    // The etched line under the frame's toolbar.
    pDC->FillSolidRect(0, 0, cx, 1, GetSysColor(COLOR_BTNSHADOW));
    pDC->FillSolidRect(0, 1, cx, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
}

void CVantrelView::DrawListFrame(CDC* pDC)
{
    const ListGeometry g = Geometry();
    const int R = g.Right();
    const int top = g.HeadingTop();
    const int bottom = g.RowsTop();

    theApp.m_strFaceName = "ＭＳ Ｐ明朝";
    FitText(pDC, ToCRect(g.NoticeRect()), kNotice, ALIGN_CENTER, RGB(0, 0, 0), true);

    if (!m_strFolder.empty()) {
        FitText(pDC, ToCRect(g.FolderLabelRect()), "フォルダ: ", ALIGN_LEFT, RGB(255, 255, 255), true);
        FitText(pDC, ToCRect(g.FolderRect()), VisibleText(m_strFolder), ALIGN_LEFT, RGB(0, 0, 255), true);
        const std::string total = FormatNumber(static_cast<double>(MarkedPages()), ",");
        // The red digits land on the white ones: both end at the same right edge.
        const CRect rcTotal = ToCRect(g.TotalTextRect());
        FitText(pDC, rcTotal, "総印刷枚数:　" + total, ALIGN_RIGHT, RGB(255, 255, 255), true);
        FitText(pDC, rcTotal, total, ALIGN_RIGHT, RGB(255, 0, 0), true);
    }

    pDC->FillSolidRect(ToCRect(g.HeadingRect()), RGB(255, 255, 0));

    struct Heading {
        int left;
        int right;
        const char* text;
    };
    const Heading headings[] = {
        {g.PrintedLeft(), R, "印刷済"},
        {g.PagesLeft(), g.PrintedLeft(), "印刷枚数"},
        {g.SizeLeft(), g.PagesLeft(), "サイズ(Byte)"},
        {g.NameLeft(), g.SizeLeft(), "ファイル名"},
        {10, g.NameLeft(), "Ｎｏ."},
    };
    for (const Heading& h : headings) {
        pDC->MoveTo(h.left, top);
        pDC->LineTo(h.left, bottom);
        pDC->LineTo(h.right, bottom);
        pDC->LineTo(h.right, top);
        pDC->LineTo(h.left, top);
        FitText(pDC, CRect{h.left, top, h.right, bottom}, h.text, ALIGN_CENTER, RGB(0, 0, 0));
    }

    {
        CPen light(PS_SOLID, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
        CPen* old = pDC->SelectObject(&light);
        pDC->MoveTo(R - 1, top);
        pDC->LineTo(10, top);
        pDC->LineTo(10, bottom);
        pDC->SelectObject(old);
    }
    {
        CPen dark(PS_SOLID, 1, GetSysColor(COLOR_3DDKSHADOW));
        CPen* old = pDC->SelectObject(&dark);
        pDC->MoveTo(10, bottom - 1);
        pDC->LineTo(R, bottom - 1);
        pDC->SelectObject(old);
    }

    DrawSunkenFrame(pDC, ToCRect(g.SunkenFrameRect()), 3, GetSysColor(COLOR_BTNFACE), 0);
}

void CVantrelView::DrawListRows(CDC* pDC)
{
    const ListGeometry g = Geometry();
    const int R = g.Right();
    const COLORREF onMark = GetSysColor(COLOR_BTNHIGHLIGHT);
    CPen rule(PS_SOLID, 1, RGB(224, 224, 224));
    CPen* old = pDC->SelectObject(&rule);

    pDC->FillSolidRect(ToCRect(g.ListRect()), RGB(255, 255, 255));

    // Only the visible rows: the cost of a paint does not grow with the list.
    const int count = static_cast<int>(m_aFiles.size());
    int y = g.RowsTop();
    for (int i = m_nTopRow; i < m_nTopRow + m_nVisibleRows && i < count; ++i, y += m_nRowHeight) {
        const FileEntry& e = m_aFiles[static_cast<size_t>(i)];
        const bool marked = e.nMark == 1;
        const int yb = y + m_nRowHeight;
        if (marked) {
            pDC->FillSolidRect(CRect{10, y, R, yb}, GetSysColor(COLOR_HIGHLIGHT));
            DrawDottedFrame(pDC, CRect{10, y, R, yb});
        } else {
            // Also covers the bottom dots of a marked row above, drawn on this row's
            // first pixel row.
            pDC->FillSolidRect(CRect{10, y, R, yb}, RGB(255, 255, 255));
        }
        if (e.nPrinted != 0)
            FitText(pDC, CRect{g.PrintedLeft(), y, R, yb}, "●", ALIGN_CENTER, marked ? onMark : RGB(0, 0, 255));
        pDC->MoveTo(10, yb - 1);
        pDC->LineTo(R, yb - 1);
        FitText(pDC, CRect{g.PagesLeft(), y, g.PrintedLeft(), yb}, FormatNumber(static_cast<double>(e.nPages), ","),
                ALIGN_RIGHT, marked ? onMark : RGB(255, 0, 0));
        FitText(pDC, CRect{g.SizeLeft(), y, g.PagesLeft(), yb}, FormatNumber(static_cast<double>(e.lSize), ","),
                ALIGN_RIGHT, marked ? onMark : RGB(0, 0, 255));
        FitText(pDC, CRect{g.NameLeft(), y, g.SizeLeft(), yb}, VisibleText(e.strName), ALIGN_LEFT,
                marked ? onMark : RGB(0, 0, 255));
        FitText(pDC, CRect{10, y, g.NameLeft(), yb}, std::to_string(i + 1) + " ", ALIGN_RIGHT,
                marked ? onMark : RGB(128, 128, 128));
    }

    pDC->SelectObject(old);
    DrawColumnRules(pDC);
}

void CVantrelView::DrawColumnRules(CDC* pDC)
{
    const ListGeometry g = Geometry();
    const int xs[] = {g.NameLeft(), g.SizeLeft(), g.PagesLeft(), g.PrintedLeft()};
    const int top = g.HeadingTop();
    const int bottom = top + m_nRowHeight * (m_nVisibleRows + 1);
    // One dot on every odd pixel row, in the default black pen. Drawn as one batch of
    // points: a tall window has thousands of them.
    m_aRulePoints.clear();
    for (int y = top | 1; y < bottom; y += 2)
        for (int x : xs)
            m_aRulePoints.push_back(CPoint{x, y});
    pDC->SetPixels(m_aRulePoints, RGB(0, 0, 0));
}
