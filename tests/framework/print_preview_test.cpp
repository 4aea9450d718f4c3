#include "framework/cdc.h"
#include "framework/dialog_units.h"
#include "framework/message_box.h"
#include "framework/print_preview.h"
#include "app/vantrel_app.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QGraphicsItem>
#include <QGraphicsView>
#include <QPrintPreviewWidget>
#include <QPushButton>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

namespace {

class CPageHooks : public CPrintHooks {
public:
    bool OnPreparePrinting(CPrintInfo* pInfo) override
    {
        EXPECT_TRUE(pInfo->m_bPreview);
        pInfo->SetMaxPage(pages);
        pInfo->m_pPrinter = &printer;
        return accept && DoPreparePrinting(pInfo, nullptr);
    }
    void OnPrint(CDC* pDC, CPrintInfo* pInfo) override
    {
        printed.push_back(pInfo->m_nCurPage);
        pDC->TextOut(200, 200, "page " + std::to_string(pInfo->m_nCurPage));
    }
    void OnEndPrinting(CDC*, CPrintInfo* pInfo) override
    {
        EXPECT_TRUE(pInfo->m_bPreview);
        ++ended;
    }

    QPrinter printer{QPrinter::HighResolution};
    std::int64_t pages = 3;
    bool accept = true;
    std::vector<std::int64_t> printed;
    int ended = 0;
};

class PrintPreviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ConfigurePdfPrinter(m_hooks.printer, 600);
        m_hooks.printer.setOutputFileName("/dev/null");
        m_view = new QWidget;
        m_frame.setCentralWidget(m_view);
        m_frame.menuBar()->addMenu("File");
        m_toolBar = m_frame.addToolBar("bar");
        m_frame.resize(800, 700);
        m_frame.show();
        m_frame.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_frame));
    }

    CPrintPreview* Open()
    {
        return CPrintPreview::Open(m_hooks, m_view, [this] { ++m_printCommands; });
    }

    QMainWindow m_frame;
    QWidget* m_view = nullptr;
    QToolBar* m_toolBar = nullptr;
    CPageHooks m_hooks;
    int m_printCommands = 0;
};

TEST_F(PrintPreviewTest, TakesTheViewsPlaceAndGivesItBack)
{
    CPrintPreview* preview = Open();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(m_frame.centralWidget(), preview);
    EXPECT_FALSE(m_frame.menuBar()->isVisible());
    EXPECT_FALSE(m_toolBar->isVisible());
    EXPECT_EQ(preview->PageCount(), 3);
    EXPECT_EQ(m_hooks.printed, (std::vector<std::int64_t>{1, 2, 3}));
    QTest::keyClick(preview, Qt::Key_Escape);
    EXPECT_EQ(m_frame.centralWidget(), m_view);
    EXPECT_TRUE(m_view->isVisible());
    EXPECT_TRUE(m_frame.menuBar()->isVisible());
    EXPECT_TRUE(m_toolBar->isVisible());
    EXPECT_EQ(m_hooks.ended, 1);
}

TEST_F(PrintPreviewTest, BarButtonsTextsAndPlaces)
{
    CPrintPreview* preview = Open();
    ASSERT_NE(preview, nullptr);
    struct Expect {
        unsigned id;
        const char* text;
        int x;
    };
    const Expect buttons[] = {
        {CPrintPreview::ID_PREVIEW_PRINT, "印刷(&P)...", 2},
        {CPrintPreview::ID_PREVIEW_NEXT, "次ﾍﾟｰｼﾞ(&N)", 48},
        {CPrintPreview::ID_PREVIEW_PREV, "前ﾍﾟｰｼﾞ(&V)", 94},
        {CPrintPreview::ID_PREVIEW_NUMPAGE, "2 ﾍﾟｰｼﾞ(&T)", 140},
        {CPrintPreview::ID_PREVIEW_ZOOMIN, "ｽﾞｰﾑ ｲﾝ(&I)", 186},
        {CPrintPreview::ID_PREVIEW_ZOOMOUT, "ｽﾞｰﾑ ｱｳﾄ(&O)", 232},
        {CPrintPreview::ID_PREVIEW_CLOSE, "閉じる(&C)", 278},
    };
    for (const Expect& e : buttons) {
        QPushButton* b = preview->Button(e.id);
        ASSERT_NE(b, nullptr) << e.id;
        EXPECT_EQ(b->text(), QString::fromLocal8Bit(e.text));
        EXPECT_EQ(b->geometry(), DialogUnitsToPixels(b->parentWidget()->font(), e.x, 2, 44, 12)) << e.id;
    }
    preview->Close();
}

// The pages wholly in view, numbered by their order on the sheet of pages.
std::string ShownPages(CPrintPreview* preview)
{
    auto* graphics = preview->PreviewWidget()->findChild<QGraphicsView*>();
    QList<QGraphicsItem*> pages = graphics->scene()->items();
    std::sort(pages.begin(), pages.end(), [](const QGraphicsItem* a, const QGraphicsItem* b) {
        return a->pos().y() != b->pos().y() ? a->pos().y() < b->pos().y() : a->pos().x() < b->pos().x();
    });
    std::string shown;
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const QRect place = graphics->mapFromScene(pages[i]->sceneBoundingRect()).boundingRect();
        if (graphics->viewport()->rect().adjusted(-2, -2, 2, 2).contains(place))
            shown += (shown.empty() ? "" : " ") + std::to_string(i + 1);
    }
    return shown;
}

TEST_F(PrintPreviewTest, PagingZoomAndTwoPages)
{
    CPrintPreview* preview = Open();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->CurrentPage(), 1);
    EXPECT_FALSE(preview->Button(CPrintPreview::ID_PREVIEW_PREV)->isEnabled());
    QTest::keyClick(preview, Qt::Key_PageDown);
    QTest::keyClick(preview, Qt::Key_PageDown);
    EXPECT_EQ(preview->CurrentPage(), 3);
    EXPECT_FALSE(preview->Button(CPrintPreview::ID_PREVIEW_NEXT)->isEnabled());
    QTest::keyClick(preview, Qt::Key_PageDown);
    EXPECT_EQ(preview->CurrentPage(), 3);
    QTest::keyClick(preview, Qt::Key_PageUp);
    EXPECT_EQ(preview->CurrentPage(), 2);

    QPushButton* numPage = preview->Button(CPrintPreview::ID_PREVIEW_NUMPAGE);
    numPage->click();
    EXPECT_TRUE(preview->TwoPages());
    EXPECT_EQ(numPage->text(), QString::fromLocal8Bit("1 ﾍﾟｰｼﾞ(&O)"));
    EXPECT_EQ(preview->PreviewWidget()->viewMode(), QPrintPreviewWidget::FacingPagesView);
    // Pages side by side from page 1: 1|2, then 3.
    EXPECT_EQ(ShownPages(preview), "1 2");
    QTest::keyClick(preview, Qt::Key_PageDown);
    EXPECT_EQ(ShownPages(preview), "3");
    EXPECT_FALSE(preview->Button(CPrintPreview::ID_PREVIEW_NEXT)->isEnabled());
    QTest::keyClick(preview, Qt::Key_PageUp);
    EXPECT_EQ(ShownPages(preview), "1 2");

    // Zooming shows one page; the page-count button waits for the zoom to come out.
    preview->Button(CPrintPreview::ID_PREVIEW_ZOOMIN)->click();
    EXPECT_EQ(preview->Zoom(), CPrintPreview::ZoomMiddle);
    EXPECT_EQ(preview->PreviewWidget()->viewMode(), QPrintPreviewWidget::SinglePageView);
    EXPECT_FALSE(numPage->isEnabled());
    preview->Button(CPrintPreview::ID_PREVIEW_ZOOMIN)->click();
    EXPECT_EQ(preview->Zoom(), CPrintPreview::ZoomIn);
    EXPECT_FALSE(preview->Button(CPrintPreview::ID_PREVIEW_ZOOMIN)->isEnabled());
    preview->Button(CPrintPreview::ID_PREVIEW_ZOOMOUT)->click();
    preview->Button(CPrintPreview::ID_PREVIEW_ZOOMOUT)->click();
    EXPECT_EQ(preview->Zoom(), CPrintPreview::ZoomOut);
    EXPECT_FALSE(preview->Button(CPrintPreview::ID_PREVIEW_ZOOMOUT)->isEnabled());
    EXPECT_TRUE(numPage->isEnabled());
    preview->Close();
}

TEST_F(PrintPreviewTest, OpensWithTheStoredPageCountAndStoresTheChoice)
{
    CVantrelApp* app = &theApp;
    const int saved = app->m_nNumPreviewPages;
    app->m_nNumPreviewPages = 2;
    CPrintPreview* preview = Open();
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->TwoPages());
    EXPECT_EQ(preview->PreviewWidget()->viewMode(), QPrintPreviewWidget::FacingPagesView);
    EXPECT_EQ(preview->Button(CPrintPreview::ID_PREVIEW_NUMPAGE)->text(), QString::fromLocal8Bit("1 ﾍﾟｰｼﾞ(&O)"));
    preview->Button(CPrintPreview::ID_PREVIEW_NUMPAGE)->click();
    EXPECT_EQ(app->m_nNumPreviewPages, 1);
    preview->Close();

    preview = Open();
    ASSERT_NE(preview, nullptr);
    EXPECT_FALSE(preview->TwoPages());
    EXPECT_EQ(preview->PreviewWidget()->viewMode(), QPrintPreviewWidget::SinglePageView);
    preview->Button(CPrintPreview::ID_PREVIEW_NUMPAGE)->click();
    EXPECT_EQ(app->m_nNumPreviewPages, 2);
    preview->Close();

    // A single page shows alone whatever is stored, and the setting stays.
    m_hooks.pages = 1;
    preview = Open();
    ASSERT_NE(preview, nullptr);
    EXPECT_FALSE(preview->TwoPages());
    EXPECT_EQ(preview->Button(CPrintPreview::ID_PREVIEW_NUMPAGE)->text(), QString::fromLocal8Bit("2 ﾍﾟｰｼﾞ(&T)"));
    preview->Close();
    EXPECT_EQ(app->m_nNumPreviewPages, 2);
    app->m_nNumPreviewPages = saved;
}

TEST_F(PrintPreviewTest, PrintButtonClosesThenRunsThePrintCommand)
{
    CPrintPreview* preview = Open();
    ASSERT_NE(preview, nullptr);
    preview->Button(CPrintPreview::ID_PREVIEW_PRINT)->click();
    EXPECT_EQ(m_printCommands, 1);
    EXPECT_EQ(m_frame.centralWidget(), m_view);
    EXPECT_EQ(m_hooks.ended, 1);
}

TEST_F(PrintPreviewTest, DeclinedPreparationShowsNothing)
{
    m_hooks.accept = false;
    EXPECT_EQ(Open(), nullptr);
    EXPECT_EQ(m_frame.centralWidget(), m_view);
    EXPECT_EQ(m_hooks.ended, 0);
}

TEST(PrintPreviewNoFrameTest, WithoutAFrameTheCommandFails)
{
    std::vector<std::string> messages;
    SetMessageBoxHook([&](const std::string& text, unsigned) {
        messages.push_back(text);
        return IDOK;
    });
    CPageHooks hooks;
    ConfigurePdfPrinter(hooks.printer, 600);
    hooks.printer.setOutputFileName("/dev/null");
    QWidget lonely;
    EXPECT_EQ(CPrintPreview::Open(hooks, &lonely, {}), nullptr);
    EXPECT_EQ(messages, std::vector<std::string>{"ｺﾏﾝﾄﾞの実行に失敗しました。"});
    EXPECT_EQ(hooks.ended, 1);
    SetMessageBoxHook({});
}

}  // namespace
