#include "app/about_dlg.h"
#include "framework/command_ids.h"
#include "app/main_frame.h"
#include "app/vantrel_app.h"
#include "app/vantrel_doc.h"
#include "filelist/vantrel_view.h"
#include "tests/app/test_support.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace {

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_settings = std::make_unique<ScopedSettings>();
        static char arg0[] = "vantrel";
        static char* argv[] = {arg0, nullptr};
        static int argc = 1;
        ASSERT_TRUE(theApp.InitInstance(argc, argv));
        m_frame = theApp.MainFrame();
        QApplication::setActiveWindow(m_frame);
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_frame));
    }
    void TearDown() override { theApp.ExitInstance(); }

    QString Str(const char* s) { return QString::fromLocal8Bit(s); }

    std::unique_ptr<ScopedSettings> m_settings;
    CMainFrame* m_frame = nullptr;
};

}  // namespace

TEST_F(FrameTest, MenuTextsAndShortcuts)
{
    const QList<QAction*> tops = m_frame->menuBar()->actions();
    ASSERT_EQ(tops.size(), 3);
    EXPECT_EQ(tops[0]->text(), Str("ファイル(&F)"));
    EXPECT_EQ(tops[1]->text(), Str("選択(&S)"));
    EXPECT_EQ(tops[2]->text(), Str("ヘルプ(&H)"));
    auto texts = [](QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions())
            out << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return out;
    };
    EXPECT_EQ(texts(tops[0]->menu()),
              (QStringList{Str("印刷(&P)..."), Str("印刷プレビュー(&V)"), Str("プリンタの設定(&R)..."), "-",
                           Str("一覧をCSV形式で保存(&C)..."), "-", Str("ヴァントレルの終了(&X)")}));
    EXPECT_EQ(texts(tops[1]->menu()),
              (QStringList{Str("印刷フォルダ選択(&F)..."), "-", Str("全てを選択(&S)"), Str("全てを未選択(&R)")}));
    EXPECT_EQ(texts(tops[2]->menu()), (QStringList{Str("バージョン情報(&A)...")}));

    struct Keys {
        unsigned id;
        QList<QKeySequence> keys;
    };
    const Keys keys[] = {
        {ID_FILE_NEW, {QKeySequence("Ctrl+N")}},
        {ID_FILE_OPEN, {QKeySequence("Ctrl+O")}},
        {ID_FILE_SAVE, {QKeySequence("Ctrl+S")}},
        {ID_FILE_PRINT, {QKeySequence("Ctrl+P")}},
        {ID_EDIT_UNDO, {QKeySequence("Ctrl+Z"), QKeySequence("Alt+Backspace")}},
        {ID_EDIT_CUT, {QKeySequence("Ctrl+X"), QKeySequence("Shift+Del")}},
        {ID_EDIT_COPY, {QKeySequence("Ctrl+C"), QKeySequence("Ctrl+Ins")}},
        {ID_EDIT_PASTE, {QKeySequence("Ctrl+V"), QKeySequence("Shift+Ins")}},
        {ID_NEXT_PANE, {QKeySequence("F6")}},
        {ID_PREV_PANE, {QKeySequence("Shift+F6")}},
        {ID_FILE_PRINT_PREVIEW, {}},
    };
    for (const Keys& k : keys)
        EXPECT_EQ(m_frame->Action(k.id)->shortcuts(), k.keys) << k.id;
}

TEST_F(FrameTest, ToolbarOrderTooltipsAndFixedPlace)
{
    QToolBar* bar = m_frame->ToolBar();
    EXPECT_FALSE(bar->isMovable());
    EXPECT_FALSE(bar->isFloatable());
    EXPECT_EQ(bar->iconSize(), QSize(16, 15));
    const unsigned order[] = {
        ID_SELECT_FOLDER, 0, ID_FILE_SAVE_CSV, 0, ID_SELECT_ALL, ID_SELECT_NONE, 0, ID_FILE_PRINT_PREVIEW,
        ID_FILE_PRINT,    0, ID_APP_ABOUT};
    const QList<QAction*> actions = bar->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(order)));
    for (size_t i = 0; i < std::size(order); ++i) {
        if (order[i] == 0) {
            EXPECT_TRUE(actions[i]->isSeparator()) << i;
        } else {
            EXPECT_EQ(actions[i], m_frame->Action(order[i])) << i;
        }
    }
    EXPECT_EQ(m_frame->Action(ID_SELECT_FOLDER)->toolTip(), Str("印刷フォルダ選択"));
    EXPECT_EQ(m_frame->Action(ID_FILE_SAVE_CSV)->toolTip(), Str("一覧をCSV形式で保存"));
    EXPECT_EQ(m_frame->Action(ID_FILE_PRINT_PREVIEW)->toolTip(), Str("印刷プレビュー(最大５ページまで表示)"));
    EXPECT_EQ(m_frame->Action(ID_APP_ABOUT)->toolTip(), Str("バージョン情報"));
    EXPECT_EQ(m_frame->Action(ID_FILE_PRINT_SETUP)->toolTip(), Str("プリンタの設定"));
    for (unsigned id : order) {
        if (id != 0) {
            EXPECT_FALSE(m_frame->Action(id)->icon().isNull()) << id;
        }
    }
}

TEST_F(FrameTest, CommandStatesComeFromTheTargets)
{
    m_frame->UpdateCommands();
    // Handled by the application, the document and the view.
    for (unsigned id :
         {ID_APP_ABOUT, ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_PRINT_SETUP, ID_APP_EXIT, ID_FILE_SAVE, ID_SELECT_FOLDER})
        EXPECT_TRUE(m_frame->Action(id)->isEnabled()) << id;
    // No handler anywhere: disabled, and refused when asked directly.
    for (unsigned id : {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE, ID_NEXT_PANE, ID_PREV_PANE}) {
        EXPECT_FALSE(m_frame->Action(id)->isEnabled()) << id;
        EXPECT_FALSE(m_frame->ExecuteCommand(id)) << id;
    }
    // An empty list: nothing is marked, so nothing can be printed.
    EXPECT_FALSE(m_frame->Action(ID_FILE_PRINT)->isEnabled());
    EXPECT_FALSE(m_frame->ExecuteCommand(ID_FILE_PRINT));
}

TEST_F(FrameTest, DisabledCommandDoesNotRunFromItsShortcut)
{
    QSignalSpy print(m_frame->Action(ID_FILE_PRINT), &QAction::triggered);
    QSignalSpy undo(m_frame->Action(ID_EDIT_UNDO), &QAction::triggered);
    QSignalSpy newDoc(m_frame->Action(ID_FILE_NEW), &QAction::triggered);
    QTest::keyClick(m_frame, Qt::Key_P, Qt::ControlModifier);
    QTest::keyClick(m_frame, Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(m_frame, Qt::Key_N, Qt::ControlModifier);  // enabled: shows shortcuts do reach actions
    EXPECT_EQ(print.count(), 0);
    EXPECT_EQ(undo.count(), 0);
    EXPECT_EQ(newDoc.count(), 1);
}

TEST_F(FrameTest, TitleStaysThroughDocumentActions)
{
    const std::string file = m_settings->File("named.bin");
    std::ofstream(file) << "x";
    ASSERT_TRUE(theApp.OpenDocumentFile(file));
    EXPECT_EQ(m_frame->windowTitle(), Str("ヴァントレル"));
    EXPECT_TRUE(m_frame->ExecuteCommand(ID_FILE_NEW));
    EXPECT_EQ(theApp.Document()->GetTitle(), "無題");
    EXPECT_EQ(m_frame->windowTitle(), Str("ヴァントレル"));
    const std::string saved = m_settings->File("saved.bin");
    ASSERT_TRUE(theApp.Document()->OnSaveDocument(saved));
    EXPECT_EQ(std::filesystem::file_size(saved), 0u);
    EXPECT_EQ(m_frame->windowTitle(), Str("ヴァントレル"));
}

TEST_F(FrameTest, ExitClosesTheFrame)
{
    EXPECT_TRUE(m_frame->ExecuteCommand(ID_APP_EXIT));
    EXPECT_FALSE(m_frame->isVisible());
}

TEST(Sizing, MinimumTrackingSize)
{
    struct Case {
        unsigned side;
        CRect in;
        CRect out;
    };
    const CRect small{100, 100, 500, 400};  // 400 x 300
    const Case cases[] = {
        {1, small, {25, 100, 500, 400}},  // left edge pushed back, right stays
        {2, small, {100, 100, 575, 400}},
        {3, small, {100, 20, 500, 400}},  // top edge pushed back, bottom stays
        {4, small, {25, 20, 500, 400}},
        {5, small, {100, 20, 575, 400}},
        {6, small, {100, 100, 500, 480}},  // bottom pushed back, top stays
        {7, small, {25, 100, 500, 480}},
        {8, small, {100, 100, 575, 480}},
        {9, small, small},
        {0, small, small},
        {8, {0, 0, 600, 500}, {0, 0, 600, 500}},
        {1, {0, 0, 475, 380}, {0, 0, 475, 380}},
    };
    for (const Case& c : cases) {
        CRect rc = c.in;
        EXPECT_TRUE(CMainFrame::OnSizing(c.side, &rc, false, false));
        EXPECT_EQ(rc, c.out) << c.side;
    }
    for (auto [zoomed, iconic] : {std::pair{true, false}, std::pair{false, true}}) {
        CRect rc = small;
        EXPECT_FALSE(CMainFrame::OnSizing(8, &rc, zoomed, iconic));
        EXPECT_EQ(rc, small);
    }
}

TEST(AboutBox, ControlsPlacedFromDialogUnits)
{
    CAboutDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QString::fromLocal8Bit("バージョン情報"));
    EXPECT_EQ(dlg.size(), QSize(291, 125));  // 166 x 77 units at base units 7 x 13
    auto* ok = dlg.findChild<QPushButton*>("ok");
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(ok->geometry(), QRect(117, 91, 56, 23));
    struct Label {
        const char* name;
        QRect rect;
        const char* text;
    };
    const Label labels[] = {
        {"name", QRect(70, 16, 208, 13), "ヴァントレル  for Windows"},
        {"version", QRect(68, 37, 209, 13), "Ver. 1.00"},
        {"notice", QRect(46, 70, 208, 13), CAboutDlg::kNotice},
    };
    for (const Label& l : labels) {
        auto* label = dlg.findChild<QLabel*>(l.name);
        ASSERT_NE(label, nullptr) << l.name;
        EXPECT_EQ(label->geometry(), l.rect) << l.name;
        EXPECT_EQ(label->text(), QString::fromLocal8Bit(l.text)) << l.name;
    }
    auto* icon = dlg.findChild<QLabel*>("icon");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->geometry(), QRect(23, 18, 32, 32));
    EXPECT_FALSE(icon->pixmap().isNull());

    // Pictures for a human to look at, when asked for.
    const QByteArray shots = qgetenv("VANTREL_SCREENSHOTS");
    if (!shots.isEmpty()) {
        dlg.show();
        QTest::qWait(50);
        dlg.grab().save(QString::fromLocal8Bit(shots) + QStringLiteral("/vantrel-about.png"));
    }
}
