#include "framework/print_preview.h"

#include "framework/cdc.h"
#include "framework/dialog_units.h"
#include "framework/message_box.h"
#include "framework/qt_text.h"
#include "framework/win_app.h"

#include <QEvent>
#include <QGraphicsItem>
#include <QGraphicsView>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QShortcut>
#include <QToolBar>
#include <QVBoxLayout>

#include <algorithm>

namespace {

struct BarButton {
    unsigned id;
    const char* text;
    int x;
};

// The preview bar: 330 x 16 units, buttons of 44 x 12 units.
constexpr int kBarWidth = 330;
constexpr int kBarHeight = 16;
constexpr BarButton kButtons[] = {
    {CPrintPreview::ID_PREVIEW_PRINT, "印刷(&P)...", 2},    {CPrintPreview::ID_PREVIEW_NEXT, "次ﾍﾟｰｼﾞ(&N)", 48},
    {CPrintPreview::ID_PREVIEW_PREV, "前ﾍﾟｰｼﾞ(&V)", 94},    {CPrintPreview::ID_PREVIEW_NUMPAGE, "2 ﾍﾟｰｼﾞ(&T)", 140},
    {CPrintPreview::ID_PREVIEW_ZOOMIN, "ｽﾞｰﾑ ｲﾝ(&I)", 186}, {CPrintPreview::ID_PREVIEW_ZOOMOUT, "ｽﾞｰﾑ ｱｳﾄ(&O)", 232},
    {CPrintPreview::ID_PREVIEW_CLOSE, "閉じる(&C)", 278},
};

const char* const kOnePage = "1 ﾍﾟｰｼﾞ(&O)";
const char* const kTwoPages = "2 ﾍﾟｰｼﾞ(&T)";

// Zoom of the middle and the closest state, relative to the page's real size on screen.
constexpr double kMiddleZoom = 1.0;
constexpr double kInZoom = 2.0;

}  // namespace

CPrintPreview* CPrintPreview::Open(CPrintHooks& hooks, QWidget* view, std::function<void()> onPrint)
{
    auto* preview = new CPrintPreview(hooks, view, std::move(onPrint));
    preview->m_info.m_bPreview = true;
    if (!hooks.OnPreparePrinting(&preview->m_info) || preview->m_info.m_pPrinter == nullptr) {
        delete preview;
        return nullptr;
    }
    // The printer's resolution, or the PDF printer's where no printer can be set up.
    if (CanSetUp(*preview->m_info.m_pPrinter))
        ConfigurePdfPrinter(preview->m_printer, *preview->m_info.m_pPrinter);
    else
        ConfigurePdfPrinter(preview->m_printer, kPdfResolution);
    preview->m_printer.setDocName(hooks.DocumentTitle());

    QMainWindow* frame = view ? qobject_cast<QMainWindow*>(view->window()) : nullptr;
    if (frame == nullptr || frame->centralWidget() != view) {
        hooks.OnEndPrinting(nullptr, &preview->m_info);
        delete preview;
        AfxMessageBox("ｺﾏﾝﾄﾞの実行に失敗しました。", MB_OK);
        return nullptr;
    }
    preview->m_pFrame = frame;
    // The frame's own bars give way to the preview bar, as the framework's preview does.
    if (frame->menuBar() != nullptr)
        frame->menuBar()->hide();
    for (QToolBar* bar : frame->findChildren<QToolBar*>()) {
        bar->setProperty("vantrelPreviewHid", bar->isVisible());
        bar->hide();
    }
    frame->takeCentralWidget();
    view->hide();
    view->setParent(nullptr);
    frame->setCentralWidget(preview);
    preview->show();

    hooks.OnBeginPrinting(nullptr, &preview->m_info);
    // Showing the preview draws its pages once.
    preview->ApplyView();
    // One page or two, as the user left it last time ("Settings"/"PreviewPages").
    if (AfxGetApp() != nullptr && AfxGetApp()->m_nNumPreviewPages == 2 && preview->PageCount() > 1) {
        preview->m_bTwoPages = true;
        preview->ApplyView();
    }
    preview->setFocus();
    return preview;
}

CPrintPreview::CPrintPreview(CPrintHooks& hooks, QWidget* view, std::function<void()> onPrint)
    : m_hooks(hooks), m_pView(view), m_onPrint(std::move(onPrint))
{
    setFocusPolicy(Qt::StrongFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildBar();
    layout->addWidget(m_pBar);
    m_pPreview = new QPrintPreviewWidget(&m_printer, this);
    m_pPreview->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_pPreview, 1);
    connect(m_pPreview, &QPrintPreviewWidget::paintRequested, this, &CPrintPreview::PaintPages);
    connect(m_pPreview, &QPrintPreviewWidget::previewChanged, this, &CPrintPreview::UpdateButtons);
    // The two-page view is laid out and fitted here; a new size fits it again.
    if (auto* graphics = m_pPreview->findChild<QGraphicsView*>())
        graphics->installEventFilter(this);

    const auto key = [this](const QKeySequence& seq, void (CPrintPreview::*fn)()) {
        auto* shortcut = new QShortcut(seq, this);
        shortcut->setContext(Qt::WindowShortcut);  // the frame's accelerators while the preview is up
        connect(shortcut, &QShortcut::activated, this, fn);
    };
    key(QKeySequence(Qt::Key_PageDown), &CPrintPreview::NextPage);
    key(QKeySequence(Qt::Key_PageUp), &CPrintPreview::PrevPage);
    key(QKeySequence(Qt::Key_Escape), &CPrintPreview::Close);
}

CPrintPreview::~CPrintPreview() = default;

void CPrintPreview::BuildBar()
{
    m_pBar = new QWidget(this);
    m_pBar->setFont(DialogTemplateFont("MS Sans Serif", 8));
    m_pBar->setFixedHeight(DialogUnitsToPixels(m_pBar->font(), 0, 0, kBarWidth, kBarHeight).height());
    for (const BarButton& b : kButtons) {
        auto* button = new QPushButton(ToQt(b.text), m_pBar);
        button->setProperty("id", b.id);
        button->setFocusPolicy(Qt::NoFocus);
        button->setGeometry(DialogUnitsToPixels(m_pBar->font(), b.x, 2, 44, 12));
        switch (b.id) {
        case ID_PREVIEW_PRINT:
            connect(button, &QPushButton::clicked, this, [this] {
                // The command runs after the preview is gone, on the view it was made for.
                std::function<void()> onPrint = m_onPrint;
                Close();
                if (onPrint)
                    onPrint();
            });
            break;
        case ID_PREVIEW_NEXT:
            connect(button, &QPushButton::clicked, this, &CPrintPreview::NextPage);
            break;
        case ID_PREVIEW_PREV:
            connect(button, &QPushButton::clicked, this, &CPrintPreview::PrevPage);
            break;
        case ID_PREVIEW_NUMPAGE:
            connect(button, &QPushButton::clicked, this, &CPrintPreview::ToggleTwoPages);
            break;
        case ID_PREVIEW_ZOOMIN:
            connect(button, &QPushButton::clicked, this, &CPrintPreview::ZoomInStep);
            break;
        case ID_PREVIEW_ZOOMOUT:
            connect(button, &QPushButton::clicked, this, &CPrintPreview::ZoomOutStep);
            break;
        default:
            connect(button, &QPushButton::clicked, this, &CPrintPreview::Close);
            break;
        }
    }
}

QPushButton* CPrintPreview::Button(unsigned id) const
{
    for (QPushButton* button : m_pBar->findChildren<QPushButton*>())
        if (button->property("id").toUInt() == id)
            return button;
    return nullptr;
}

void CPrintPreview::PaintPages(QPrinter* printer)
{
    QPainter painter(printer);
    CDC dc(&painter, printer);
    bool firstPage = true;
    m_hooks.OnPrintPages(&dc, &m_info, [&](std::int64_t page) {
        m_info.m_nCurPage = page;
        if (!firstPage)
            printer->newPage();
        firstPage = false;
        return true;
    });
}

int CPrintPreview::CurrentPage() const
{
    return m_pPreview->currentPage();
}

int CPrintPreview::PageCount() const
{
    return m_pPreview->pageCount();
}

int CPrintPreview::FirstShownPage() const
{
    const int page = CurrentPage();
    return m_bTwoPages && m_nZoom == ZoomOut && page > 1 ? page - (page - 1) % 2 : page;
}

void CPrintPreview::NextPage()
{
    const bool two = m_bTwoPages && m_nZoom == ZoomOut;
    const int next = FirstShownPage() + (two ? 2 : 1);
    if (next <= PageCount()) {
        if (two)
            ShowPair(next);
        else
            m_pPreview->setCurrentPage(next);
    }
    UpdateButtons();
}

void CPrintPreview::PrevPage()
{
    const bool two = m_bTwoPages && m_nZoom == ZoomOut;
    const int previous = FirstShownPage() - (two ? 2 : 1);
    if (previous >= 1) {
        if (two)
            ShowPair(previous);
        else
            m_pPreview->setCurrentPage(previous);
    }
    UpdateButtons();
}

void CPrintPreview::ShowPair(int page)
{
    auto* graphics = m_pPreview->findChild<QGraphicsView*>();
    if (graphics == nullptr || graphics->scene() == nullptr)
        return;
    // The pages in their order, whatever places Qt gave them.
    QList<QGraphicsItem*> pages = graphics->scene()->items();
    std::sort(pages.begin(), pages.end(), [](const QGraphicsItem* a, const QGraphicsItem* b) {
        return a->pos().y() != b->pos().y() ? a->pos().y() < b->pos().y() : a->pos().x() < b->pos().x();
    });
    if (pages.isEmpty())
        return;
    const QSizeF place = pages.front()->boundingRect().size();
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const qsizetype column = i % 2, row = i / 2;  // two pages a row
        pages[i]->setPos(
            QPointF(static_cast<double>(column) * place.width(), static_cast<double>(row) * place.height()));
    }
    graphics->scene()->setSceneRect(graphics->scene()->itemsBoundingRect());
    const int first = std::clamp(page - (page - 1) % 2, 1, static_cast<int>(pages.size()));
    QRectF pair = pages[first - 1]->sceneBoundingRect();
    if (first < pages.size())
        pair |= pages[first]->sceneBoundingRect();
    // Qt's own fitting would frame page 1 with an empty place beside it.
    m_pPreview->setZoomFactor(1);
    m_pPreview->setCurrentPage(first);
    graphics->fitInView(pair, Qt::KeepAspectRatio);
}

bool CPrintPreview::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Resize && m_bTwoPages && m_nZoom == ZoomOut && !m_bClosed)
        ShowPair(FirstShownPage());
    return QWidget::eventFilter(watched, event);
}

void CPrintPreview::ToggleTwoPages()
{
    if (m_nZoom != ZoomOut || PageCount() < 2)
        return;
    m_bTwoPages = !m_bTwoPages;
    if (AfxGetApp() != nullptr)
        AfxGetApp()->m_nNumPreviewPages = m_bTwoPages ? 2 : 1;
    ApplyView();
}

void CPrintPreview::ZoomInStep()
{
    if (m_nZoom == ZoomIn)
        return;
    m_nZoom = m_nZoom == ZoomOut ? ZoomMiddle : ZoomIn;
    ApplyView();
}

void CPrintPreview::ZoomOutStep()
{
    if (m_nZoom == ZoomOut)
        return;
    m_nZoom = m_nZoom == ZoomIn ? ZoomMiddle : ZoomOut;
    ApplyView();
}

void CPrintPreview::ApplyView()
{
    const int page = CurrentPage();
    // A zoomed page is always shown alone.
    const bool two = m_bTwoPages && m_nZoom == ZoomOut;
    m_pPreview->setViewMode(two ? QPrintPreviewWidget::FacingPagesView : QPrintPreviewWidget::SinglePageView);
    switch (m_nZoom) {
    case ZoomOut:
        if (two) {
            ShowPair(page);
            UpdateButtons();
            return;
        }
        m_pPreview->fitInView();
        break;
    case ZoomMiddle:
        m_pPreview->setZoomFactor(kMiddleZoom);
        break;
    case ZoomIn:
        m_pPreview->setZoomFactor(kInZoom);
        break;
    }
    if (page >= 1)
        m_pPreview->setCurrentPage(page);
    UpdateButtons();
}

void CPrintPreview::UpdateButtons()
{
    const int count = PageCount();
    const int first = FirstShownPage();
    Button(ID_PREVIEW_NEXT)->setEnabled(first + (m_bTwoPages && m_nZoom == ZoomOut ? 2 : 1) <= count);
    Button(ID_PREVIEW_PREV)->setEnabled(first > 1);
    QPushButton* numPage = Button(ID_PREVIEW_NUMPAGE);
    numPage->setText(ToQt(m_bTwoPages ? kOnePage : kTwoPages));
    numPage->setEnabled(m_nZoom == ZoomOut && count > 1);
    Button(ID_PREVIEW_ZOOMIN)->setEnabled(m_nZoom != ZoomIn);
    Button(ID_PREVIEW_ZOOMOUT)->setEnabled(m_nZoom != ZoomOut);
}

void CPrintPreview::Close()
{
    if (m_bClosed)
        return;
    m_bClosed = true;
    if (m_pFrame != nullptr) {
        if (m_pFrame->centralWidget() == this) {
            m_pFrame->takeCentralWidget();
            hide();
        }
        if (m_pView != nullptr) {
            m_pFrame->setCentralWidget(m_pView);
            m_pView->show();
            m_pView->setFocus();
        }
        if (m_pFrame->menuBar() != nullptr)
            m_pFrame->menuBar()->show();
        for (QToolBar* bar : m_pFrame->findChildren<QToolBar*>())
            if (bar->property("vantrelPreviewHid").toBool())
                bar->show();
    }
    m_hooks.OnEndPrinting(nullptr, &m_info);
    emit closed();
    deleteLater();
}
