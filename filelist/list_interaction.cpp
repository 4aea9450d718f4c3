#include "draw/fit_text.h"
#include "filelist/list_marking.h"
#include "filelist/vantrel_view.h"
#include "framework/qt_text.h"
#include "textfile/visible_text.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QImage>
#include <QPainter>
#include <QToolTip>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QWheelEvent>

ListGeometry CVantrelView::Geometry() const
{
    ListGeometry g;
    g.cxClient = width();
    g.cxScrollShown = m_cxScrollShown;
    g.nVisibleRows = m_nVisibleRows;
    g.nNoticeHeight = m_nNoticeHeight;
    g.nInfoHeight = m_nInfoHeight;
    g.nRowHeight = m_nRowHeight;
    g.cxNoCol = m_cxNoCol;
    g.cxSizeCol = m_cxSizeCol;
    g.cxPagesCol = m_cxPagesCol;
    g.cxPrintedCol = m_cxPrintedCol;
    return g;
}

void CVantrelView::CreateScrollBar()
{
    m_pScrollBar = new QScrollBar(Qt::Vertical, this);
    // The view keeps the keys: its own Page and arrow rules apply.
    m_pScrollBar->setFocusPolicy(Qt::NoFocus);
    m_pScrollBar->setSingleStep(1);
    m_cxVScroll = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_pScrollBar);
    m_pScrollBar->setGeometry(width() - m_cxVScroll, 0, m_cxVScroll, height());
    m_pScrollBar->show();
    connect(m_pScrollBar, &QAbstractSlider::actionTriggered, this, &CVantrelView::OnScrollAction);
    connect(m_pScrollBar, &QAbstractSlider::sliderReleased, this,
            [this] { OnVScroll(SB_THUMBPOSITION, m_pScrollBar->sliderPosition()); });
}

void CVantrelView::OnScrollAction(int action)
{
    int code = SB_ENDSCROLL;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub:
        code = SB_LINEUP;
        break;
    case QAbstractSlider::SliderSingleStepAdd:
        code = SB_LINEDOWN;
        break;
    case QAbstractSlider::SliderPageStepSub:
        code = SB_PAGEUP;
        break;
    case QAbstractSlider::SliderPageStepAdd:
        code = SB_PAGEDOWN;
        break;
    case QAbstractSlider::SliderMove:
        code = SB_THUMBTRACK;
        break;
    case QAbstractSlider::SliderToMinimum:
        code = SB_TOP;
        break;
    case QAbstractSlider::SliderToMaximum:
        code = SB_BOTTOM;
        break;
    default:
        break;
    }
    // The slider has already moved its position for this action; the view decides.
    OnVScroll(code, m_pScrollBar->sliderPosition());
}

void CVantrelView::OnVScroll(int nSBCode, int nPos)
{
    m_nTopRow = ScrollTarget(m_nTopRow, nSBCode, nPos, m_nVisibleRows);
    ApplyScrollState(m_nVisibleRows);
    InvalidateRect(&m_rcList);
}

void CVantrelView::UpdateScrollBar()
{
    if (m_pScrollBar != nullptr)
        m_pScrollBar->setVisible(m_nVisibleRows < static_cast<int>(m_aFiles.size()));
    ApplyScrollState(m_nVisibleRows);
}

void CVantrelView::ApplyScrollState(int nPage)
{
    const int count = static_cast<int>(m_aFiles.size());
    m_nTopRow = ClampTopRow(m_nTopRow, count, nPage);
    if (m_pScrollBar == nullptr)
        return;
    // Qt's maximum is the highest top row; the thumb is page / count of the track, as
    // a range of 0 .. count - 1 with that page gives.
    m_pScrollBar->setRange(0, ClampTopRow(count, count, nPage));
    m_pScrollBar->setPageStep(nPage > 0 ? nPage : 1);
    m_pScrollBar->setValue(m_nTopRow);
    m_nTopRow = m_pScrollBar->value();
}

void CVantrelView::OnSize(int cx, int cy)
{
    if (cx <= 0)
        return;
    m_cxVScroll = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_pScrollBar);
    m_nVisibleRows = VisibleRowsForHeight(cy, m_nNoticeHeight, m_nInfoHeight, m_nRowHeight);
    if (m_pScrollBar == nullptr)
        return;
    const ListGeometry g = Geometry();
    const PixelRect bar = g.ScrollBarRect(m_cxVScroll);
    m_pScrollBar->setGeometry(bar.left, bar.top, bar.right - bar.left, bar.bottom - bar.top);
    m_pScrollBar->setVisible(m_nVisibleRows < static_cast<int>(m_aFiles.size()));
    ApplyScrollState(m_nVisibleRows);
}

void CVantrelView::OnLButtonDown(unsigned nFlags, CPoint point)
{
    // The marks stay as the print command found them until its jobs have ended.
    if (m_aFiles.empty() || m_bPrinting)
        return;
    if (!m_rcList.PtInRect(point))
        return;
    const int row = Geometry().RowAt(point.y);
    if (!ApplyClick(m_aFiles, m_nTopRow, m_nVisibleRows, row, nFlags))
        return;
    InvalidateRect(&m_rcList);
    InvalidateRect(&m_rcTotal);
    emit commandStateChanged();
}

void CVantrelView::OnKeyDown(unsigned nChar)
{
    // While printing, Escape and the page keys still act; the arrows would move the mark.
    if (m_bPrinting && (nChar == VK_UP || nChar == VK_DOWN))
        return;
    const KeyOutcome out = ApplyKey(m_aFiles, m_nTopRow, m_nVisibleRows, nChar);
    if (out.cancelPrint)
        m_bCancelPrint = 1;
    if (out.updateScrollBar)
        UpdateScrollBar();
    if (out.repaint) {
        InvalidateRect(&m_rcList);
        InvalidateRect(&m_rcTotal);
        emit commandStateChanged();
    }
}

void CVantrelView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    OnSize(width(), height());
}

void CVantrelView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    event->accept();
    const QPoint pos = event->position().toPoint();
    unsigned flags = 0;
    if (event->modifiers() & Qt::ControlModifier)
        flags |= MK_CONTROL;
    if (event->modifiers() & Qt::ShiftModifier)
        flags |= MK_SHIFT;
    OnLButtonDown(flags, CPoint{pos.x(), pos.y()});
}

void CVantrelView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second click of a double click does not act: QWidget's default would hand
    // it to mousePressEvent as another click.
    event->accept();
}

void CVantrelView::keyPressEvent(QKeyEvent* event)
{
    unsigned vk = 0;
    switch (event->key()) {
    case Qt::Key_Escape:
        vk = VK_ESCAPE;
        break;
    case Qt::Key_PageUp:
        vk = VK_PRIOR;
        break;
    case Qt::Key_PageDown:
        vk = VK_NEXT;
        break;
    case Qt::Key_Up:
        vk = VK_UP;
        break;
    case Qt::Key_Down:
        vk = VK_DOWN;
        break;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    OnKeyDown(vk);
    event->accept();
}

void CVantrelView::wheelEvent(QWheelEvent* event)
{
    // The wheel over the rows scrolls as it does over the bar.
    if (m_pScrollBar != nullptr && !m_pScrollBar->isHidden())
        QCoreApplication::sendEvent(m_pScrollBar, event);
    else
        event->ignore();
}

bool CVantrelView::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const ListGeometry g = Geometry();
    const int index = m_nTopRow + g.RowAt(help->pos().y());
    if (!g.ListRect().Contains(help->pos().x(), help->pos().y()) || index < 0 ||
        index >= static_cast<int>(m_aFiles.size())) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    // Measured as the row draws it: on this view, in the list's face at the row's height.
    const std::string name = VisibleText(m_aFiles[static_cast<std::size_t>(index)].strName);
    QImage scratch(1, 1, QImage::Format_RGB32);
    QPainter painter(&scratch);
    CDC dc(&painter, this);
    const int top = g.RowsTop() + (index - m_nTopRow) * g.nRowHeight;
    if (TextFitsWhole(&dc, CRect{g.NameLeft(), top, g.SizeLeft(), top + g.nRowHeight}, name, CFitTextStyle())) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), ToQt(name), this);
    }
    return true;
}
