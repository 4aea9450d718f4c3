#include "filelist/vantrel_view.h"

#include "common/qt_events.h"
#include "common/scoped_env.h"
#include "framework/qt_text.h"
#include "framework/command_ids.h"
#include "app/main_frame.h"
#include "framework/message_box.h"
#include "app/vantrel_app.h"
#include "filelist/list_marking.h"

#include <QDir>
#include <QApplication>
#include <QFileDialog>
#include <QCursor>
#include <QGuiApplication>
#include <QImage>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

fs::path TestTmp()
{
    // Made by the test main for this process.
    const char* dir = std::getenv("VANTREL_VIEW_TEST_DIR");
    return dir != nullptr ? fs::path(dir) : fs::temp_directory_path();
}

// Counts the paints the view receives.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AfxGetApp()->WriteProfileString("Path", "Path", "");
        view = std::make_unique<CVantrelView>();
        view->resize(575, 360);
        view->OnInitialUpdate();
        view->installEventFilter(&counter);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
        Flush();
    }

    void Flush()
    {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
    }

    // A listing of count entries, as a scan would leave it.
    void Fill(int count, const std::string& folder = "/data/dumps")
    {
        view->m_strFolder = folder;
        view->m_aFiles.clear();
        for (int i = 0; i < count; ++i)
            view->AddFileEntry("file" + std::to_string(100 + i) + ".bin", 1000 * (i + 1));
        view->m_nTopRow = 0;
        view->UpdateScrollBar();
        view->update();
        Flush();
    }

    std::string Marks() const
    {
        std::string s;
        for (const FileEntry& e : view->m_aFiles)
            s += e.nMark == 1 ? '1' : '0';
        return s;
    }

    static QPoint RowPoint(int k, int x = 120) { return QPoint(x, 92 + 20 * k + 10); }

    void Click(int k, Qt::KeyboardModifiers mods = {})
    {
        QTest::mouseClick(view.get(), Qt::LeftButton, mods, RowPoint(k));
        Flush();
    }

    bool Enabled(unsigned id)
    {
        CCmdUI ui(id);
        EXPECT_TRUE(view->OnCmdMsg(id, &ui));
        return ui.m_bEnabled;
    }

    QImage Grab() { return view->grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<CVantrelView> view;
    PaintCounter counter;
};

QRgb Rgb(COLORREF c)
{
    return qRgb(GetRValue(c), GetGValue(c), GetBValue(c));
}

}  // namespace

TEST_F(ViewTest, GeometryFollowsTheSize)
{
    EXPECT_EQ(view->m_nVisibleRows, 12);  // (360 - 102) / 20
    EXPECT_EQ(view->m_rcList, (CRect{10, 92, 565, 332}));
    EXPECT_EQ(view->m_rcTotal, (CRect{10, 49, 565, 68}));

    view->resize(575, 300);
    Flush();
    EXPECT_EQ(view->m_nVisibleRows, 9);
    EXPECT_EQ(view->m_rcList, (CRect{10, 92, 565, 272}));

    view->resize(575, 60);  // too low for one row: no rows, never a negative count
    Flush();
    EXPECT_EQ(view->m_nVisibleRows, 0);
}

TEST_F(ViewTest, ScrollBarShowsOnlyWhenEntriesOverflow)
{
    view->resize(575, 300);
    Fill(5);
    ASSERT_NE(view->m_pScrollBar, nullptr);
    EXPECT_TRUE(view->m_pScrollBar->isHidden());
    EXPECT_EQ(view->m_cxScrollShown, 0);
    EXPECT_EQ(view->m_rcList.right, 565);  // the table reaches 10 pixels from the right

    Fill(25);
    EXPECT_FALSE(view->m_pScrollBar->isHidden());
    EXPECT_EQ(view->m_cxScrollShown, view->m_cxVScroll);
    EXPECT_EQ(view->m_rcList.right, 565 - view->m_cxVScroll);
    EXPECT_EQ(view->m_pScrollBar->minimum(), 0);
    EXPECT_EQ(view->m_pScrollBar->maximum(), 16);  // the last full page starts at 16
    EXPECT_EQ(view->m_pScrollBar->pageStep(), 9);
    const QRect bar = view->m_pScrollBar->geometry();
    EXPECT_EQ(bar, QRect(575 - view->m_cxVScroll - 10, 72, view->m_cxVScroll, 200));

    // Taller until all fit: the bar hides and the top row comes back to show them all.
    view->m_nTopRow = 16;
    view->ApplyScrollState(view->m_nVisibleRows);
    view->resize(575, 700);
    Flush();
    EXPECT_TRUE(view->m_pScrollBar->isHidden());
    EXPECT_EQ(view->m_nTopRow, 0);
}

TEST_F(ViewTest, ThumbDragMovesTheTopRow)
{
    view->resize(575, 300);
    Fill(100);
    QScrollBar* bar = view->m_pScrollBar;
    QStyleOptionSlider opt;
    opt.initFrom(bar);
    opt.orientation = Qt::Vertical;
    opt.minimum = bar->minimum();
    opt.maximum = bar->maximum();
    opt.sliderPosition = bar->sliderPosition();
    opt.sliderValue = bar->value();
    opt.singleStep = bar->singleStep();
    opt.pageStep = bar->pageStep();
    opt.subControls = QStyle::SC_All;
    const QRect handle = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarSlider, bar);
    ASSERT_TRUE(handle.isValid());

    QTest::mousePress(bar, Qt::LeftButton, {}, handle.center());
    QTest::mouseMove(bar, handle.center() + QPoint(0, 60));
    Flush();
    const int during = view->m_nTopRow;
    EXPECT_GT(during, 0);  // the list follows the thumb while it is dragged
    QTest::mouseRelease(bar, Qt::LeftButton, {}, handle.center() + QPoint(0, 60));
    Flush();
    EXPECT_EQ(view->m_nTopRow, during);
    EXPECT_EQ(bar->value(), during);

    // A click on the arrow below the track steps one row.
    const QRect down = bar->style()->subControlRect(QStyle::CC_ScrollBar, &opt, QStyle::SC_ScrollBarAddLine, bar);
    if (down.isValid() && !down.isEmpty()) {
        QTest::mouseClick(bar, Qt::LeftButton, {}, down.center());
        Flush();
        EXPECT_EQ(view->m_nTopRow, during + 1);
    }
}

TEST_F(ViewTest, ClicksWithEachModifier)
{
    Fill(8);
    Click(2);
    EXPECT_EQ(Marks(), "00100000");
    Click(5, Qt::ShiftModifier);  // range from the single mark
    EXPECT_EQ(Marks(), "00111100");
    Click(0, Qt::ShiftModifier);  // several marked: the clicked one alone
    EXPECT_EQ(Marks(), "10000000");
    Click(3, Qt::ControlModifier);
    EXPECT_EQ(Marks(), "10010000");
    Click(0, Qt::ControlModifier);
    EXPECT_EQ(Marks(), "00010000");
    // Heading row, total line, folder line: nothing.
    for (int y : {80, 55, 35, 10}) {
        QTest::mouseClick(view.get(), Qt::LeftButton, {}, QPoint(120, y));
        EXPECT_EQ(Marks(), "00010000") << y;
    }
    Click(10);  // white area below the last entry
    EXPECT_EQ(Marks(), "00000000");
}

TEST_F(ViewTest, CtrlClickBelowTheLastEntryRepaintsNothing)
{
    Fill(3);
    Click(1);
    const int before = counter.paints;
    Click(7, Qt::ControlModifier);
    EXPECT_EQ(Marks(), "010");
    EXPECT_EQ(counter.paints, before);
    Click(2, Qt::ControlModifier);
    EXPECT_EQ(Marks(), "011");
    EXPECT_GT(counter.paints, before);
}

TEST_F(ViewTest, DoubleClickActsOnce)
{
    Fill(4);
    QTest::mouseDClick(view->windowHandle(), Qt::LeftButton, Qt::ControlModifier, RowPoint(1));
    Flush();
    EXPECT_EQ(Marks(), "0100");
    // A later single click acts again.
    QTest::mouseClick(view->windowHandle(), Qt::LeftButton, Qt::ControlModifier, RowPoint(1));
    Flush();
    EXPECT_EQ(Marks(), "0000");
}

TEST_F(ViewTest, PageKeys)
{
    view->resize(575, 300);
    Fill(25);
    std::vector<int> tops;
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(view.get(), Qt::Key_PageDown);
        tops.push_back(view->m_nTopRow);
    }
    EXPECT_EQ(tops, (std::vector<int>{9, 16, 16}));
    EXPECT_EQ(view->m_pScrollBar->value(), 16);
    QTest::keyClick(view.get(), Qt::Key_PageUp);
    EXPECT_EQ(view->m_nTopRow, 7);
    QTest::keyClick(view.get(), Qt::Key_PageUp);
    EXPECT_EQ(view->m_nTopRow, 0);

    Fill(4);
    QTest::keyClick(view.get(), Qt::Key_PageDown);
    EXPECT_EQ(view->m_nTopRow, 0);
}

TEST_F(ViewTest, ArrowKeysMoveTheSingleMarkAndScroll)
{
    view->resize(575, 300);
    Fill(12);
    Click(0);
    QTest::keyClick(view.get(), Qt::Key_Up);  // at the first entry: stays
    EXPECT_EQ(Marks().find('1'), 0u);
    for (int i = 0; i < 9; ++i)
        QTest::keyClick(view.get(), Qt::Key_Down);
    EXPECT_EQ(Marks().find('1'), 9u);
    EXPECT_EQ(view->m_nTopRow, 1);  // the mark is the last visible row
    EXPECT_EQ(view->m_pScrollBar->value(), 1);
    for (int i = 0; i < 5; ++i)
        QTest::keyClick(view.get(), Qt::Key_Down);
    EXPECT_EQ(Marks().find('1'), 11u);  // stops at the last entry
    EXPECT_EQ(view->m_nTopRow, 3);

    Click(2, Qt::ShiftModifier);  // several marks: arrows do nothing
    const std::string several = Marks();
    QTest::keyClick(view.get(), Qt::Key_Down);
    EXPECT_EQ(Marks(), several);
}

TEST_F(ViewTest, EscapeAsksToStopOnlyWithOneMark)
{
    Fill(4);
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_EQ(view->m_bCancelPrint, 0);
    Click(1);
    Click(2, Qt::ControlModifier);
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_EQ(view->m_bCancelPrint, 0);
    Click(2);
    QTest::keyClick(view.get(), Qt::Key_Escape);
    EXPECT_EQ(view->m_bCancelPrint, 1);
}

TEST_F(ViewTest, CommandStates)
{
    // No folder yet.
    EXPECT_TRUE(Enabled(ID_SELECT_FOLDER));
    EXPECT_FALSE(Enabled(ID_SELECT_ALL));
    EXPECT_FALSE(Enabled(ID_SELECT_NONE));
    EXPECT_FALSE(Enabled(ID_FILE_SAVE_CSV));
    EXPECT_FALSE(Enabled(ID_FILE_PRINT));
    EXPECT_FALSE(Enabled(ID_FILE_PRINT_PREVIEW));

    Fill(0);  // a folder without files
    EXPECT_FALSE(Enabled(ID_SELECT_ALL));
    EXPECT_TRUE(Enabled(ID_FILE_SAVE_CSV));

    Fill(3);
    EXPECT_TRUE(Enabled(ID_SELECT_ALL));
    EXPECT_TRUE(Enabled(ID_SELECT_NONE));
    Click(0);
    EXPECT_TRUE(Enabled(ID_FILE_PRINT));
    EXPECT_TRUE(Enabled(ID_FILE_PRINT_PREVIEW));
    Click(2, Qt::ControlModifier);
    EXPECT_TRUE(Enabled(ID_FILE_PRINT));
    EXPECT_FALSE(Enabled(ID_FILE_PRINT_PREVIEW));

    view->SetPrinting(true);
    EXPECT_FALSE(Enabled(ID_FILE_PRINT));
    EXPECT_FALSE(Enabled(ID_FILE_PRINT_PREVIEW));
    view->SetPrinting(false);
    EXPECT_TRUE(Enabled(ID_FILE_PRINT));

    CCmdUI other(ID_APP_ABOUT);
    EXPECT_FALSE(view->OnCmdMsg(ID_APP_ABOUT, &other));
}

TEST_F(ViewTest, SelectAllAndNone)
{
    Fill(5);
    view->m_aFiles[2].nPrinted = 1;
    int changes = 0;
    int underWaitCursor = 0;
    QObject::connect(view.get(), &CVantrelView::commandStateChanged, [&] {
        ++changes;
        const QCursor* cursor = QGuiApplication::overrideCursor();
        underWaitCursor += cursor != nullptr && cursor->shape() == Qt::WaitCursor ? 1 : 0;
    });
    view->m_nTopRow = 0;
    EXPECT_TRUE(view->OnCmdMsg(ID_SELECT_ALL, nullptr));
    EXPECT_EQ(Marks(), "11111");
    EXPECT_EQ(view->m_aFiles[2].nPrinted, 1);
    EXPECT_GT(changes, 0);
    EXPECT_EQ(view->MarkedPages(), 8);  // 1 + 1 + 2 + 2 + 2
    const int before = counter.paints;
    view->OnCmdMsg(ID_SELECT_ALL, nullptr);  // already all marked: still repaints
    Flush();
    EXPECT_GT(counter.paints, before);
    view->OnCmdMsg(ID_SELECT_NONE, nullptr);
    EXPECT_EQ(Marks(), "00000");
    // The wait cursor showed while each command marked, and is gone again.
    EXPECT_EQ(underWaitCursor, 3);
    EXPECT_EQ(changes, 3);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(ViewTest, FolderCommandListsSavesAndKeepsPrintedFlags)
{
    const fs::path a = TestTmp() / "folder-a";
    const fs::path b = TestTmp() / "folder-b";
    fs::remove_all(a);
    fs::remove_all(b);
    fs::create_directories(a);
    fs::create_directories(b);
    for (const char* name : {"b.txt", "A.txt", "c.bin"})
        std::ofstream(a / name) << std::string(3000, 'x');
    std::ofstream(b / "only.txt") << "1";

    std::string title;
    bool foldersByName = false;
    QString startDir;
    QStringList startChoice;
    auto choose = [&](const fs::path& target, bool accept) {
        qttest::AnswerModal<QFileDialog>([&, target, accept](QFileDialog& dlg) {
            title = FromQt(dlg.windowTitle());
            foldersByName = dlg.testOption(QFileDialog::ShowDirsOnly) && dlg.viewMode() == QFileDialog::List;
            startDir = dlg.directory().absolutePath();
            startChoice = dlg.selectedFiles();
            if (!accept) {
                dlg.reject();
                return;
            }
            dlg.setDirectory(ToQt(target.parent_path().string()));
            dlg.selectFile(ToQt(target.string()));
            static_cast<QDialog&>(dlg).accept();
        });
        view->OnCmdMsg(ID_SELECT_FOLDER, nullptr);
        Flush();
    };

#if !defined(_WIN32)
    // With no folder yet the choice starts on the desktop, else at home, not the working folder.
    const fs::path home = TestTmp() / "home";
    ScopedEnv homeEnv("HOME", home.string());
    for (const fs::path& start : {home, home / "Desktop"}) {
        fs::create_directories(start);
        choose(a, false);
        EXPECT_EQ(startDir.toStdString(), start.string());
    }
#endif

    // The folder is read under the wait cursor: a big one takes seconds.
    Qt::CursorShape listedUnder = Qt::ArrowCursor;
    QObject::connect(view.get(), &CVantrelView::commandStateChanged, [&] {
        listedUnder = QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::ArrowCursor;
    });
    choose(a, true);
    EXPECT_EQ(listedUnder, Qt::WaitCursor);
    EXPECT_EQ(title, "印刷対象フォルダを選択してください");
    EXPECT_TRUE(foldersByName);
    ASSERT_EQ(view->m_strFolder, a.string());
    EXPECT_EQ(AfxGetApp()->GetProfileString("Path", "Path", ""), a.string());
    ASSERT_EQ(view->m_aFiles.size(), 3u);
    EXPECT_EQ(view->m_aFiles[0].strName, "A.txt");
    EXPECT_EQ(view->m_aFiles[0].nPages, 2);

    view->m_aFiles[1].nPrinted = 1;  // b.txt printed
    Click(2);
    choose(b, false);  // cancel: nothing changes
    // It shows the current folder's parent, cheap to read, with the current folder chosen.
    EXPECT_EQ(FromQt(QDir::toNativeSeparators(startDir)), a.parent_path().string());
    ASSERT_EQ(startChoice.size(), 1);
    EXPECT_EQ(FromQt(QDir::toNativeSeparators(startChoice.front())), a.string());
    EXPECT_EQ(view->m_strFolder, a.string());
    EXPECT_EQ(Marks(), "001");

    choose(b, true);
    ASSERT_EQ(view->m_aFiles.size(), 1u);
    choose(a, true);
    ASSERT_EQ(view->m_aFiles.size(), 3u);
    EXPECT_EQ(Marks(), "000");
    EXPECT_EQ(view->m_aFiles[1].nPrinted, 1);
    EXPECT_EQ(view->m_aFiles[0].nPrinted, 0);

    // A new document lists the saved folder again from scratch.
    view->OnInitialUpdate();
    EXPECT_EQ(view->m_strFolder, a.string());
    EXPECT_EQ(view->m_aFiles.size(), 3u);
    EXPECT_EQ(view->m_aFiles[1].nPrinted, 0);
}

TEST_F(ViewTest, CsvCommandNamesAndWritesTheFile)
{
    const fs::path dir = TestTmp() / "csv";
    fs::remove_all(dir);
    fs::create_directories(dir);
    Fill(2);
    std::vector<std::string> messages;
    SetMessageBoxHook([&](const std::string& text, unsigned) {
        messages.push_back(text);
        return IDOK;
    });

#if !defined(_WIN32)
    // Its own folder, not Qt's last visited one: home (no documents here), then the last saved.
    ScopedEnv homeEnv("HOME", TestTmp().string());
    std::string opened = TestTmp().string();
#endif
    struct Case {
        const char* typed;
        const char* written;
    };
    for (const Case c : {Case{"list", "list.csv"}, Case{"other.csv", "other.csv"}, Case{"list.txt", "list.txt"}}) {
        std::string title;
        QStringList filters;
        std::string start;
        qttest::AnswerModal<QFileDialog>([&](QFileDialog& dlg) {
            title = FromQt(dlg.windowTitle());
            filters = dlg.nameFilters();
            start = FromQt(QDir::toNativeSeparators(dlg.directory().absolutePath()));
            dlg.setDirectory(ToQt(dir.string()));
            dlg.selectFile(ToQt(c.typed));
            static_cast<QDialog&>(dlg).accept();
        });
        view->OnCmdMsg(ID_FILE_SAVE_CSV, nullptr);
        EXPECT_EQ(title, "CSV形式で保存");
        EXPECT_EQ(filters, QStringList{QString::fromLocal8Bit("CSVファイル(*.csv)")});
        EXPECT_TRUE(fs::exists(dir / c.written)) << c.typed;
#if !defined(_WIN32)
        EXPECT_EQ(start, opened);
        opened = dir.string();
#endif
    }
    EXPECT_FALSE(fs::exists(dir / "list.txt.csv"));
    EXPECT_FALSE(fs::exists(dir / "other.csv.csv"));
    EXPECT_TRUE(messages.empty());

    // Cancel writes nothing.
    qttest::AnswerModal<QFileDialog>([](QFileDialog& dlg) { dlg.reject(); }, qttest::Modal::IfUp);
    view->OnCmdMsg(ID_FILE_SAVE_CSV, nullptr);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);

    // A target that cannot be written: a message naming it.
    std::ofstream(dir / "blocker") << "x";
    const fs::path bad = dir / "blocker" / "list.csv";
    qttest::AnswerModal<QFileDialog>([&](QFileDialog& dlg) {
        dlg.selectFile(ToQt(bad.string()));
        static_cast<QDialog&>(dlg).accept();
    });
    view->OnCmdMsg(ID_FILE_SAVE_CSV, nullptr);
    SetMessageBoxHook({});
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].find("list.csv"), std::string::npos) << messages[0];
}

TEST_F(ViewTest, PaintsTheEmptyView)
{
    const QImage img = Grab();
    const int R = 565;
    // Etched line at the top.
    EXPECT_EQ(img.pixel(200, 0), Rgb(GetSysColor(COLOR_BTNSHADOW)));
    EXPECT_EQ(img.pixel(200, 1), Rgb(GetSysColor(COLOR_BTNHIGHLIGHT)));
    // Yellow heading row, away from its texts and lines.
    for (QPoint p : {QPoint(60, 80), QPoint(R - 271 - 5, 88), QPoint(12, 88)})
        EXPECT_EQ(img.pixel(p), qRgb(255, 255, 0)) << p.x() << "," << p.y();
    // Bevel: light on top, dark at the bottom of the heading row.
    EXPECT_EQ(img.pixel(100, 72), Rgb(GetSysColor(COLOR_BTNHIGHLIGHT)));
    EXPECT_EQ(img.pixel(100, 91), Rgb(GetSysColor(COLOR_3DDKSHADOW)));
    // White rows area, no entries.
    for (QPoint p : {QPoint(100, 100), QPoint(R - 100, 300), QPoint(12, 331)})
        EXPECT_EQ(img.pixel(p), qRgb(255, 255, 255)) << p.x() << "," << p.y();
    // Dotted column rules: odd rows only, down to the bottom of the rows area.
    for (int x : {55, R - 270, R - 145, R - 60}) {
        for (int y = 93; y < 332; ++y)
            ASSERT_EQ(img.pixel(x, y), y % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255)) << x << "," << y;
        EXPECT_EQ(img.pixel(x, 332), Rgb(GetSysColor(COLOR_BTNFACE))) << x;
    }
    // Sunken frame around heading and rows: dark then face then light outside the top,
    // light then face then dark below the bottom.
    EXPECT_EQ(img.pixel(200, 71), Rgb(GetSysColor(COLOR_3DDKSHADOW)));
    EXPECT_EQ(img.pixel(200, 69), Rgb(GetSysColor(COLOR_BTNHIGHLIGHT)));
    EXPECT_EQ(img.pixel(200, 68), Rgb(GetSysColor(COLOR_BTNHIGHLIGHT)));
    EXPECT_EQ(img.pixel(200, 333), Rgb(GetSysColor(COLOR_BTNHIGHLIGHT)));
    EXPECT_EQ(img.pixel(200, 335), Rgb(GetSysColor(COLOR_3DDKSHADOW)));
    EXPECT_EQ(img.pixel(200, 336), Rgb(GetSysColor(COLOR_3DDKSHADOW)));
    EXPECT_EQ(img.pixel(8, 200), Rgb(GetSysColor(COLOR_BTNFACE)));
    EXPECT_EQ(img.pixel(9, 200), Rgb(GetSysColor(COLOR_3DDKSHADOW)));
    // No folder: the folder and total lines are not drawn.
    for (int x = 10; x < 565; ++x)
        for (int y = 30; y < 68; ++y)
            ASSERT_EQ(img.pixel(x, y), Rgb(GetSysColor(COLOR_BTNFACE))) << x << "," << y;
}

TEST_F(ViewTest, PaintsMarkedAndPrintedRows)
{
    Fill(4);
    view->m_aFiles[1].nMark = 1;
    view->m_aFiles[2].nPrinted = 1;
    view->update();
    const QImage img = Grab();
    const QRgb highlight = Rgb(GetSysColor(COLOR_HIGHLIGHT));
    const int y = 112;  // row 1
    EXPECT_EQ(img.pixel(14, y + 4), highlight);
    EXPECT_EQ(img.pixel(300, y + 4), highlight);
    // Yellow dotted frame: odd x along the top, odd y along the sides.
    EXPECT_EQ(img.pixel(11, y), qRgb(255, 255, 0));
    EXPECT_EQ(img.pixel(12, y), highlight);
    EXPECT_EQ(img.pixel(10, y + 1), qRgb(255, 255, 0));
    EXPECT_EQ(img.pixel(10, y + 2), highlight);
    EXPECT_EQ(img.pixel(564, y + 1), qRgb(255, 255, 0));
    // Row separator of unmarked rows in light grey.
    EXPECT_EQ(img.pixel(100, 92 + 19), qRgb(224, 224, 224));
    // The dotted frame's bottom dots fall on the first pixel row of the row below; that
    // unmarked row's white covers them, so no yellow line runs along its top.
    for (int x = 10; x < 565; ++x)
        ASSERT_NE(img.pixel(x, y + 20), qRgb(255, 255, 0)) << x;
    // The printed row shows a blue mark in the printed column.
    bool blue = false;
    for (int x = 505; x < 565 && !blue; ++x)
        for (int yy = 132; yy < 152 && !blue; ++yy)
            blue = img.pixel(x, yy) == qRgb(0, 0, 255);
    EXPECT_TRUE(blue);
    // The total line shows red digits for the marked pages.
    bool red = false;
    for (int x = 400; x < 565 && !red; ++x)
        for (int yy = 49; yy < 68 && !red; ++yy)
            red = img.pixel(x, yy) == qRgb(255, 0, 0);
    EXPECT_TRUE(red);
}

TEST_F(ViewTest, DotsAreSharpAtDevicePixelRatioTwo)
{
    Fill(4);
    view->m_aFiles[1].nMark = 1;
    const QImage ratio1 = Grab();
    // The same drawing on a device twice as dense, as a high-density screen gives it.
    QImage ratio2(view->size() * 2, QImage::Format_RGB32);
    ratio2.setDevicePixelRatio(2);
    {
        QPainter painter(&ratio2);
        CDC dc(&painter);
        view->OnDraw(&dc);
    }
    // Column rule dots, the dotted frame of the marked row and the row lines: each
    // logical pixel is two by two device pixels of its colour, never one.
    const int R = 565;
    const QPoint points[] = {
        {55, 93},       {55, 94},  {R - 270, 95}, {R - 60, 96},  // column rules
        {11, 112},      {12, 112}, {10, 113},     {10, 114},    {564, 113},  // dotted frame
        {100, 92 + 19},  // row line
    };
    for (const QPoint& p : points) {
        const QRgb want = ratio1.pixel(p);
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx)
                EXPECT_EQ(ratio2.pixel(2 * p.x() + dx, 2 * p.y() + dy), want) << p.x() << "," << p.y();
    }
}

TEST_F(ViewTest, PartialUpdateMatchesFullPaint)
{
    Fill(30);
    Click(3);
    const QImage full = Grab();
    // Paint only a band through the rows: the off-screen image must line up.
    QImage part(575, 360, QImage::Format_RGB32);
    part.fill(Qt::black);
    view->render(&part, QPoint(0, 100), QRegion(0, 100, 575, 60));
    for (int y = 100; y < 160; ++y)
        for (int x = 0; x < 575 - view->m_cxVScroll - 10; ++x)
            ASSERT_EQ(part.pixel(x, y), full.pixel(x, y)) << x << "," << y;
}

// A name or folder that holds characters that would act or show nothing is shown with
// them written out, as the page header shows it: unlike the name that printed alike.
TEST_F(ViewTest, NamesThatWouldActAreShownWrittenOut)
{
    const struct {
        std::string acting;
        const char* shown;
        std::string alike;  // printed the same before
    } cases[] = {
#if !defined(_WIN32)
        // Code page 932 holds no bidi controls: on Windows such a name comes in as '?'.
        {"rtl_\u202Egnp.exe", "rtl_<U+202E>gnp.exe", "rtl_exe.png"},
        {"a\u200Bb", "a<U+200B>b", "ab"},
        {"bad\xff\xfe", "bad<FF><FE>", "bad\xfe\xff"},
#endif
        {"two\nlines", "two<U+000A>lines", "two lines"},
        {"tab<U+0009>", "tab<U+003C>U+0009>", "tab\t"},
    };
    for (const auto& c : cases) {
        Fill(1, "/data/" + c.acting);
        view->m_aFiles[0].strName = c.acting;
        view->update();
        Flush();
        const QImage acting = Grab();
        Fill(1, "/data/" + c.alike);
        view->m_aFiles[0].strName = c.alike;
        view->update();
        Flush();
        EXPECT_NE(Grab(), acting) << c.shown;
    }
}

// Hovering a row whose name the list had to make smaller shows the whole name; a name
// that fits shows none.
TEST_F(ViewTest, ShortenedNameShowsWholeAsTooltip)
{
    Fill(2);
    view->m_aFiles[0].strName = std::string(120, 'x') + ".bin";
    for (int row = 0; row < 2; ++row) {
        QHelpEvent help(QEvent::ToolTip, RowPoint(row), view->mapToGlobal(RowPoint(row)));
        QCoreApplication::sendEvent(view.get(), &help);
        EXPECT_EQ(help.isAccepted(), row == 0);
        if (row == 0) {
            EXPECT_EQ(QToolTip::text(), ToQt(view->m_aFiles[0].strName));
        }
    }
}
