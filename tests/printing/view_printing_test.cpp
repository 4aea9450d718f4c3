// The print and preview commands on a real view: one job per marked file, ranges,
// cancelling, failures, and the pages as they come out of the printer (a PDF here).

#include "app/command_ids.h"
#include "app/main_frame.h"
#include "app/message_box.h"
#include "app/print_preview.h"
#include "app/test_support.h"
#include "app/vantrel_app.h"
#include "filelist/list_marking.h"
#include "filelist/vantrel_view.h"
#include "printing/dump_test_util.h"
#include "printing/print_range_dlg.h"
#include "printing/print_test_util.h"
#include "printing/view_printing.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

using dumptest::TempDir;
using printtest::JobRecorder;

namespace {

constexpr int kDpi = 600;

class ViewPrintingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A short folder: a header longer than the paper is cut off by its edge.
        ASSERT_TRUE(m_shortDir.isValid());
        m_folder = m_shortDir.path().toStdString();
        m_jobs.folder = m_tmp.Path() / "jobs";
        std::filesystem::create_directories(m_jobs.folder);
        ConfigurePdfPrinter(m_printer, kDpi);
        m_printer.setOutputFileName(QString::fromStdString(m_tmp / "unused.pdf"));
        m_view.m_strFolder = m_folder;
        m_printing = &CViewPrinting::Of(&m_view);
        m_printing->SetWorkFile(m_tmp / "WkFile.txt");
        m_printing->SetPrinter(&m_printer);
        SetMessageBoxHook([this](const std::string& text, unsigned) {
            m_messages.push_back(text);
            return m_answer;
        });
    }
    void TearDown() override { SetMessageBoxHook({}); }

    // Files of the given sizes, listed and marked.
    void AddFiles(const std::vector<std::pair<std::string, std::size_t>>& files)
    {
        for (const auto& [name, size] : files)
            dumptest::WriteBytes(m_folder + "/" + name, dumptest::PatternBytes(size));
        m_view.ListFolder();
        for (FileEntry& e : m_view.m_aFiles)
            e.nMark = 1;
    }

    // Runs a command and the posted continuations until the chain has ended.
    void RunChain(const std::function<void()>& command)
    {
        command();
        for (int i = 0; i < 100 && m_view.m_bPrinting; ++i)
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        EXPECT_FALSE(m_view.m_bPrinting);
    }

    // Answers the range dialog once it is up.
    void AnswerRange(const QString& from, const QString& to, bool cancel = false,
                     std::function<void()> after = {})
    {
        QTimer::singleShot(0, [=] {
            auto* dlg = qobject_cast<CPrintRangeDlg*>(QApplication::activeModalWidget());
            ASSERT_NE(dlg, nullptr);
            if (cancel) {
                dlg->reject();
            } else {
                if (!from.isEmpty()) {
                    dlg->findChildren<QRadioButton*>()[1]->click();
                    dlg->FromEdit()->setText(from);
                    dlg->ToEdit()->setText(to);
                }
                qobject_cast<QPushButton*>(dlg->Control(1))->click();
            }
            if (after)
                after();
        });
    }

    TempDir m_tmp;
    QTemporaryDir m_shortDir{QDir::tempPath() + "/vtXXXXXX"};
    std::string m_folder;
    JobRecorder m_jobs;
    QPrinter m_printer{QPrinter::HighResolution};
    CVantrelView m_view;
    CViewPrinting* m_printing = nullptr;
    std::vector<std::string> m_messages;
    int m_answer = IDOK;
};

int Trunc(double mm)
{
    return static_cast<int>(kDpi * mm * 0.03937007874015748);
}

double PixelsToPoints(int px)
{
    return px * 72.0 / kDpi;
}

TEST_F(ViewPrintingTest, ThreeMarkedFilesGiveThreeJobsEachFromPageOne)
{
    AddFiles({{"a.bin", 6000}, {"b.bin", 100}, {"c.bin", 2561}});
    printtest::RecordJobs record(&m_jobs);
    RunChain([this] { m_printing->OnPrintDump(); });

    ASSERT_EQ(m_messages, std::vector<std::string>{"印刷を行いますか？"});
    ASSERT_EQ(m_jobs.Count(), 3);
    const int pages[] = {3, 1, 2};
    const char* names[] = {"a.bin", "b.bin", "c.bin"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(printtest::PdfPages(m_jobs.Job(i)), pages[i]);
        const QString first = printtest::PdfText(m_jobs.Job(i), 1);
        EXPECT_TRUE(first.contains(QString("Page : 1 / %1").arg(pages[i]))) << first.toStdString();
        EXPECT_TRUE(first.contains(QString::fromStdString(m_folder + "/" + names[i])));
        EXPECT_EQ(m_view.m_aFiles[i].nPrinted, 1);
        EXPECT_EQ(m_jobs.titles[i], "無題");
    }
}

TEST_F(ViewPrintingTest, ConfirmationCancelledPrintsNothing)
{
    AddFiles({{"a.bin", 10}, {"b.bin", 10}});
    printtest::RecordJobs record(&m_jobs);
    m_answer = IDCANCEL;
    RunChain([this] { m_printing->OnPrintDump(); });
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_FALSE(std::filesystem::exists(m_tmp / "WkFile.txt"));
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted + m_view.m_aFiles[1].nPrinted, 0);
}

TEST_F(ViewPrintingTest, RangeThreeToFiveOfTwelvePrintsExactlyThose)
{
    AddFiles({{"twelve.bin", 12 * 2560}});
    printtest::RecordJobs record(&m_jobs);
    AnswerRange("3", "5");
    RunChain([this] { m_printing->OnPrintDump(); });

    ASSERT_EQ(m_jobs.Count(), 1);
    ASSERT_EQ(printtest::PdfPages(m_jobs.Job(0)), 3);
    for (int i = 0; i < 3; ++i) {
        const QString text = printtest::PdfText(m_jobs.Job(0), i + 1);
        EXPECT_TRUE(text.simplified().contains(QString("Page : %1 / 12").arg(i + 3))) << text.toStdString();
    }
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 1);
    // The whole dump was written, not just the range.
    EXPECT_NE(dumptest::ReadAll(m_tmp / "WkFile.txt").find("Page : 12 / 12"), std::string::npos);
}

TEST_F(ViewPrintingTest, RangeDialogCancelledWritesNothing)
{
    AddFiles({{"one.bin", 5000}});
    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {}, true);
    RunChain([this] { m_printing->OnPrintDump(); });
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_FALSE(std::filesystem::exists(m_tmp / "WkFile.txt"));
}

TEST_F(ViewPrintingTest, EscapeDuringTheDumpStartsNoJob)
{
    AddFiles({{"long.bin", 40 * 2560}});
    printtest::RecordJobs record(&m_jobs);
    // The key arrives while the dump pumps the queue at its first page.
    AnswerRange({}, {}, false, [this] {
        QTimer::singleShot(0, [this] { QTest::keyClick(&m_view, Qt::Key_Escape); });
    });
    RunChain([this] { m_printing->OnPrintDump(); });
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
    EXPECT_EQ(m_view.m_bCancelPrint, 0);
}

TEST_F(ViewPrintingTest, QuitDuringTheDumpEndsItAtOnce)
{
    AddFiles({{"long.bin", 40 * 2560}});
    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {}, false, [] {
        QTimer::singleShot(0, [] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); });
    });
    m_printing->OnPrintDump();
    const bool quit = QuitRequested();
    ClearQuitRequest();
    EXPECT_TRUE(quit);
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
    // Stopped at the page start after the quit arrived, not at the end of the file.
    EXPECT_EQ(dumptest::ReadAll(m_tmp / "WkFile.txt").find("Page : 3 / 40"), std::string::npos);
}

TEST_F(ViewPrintingTest, VanishedFileGetsNoJobAndTheChainGoesOn)
{
    AddFiles({{"a.bin", 3000}, {"b.bin", 3000}, {"c.bin", 10}});
    std::filesystem::remove(m_folder + "/b.bin");
    printtest::RecordJobs record(&m_jobs);
    RunChain([this] { m_printing->OnPrintDump(); });

    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1], "ファイルオープン失敗[" + m_folder + "/b.bin]");
    ASSERT_EQ(m_jobs.Count(), 2);
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 1).contains("a.bin"));
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(1), 1).contains("c.bin"));
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 1);
    EXPECT_EQ(m_view.m_aFiles[1].nPrinted, 0);
    EXPECT_EQ(m_view.m_aFiles[2].nPrinted, 1);
}

TEST_F(ViewPrintingTest, UnwritableWorkFileIsNamedAndNothingIsFlagged)
{
    AddFiles({{"a.bin", 10}, {"b.bin", 10}});
    const std::string work = m_tmp / "no-such-folder/WkFile.txt";
    m_printing->SetWorkFile(work);
    printtest::RecordJobs record(&m_jobs);
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_NE(m_messages[1].find(work), std::string::npos);
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted + m_view.m_aFiles[1].nPrinted, 0);
}

TEST_F(ViewPrintingTest, FailedHandOverIsSaidAndLeavesTheFileUnprinted)
{
    AddFiles({{"a.bin", 10}, {"b.bin", 10}});
    m_jobs.failSubmit = true;
    printtest::RecordJobs record(&m_jobs);
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_messages.size(), 3u);
    EXPECT_EQ(m_messages[1].rfind("印刷を開始できませんでした。", 0), 0u);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted + m_view.m_aFiles[1].nPrinted, 0);
}

TEST_F(ViewPrintingTest, PrintSwitchPrintsNothing)
{
    AddFiles({{"a.bin", 10}});
    printtest::RecordJobs record(&m_jobs);
    m_printing->OnFilePrintDirect();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(ViewPrintingTest, EmptyFileIsOneBlankPageAndCountsPrinted)
{
    AddFiles({{"empty.bin", 0}});
    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {});
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_jobs.Count(), 1);
    EXPECT_EQ(printtest::PdfPages(m_jobs.Job(0)), 1);
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 1).trimmed().isEmpty());
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 1);
}

TEST_F(ViewPrintingTest, PagesMissingFromAShrunkFileComeOutBlank)
{
    AddFiles({{"shrinks.bin", 3 * 2560}});
    dumptest::WriteBytes(m_folder + "/shrinks.bin", dumptest::PatternBytes(100));
    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {});
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_jobs.Count(), 1);
    ASSERT_EQ(printtest::PdfPages(m_jobs.Job(0)), 3);
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 1).contains("Page : 1 / 1"));
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 2).trimmed().isEmpty());
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 3).trimmed().isEmpty());
}

// The page layout on paper: x 15 mm, first line 8 mm, pitch 3 mm (truncated to printer
// pixels), 88 lines a full page, the Mincho face.
TEST_F(ViewPrintingTest, PagePositionsFontAndLineCount)
{
    AddFiles({{"full.bin", 2 * 2560}});
    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {});
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_jobs.Count(), 1);

    const std::vector<printtest::Word> words = printtest::PdfWords(m_jobs.Job(0), 2);
    ASSERT_FALSE(words.empty());
    const double pixel = 72.0 / kDpi;
    const int x = Trunc(15), y0 = Trunc(8), h = Trunc(3);
    // Line tops: the header's, then every text line at y0 + i * h.
    std::vector<double> lineTops;
    double headerTop = -1;
    for (const printtest::Word& w : words) {
        if (w.text == "Name")
            headerTop = w.yMin;
        if (std::abs(w.xMin - PixelsToPoints(x)) <= pixel &&
            (lineTops.empty() || std::abs(lineTops.back() - w.yMin) > pixel))
            lineTops.push_back(w.yMin);
    }
    ASSERT_GE(headerTop, 0);
    EXPECT_EQ(words.front().text, "Name");
    EXPECT_NEAR(words.front().xMin, PixelsToPoints(x), pixel);
    // Header, column header and 80 dump lines start at the left margin.
    ASSERT_EQ(lineTops.size(), 82u);
    // pdftotext puts the top of a word at its font's ascent above the baseline, which
    // is where the cell's top is: the same offset for every line.
    const double offset = headerTop - PixelsToPoints(y0);
    EXPECT_NEAR(offset, 0.0, 0.5);
    std::vector<int> wanted;
    wanted.push_back(y0);
    wanted.push_back(y0 + 2 * h);
    for (int group = 0; group < 5; ++group)
        for (int line = 0; line < 16; ++line)
            wanted.push_back(y0 + (4 + group * 17 + line) * h);
    for (std::size_t i = 0; i < wanted.size(); ++i)
        EXPECT_NEAR(lineTops[i] - offset, PixelsToPoints(wanted[i]), pixel) << "line " << i;
    // The last dump line is line 87 of the page.
    EXPECT_EQ(wanted.back(), y0 + 87 * h);
    const QString text = printtest::PdfText(m_jobs.Job(0), 2).simplified();
    EXPECT_TRUE(text.contains(QString::fromStdString("Name : " + m_folder + "/full.bin Length : 00001400(5120) Page : 2 / 2")))
        << text.toStdString();
    EXPECT_TRUE(printtest::PdfFonts(m_jobs.Job(0)).contains("IPAMincho"));
}

// The user's road: Ctrl+P in the frame; print and preview stay disabled while jobs run.
TEST_F(ViewPrintingTest, CtrlPInTheFramePrintsWithCommandsDisabledMeanwhile)
{
    auto* view = new CVantrelView;
    CMainFrame frame(view);
    view->m_strFolder = m_folder;
    dumptest::WriteBytes(m_folder + "/a.bin", dumptest::PatternBytes(3000));
    dumptest::WriteBytes(m_folder + "/b.bin", dumptest::PatternBytes(10));
    view->ListFolder();
    for (FileEntry& e : view->m_aFiles)
        e.nMark = 1;
    CViewPrinting& printing = CViewPrinting::Of(view);
    printing.SetWorkFile(m_tmp / "WkFile.txt");
    printing.SetPrinter(&m_printer);
    frame.show();
    QApplication::setActiveWindow(&frame);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    frame.UpdateCommands();
    ASSERT_TRUE(frame.IsCommandEnabled(ID_FILE_PRINT));

    std::vector<bool> enabledDuringJobs;
    m_jobs.onSubmit = [&] {
        enabledDuringJobs.push_back(frame.IsCommandEnabled(ID_FILE_PRINT) ||
                                    frame.IsCommandEnabled(ID_FILE_PRINT_PREVIEW));
    };
    printtest::RecordJobs record(&m_jobs);
    QTest::keyClick(&frame, Qt::Key_P, Qt::ControlModifier);
    for (int i = 0; i < 100 && view->m_bPrinting; ++i)
        QCoreApplication::processEvents();

    EXPECT_EQ(m_messages, std::vector<std::string>{"印刷を行いますか？"});
    EXPECT_EQ(m_jobs.Count(), 2);
    EXPECT_EQ(enabledDuringJobs, (std::vector<bool>{false, false}));
    EXPECT_EQ(view->m_aFiles[0].nPrinted + view->m_aFiles[1].nPrinted, 2);
    EXPECT_TRUE(frame.IsCommandEnabled(ID_FILE_PRINT));
}

TEST_F(ViewPrintingTest, PreviewPrintButtonRunsThePrintCommand)
{
    AddFiles({{"three.bin", 3 * 2560}});
    QMainWindow frame;
    frame.setCentralWidget(&m_view);
    frame.show();
    printtest::RecordJobs record(&m_jobs);
    m_printing->OnPreviewDump();
    ASSERT_NE(m_printing->Preview(), nullptr);
    AnswerRange("2", "3");
    m_printing->Preview()->Button(CPrintPreview::ID_PREVIEW_PRINT)->click();
    for (int i = 0; i < 100 && m_view.m_bPrinting; ++i)
        QCoreApplication::processEvents();
    EXPECT_EQ(frame.centralWidget(), &m_view);
    ASSERT_EQ(m_jobs.Count(), 1);
    EXPECT_EQ(printtest::PdfPages(m_jobs.Job(0)), 2);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 1);
    frame.takeCentralWidget();
}

TEST_F(ViewPrintingTest, PreviewShowsAtMostFivePagesAndFlagsNothing)
{
    AddFiles({{"twelve.bin", 12 * 2560}});
    QMainWindow frame;
    frame.setCentralWidget(&m_view);
    frame.resize(800, 600);
    frame.show();
    m_printing->OnPreviewDump();
    CPrintPreview* preview = m_printing->Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(frame.centralWidget(), preview);
    EXPECT_EQ(preview->PageCount(), 5);
    EXPECT_FALSE(m_view.m_bPrinting);
    // Only the preview's five pages were written.
    EXPECT_EQ(dumptest::ReadAll(m_tmp / "WkFile.txt").find("Page : 6 / 12"), std::string::npos);
    preview->Close();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.centralWidget(), &m_view);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
    frame.takeCentralWidget();
}

// The whole program started on a folder, as a user meets it: settings, frame and view,
// the jobs going to the recorder. ExitInstance on the way out.
class ProgramPrintingTest : public ViewPrintingTest {
protected:
    void TearDown() override
    {
        if (m_bStarted)
            theApp.ExitInstance();
        ViewPrintingTest::TearDown();
    }

    CVantrelView* Start()
    {
        AfxGetApp()->WriteProfileString("Path", "Path", m_folder);
        static int argc = 1;
        static char name[] = "vantrel";
        static char* argv[] = {name, nullptr};
        EXPECT_TRUE(theApp.InitInstance(argc, argv));
        m_bStarted = true;
        CVantrelView* view = theApp.View();
        CViewPrinting& printing = CViewPrinting::Of(view);
        printing.SetWorkFile(m_tmp / "WkFile.txt");
        printing.SetPrinter(&m_printer);
        CMainFrame* frame = theApp.MainFrame();
        QApplication::setActiveWindow(frame);
        EXPECT_TRUE(QTest::qWaitForWindowActive(frame));
        return view;
    }

    // Runs act once, at a page start well inside the first dump.
    void DuringTheFirstDump(std::function<void()> act)
    {
        auto* timer = new QTimer(qApp);
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, [this, timer, act] {
            if (dumptest::ReadAll(m_tmp / "WkFile.txt").find("Page : 5 / ") == std::string::npos)
                return;
            timer->stop();
            timer->deleteLater();
            act();
        });
        timer->start();
    }

    ScopedSettings m_settings;
    bool m_bStarted = false;
};

// Whatever is tried in the middle of a dump of several marked files, every job prints its
// whole original file and exactly the printed files are flagged.
TEST_F(ProgramPrintingTest, CommandsThatChangeTheListDoNothingWhileJobsRun)
{
    const std::string other = m_tmp / "other";
    std::filesystem::create_directories(other);
    dumptest::WriteBytes(other + "/first.bin", dumptest::PatternBytes(10));
    dumptest::WriteBytes(m_folder + "/big1.bin", dumptest::PatternBytes(40 * 2560));
    dumptest::WriteBytes(m_folder + "/big2.bin", dumptest::PatternBytes(3 * 2560));
    dumptest::WriteBytes(m_folder + "/rest.bin", dumptest::PatternBytes(10));

    // A dialog the command opens is answered with the other folder (and its file).
    const auto answerDialog = [other] {
        QTimer::singleShot(0, [other] {
            if (auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                dlg->setDirectory(QString::fromStdString(other));
                dlg->selectFile(QString::fromStdString(other + "/first.bin"));
                static_cast<QDialog*>(dlg)->accept();
            }
        });
    };
    struct Attempt {
        const char* what;
        std::function<void(CMainFrame&, CVantrelView&)> act;
    };
    const auto trigger = [](unsigned id) {
        return [id](CMainFrame& frame, CVantrelView&) { frame.Action(id)->trigger(); };
    };
    const auto keys = [](Qt::Key key) {
        return [key](CMainFrame& frame, CVantrelView&) { QTest::keyClick(&frame, key, Qt::ControlModifier); };
    };
    const Attempt attempts[] = {
        {"folder command", trigger(ID_SELECT_FOLDER)},
        {"Ctrl+N", keys(Qt::Key_N)},
        {"Ctrl+O", keys(Qt::Key_O)},
        {"unmark all", trigger(ID_SELECT_NONE)},
        {"printer set-up", trigger(ID_FILE_PRINT_SETUP)},
        {"click on the last row", [](CMainFrame&, CVantrelView& view) {
             view.OnLButtonDown(0, CPoint{view.m_rcList.left + 20, view.m_rcList.top + 2 * view.m_nRowHeight + 2});
         }},
        {"Down key", [](CMainFrame&, CVantrelView& view) { view.OnKeyDown(VK_DOWN); }},
    };
    for (const Attempt& attempt : attempts) {
        SCOPED_TRACE(attempt.what);
        CVantrelView* view = Start();
        ASSERT_EQ(view->m_aFiles.size(), 3u);
        view->m_aFiles[0].nMark = 1;  // big1.bin
        view->m_aFiles[1].nMark = 1;  // big2.bin
        CMainFrame& frame = *theApp.MainFrame();
        frame.UpdateCommands();
        std::vector<unsigned> enabledMeanwhile;
        DuringTheFirstDump([&] {
            for (unsigned id : {ID_SELECT_FOLDER, ID_SELECT_ALL, ID_SELECT_NONE, ID_FILE_NEW, ID_FILE_OPEN,
                                ID_FILE_SAVE, ID_FILE_PRINT_SETUP, ID_FILE_PRINT, ID_FILE_PRINT_PREVIEW})
                if (frame.Action(id)->isEnabled())
                    enabledMeanwhile.push_back(id);
            answerDialog();
            attempt.act(frame, *view);
        });
        m_jobs.titles.clear();
        std::filesystem::remove_all(m_jobs.folder);
        std::filesystem::create_directories(m_jobs.folder);
        printtest::RecordJobs record(&m_jobs);
        QTest::keyClick(&frame, Qt::Key_P, Qt::ControlModifier);
        for (int i = 0; i < 200 && view->m_bPrinting; ++i)
            QCoreApplication::processEvents();

        EXPECT_TRUE(enabledMeanwhile.empty()) << enabledMeanwhile.front();
        EXPECT_EQ(view->m_strFolder, m_folder);
        ASSERT_EQ(m_jobs.Count(), 2);
        EXPECT_EQ(printtest::PdfPages(m_jobs.Job(0)), 40);
        EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 40).contains(QString::fromStdString(m_folder + "/big1.bin")));
        EXPECT_EQ(printtest::PdfPages(m_jobs.Job(1)), 3);
        EXPECT_TRUE(printtest::PdfText(m_jobs.Job(1), 1).contains(QString::fromStdString(m_folder + "/big2.bin")));
        ASSERT_EQ(view->m_aFiles.size(), 3u);
        EXPECT_EQ(view->m_aFiles[0].nPrinted, 1);
        EXPECT_EQ(view->m_aFiles[1].nPrinted, 1);
        EXPECT_EQ(view->m_aFiles[2].nPrinted, 0);
        EXPECT_EQ(view->m_aFiles[2].nMark, 0);
        // Once the chain has ended, everything is back.
        EXPECT_TRUE(frame.Action(ID_SELECT_FOLDER)->isEnabled());
        EXPECT_TRUE(frame.Action(ID_FILE_PRINT)->isEnabled());
        theApp.ExitInstance();
        m_bStarted = false;
    }
}

// While the preview stands in the view's place, the frame's keys do nothing; its own act.
TEST_F(ProgramPrintingTest, PreviewLeavesOnlyItsOwnKeys)
{
    const std::string other = m_tmp / "other";
    std::filesystem::create_directories(other);
    dumptest::WriteBytes(m_folder + "/seven.bin", dumptest::PatternBytes(7 * 2560));
    dumptest::WriteBytes(m_folder + "/two.bin", dumptest::PatternBytes(2 * 2560));
    CVantrelView* view = Start();
    AfxGetApp()->WriteProfileString("Path", "Path", other);  // what Ctrl+N would list
    view->m_aFiles[0].nMark = 1;  // seven.bin
    CMainFrame& frame = *theApp.MainFrame();
    ASSERT_TRUE(frame.ExecuteCommand(ID_FILE_PRINT_PREVIEW));
    CPrintPreview* preview = CViewPrinting::Of(view).Preview();
    ASSERT_NE(preview, nullptr);
    ASSERT_EQ(frame.centralWidget(), preview);

    for (const auto& [id, action] : frame.Actions())
        EXPECT_FALSE(action->isEnabled()) << id;
    QTest::keyClick(&frame, Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(&frame, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&frame, Qt::Key_P, Qt::ControlModifier);
    QTest::keyClick(&frame, Qt::Key_PageDown);
    QCoreApplication::processEvents();
    EXPECT_EQ(preview->CurrentPage(), 2);
    EXPECT_EQ(view->m_strFolder, m_folder);
    EXPECT_EQ(view->m_aFiles.size(), 2u);
    EXPECT_EQ(view->MarkedCount(), 1);
    EXPECT_EQ(m_messages.size(), 0u);  // Ctrl+P did not ask for anything

    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {});
    preview->Button(CPrintPreview::ID_PREVIEW_PRINT)->click();
    for (int i = 0; i < 100 && view->m_bPrinting; ++i)
        QCoreApplication::processEvents();
    ASSERT_EQ(m_jobs.Count(), 1);
    EXPECT_EQ(printtest::PdfPages(m_jobs.Job(0)), 7);
    EXPECT_EQ(view->m_aFiles[0].nPrinted, 1);
    EXPECT_TRUE(frame.Action(ID_FILE_NEW)->isEnabled());
}

// Should the list show another folder while jobs run, the printed files are still the
// ones flagged, by name, in the memory of their own folder.
TEST_F(ViewPrintingTest, PrintedFlagsFollowTheFilesWhenTheListChanges)
{
    AddFiles({{"a.bin", 3000}, {"b.bin", 6000}});
    const std::string other = m_tmp / "other";
    std::filesystem::create_directories(other);
    dumptest::WriteBytes(other + "/a.bin", dumptest::PatternBytes(10));
    dumptest::WriteBytes(other + "/z.bin", dumptest::PatternBytes(10));
    m_jobs.onSubmit = [&] {
        if (m_jobs.Count() != 0 || m_view.m_strFolder == other)
            return;
        m_view.RememberPrinted(m_view.m_strFolder);
        m_view.m_strFolder = other;
        m_view.ListFolder();
    };
    printtest::RecordJobs record(&m_jobs);
    RunChain([this] { m_printing->OnPrintDump(); });

    ASSERT_EQ(m_jobs.Count(), 2);
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(1), 1).contains(QString::fromStdString(m_folder + "/b.bin")));
    EXPECT_EQ(printtest::PdfPages(m_jobs.Job(1)), 3);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted + m_view.m_aFiles[1].nPrinted, 0);  // other's a.bin and z.bin
    m_view.RememberPrinted(other);
    m_view.m_strFolder = m_folder;
    m_view.ListFolder();
    m_view.RestorePrinted();
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 1);
    EXPECT_EQ(m_view.m_aFiles[1].nPrinted, 1);
}

// A printer that writes a PDF file: one job writes the chosen file, several write one
// file each beside it, none replacing another.
TEST_F(ViewPrintingTest, EachJobOfAChainWritesItsOwnPdfFile)
{
    AddFiles({{"a.bin", 6000}, {"b.log", 100}, {"c.dat", 2561}});
    const std::string out = m_tmp / "out.pdf";
    m_printer.setOutputFileName(QString::fromStdString(out));
    RunChain([this] { m_printing->OnPrintDump(); });

    EXPECT_FALSE(std::filesystem::exists(out));
    const char* names[] = {"a.bin", "b.log", "c.dat"};
    const int pages[] = {3, 1, 2};
    for (int i = 0; i < 3; ++i) {
        const std::string file = m_tmp / (std::string("out_") + names[i] + ".pdf");
        ASSERT_TRUE(std::filesystem::exists(file)) << file;
        EXPECT_EQ(printtest::PdfPages(file), pages[i]);
        EXPECT_TRUE(printtest::PdfText(file, 1).contains(QString::fromStdString(m_folder + "/" + names[i])));
        EXPECT_EQ(m_view.m_aFiles[i].nPrinted, 1);
    }

    for (FileEntry& e : m_view.m_aFiles)
        e.nMark = 0;
    m_view.m_aFiles[1].nMark = 1;
    AnswerRange({}, {});
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_TRUE(std::filesystem::exists(out));
    EXPECT_TRUE(printtest::PdfText(out, 1).contains(QString::fromStdString(m_folder + "/b.log")));
    EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(ViewPrintingTest, OutputThatCannotBeWrittenIsNamedAndNotFlagged)
{
    AddFiles({{"a.bin", 10}, {"b.bin", 10}});
    const std::string out = m_tmp / "missing/out.pdf";
    m_printer.setOutputFileName(QString::fromStdString(out));
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_messages.size(), 3u);
    for (int i = 0; i < 2; ++i) {
        const std::string& text = m_messages[1 + i];
        const std::string name = i == 0 ? "a.bin" : "b.bin";
        EXPECT_EQ(text.rfind("印刷を開始できませんでした。\n" + m_tmp / ("missing/out_" + name + ".pdf"), 0), 0u)
            << text;
        EXPECT_NE(text.find("ファイル: " + m_folder + "/" + name), std::string::npos) << text;
        EXPECT_EQ(m_view.m_aFiles[i].nPrinted, 0);
    }
}

// A refused job's message is closed before the next job starts: a message box runs an
// event loop, and the chain must not go on inside it.
TEST_F(ViewPrintingTest, FailedJobsSayOneMessageAtATime)
{
    AddFiles({{"a.bin", 10}, {"b.bin", 10}, {"c.bin", 10}});
    m_jobs.failSubmit = true;
    int submits = 0;
    m_jobs.onSubmit = [&submits] { ++submits; };
    std::vector<int> startedInsideABox;
    SetMessageBoxHook([&](const std::string& text, unsigned) {
        m_messages.push_back(text);
        const int before = submits;
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        startedInsideABox.push_back(submits - before);
        return IDOK;
    });
    printtest::RecordJobs record(&m_jobs);
    RunChain([this] { m_printing->OnPrintDump(); });

    EXPECT_EQ(submits, 3);
    ASSERT_EQ(m_messages.size(), 4u);  // the confirmation, then one per file
    EXPECT_EQ(startedInsideABox, (std::vector<int>{0, 0, 0, 0}));
    const char* names[] = {"a.bin", "b.bin", "c.bin"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(m_messages[1 + i], "印刷を開始できませんでした。\nlp: scheduler is not running\nファイル: " +
                                         m_folder + "/" + names[i]);
}

}  // namespace

namespace {

// The printed page (rendered from the job) and the preview, for looking at and for the
// read-me: VANTREL_SCREENSHOTS names the folder.
TEST_F(ViewPrintingTest, SavesPicturesWhenAsked)
{
    const QByteArray dir = qgetenv("VANTREL_SCREENSHOTS");
    if (dir.isEmpty())
        GTEST_SKIP() << "set VANTREL_SCREENSHOTS to a folder to save the pictures";
    AddFiles({{"sample.bin", 2 * 2560 + 700}});
    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {});
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_jobs.Count(), 1);
    int rc = -1;
    printtest::Run("pdftoppm", {"-png", "-r", "100", "-f", "1", "-l", "1", "-singlefile",
                                QString::fromStdString(m_jobs.Job(0)), QString(dir) + "/printed-page"}, &rc);
    EXPECT_EQ(rc, 0);

    QMainWindow frame;
    frame.setCentralWidget(&m_view);
    frame.resize(575, 800);
    frame.show();
    m_printing->OnPreviewDump();
    ASSERT_NE(m_printing->Preview(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(frame.grab().save(QString(dir) + "/preview.png"));
    m_printing->Preview()->Close();
    QCoreApplication::processEvents();
    frame.takeCentralWidget();
}

}  // namespace
