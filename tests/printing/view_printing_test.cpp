// The print and preview commands on a real view: one job per marked file, ranges,
// cancelling, failures, and the pages as they come out of the printer (a PDF here).

#include "common/qt_events.h"
#include "framework/command_ids.h"
#include "app/main_frame.h"
#include "framework/message_box.h"
#include "framework/print_preview.h"
#include "app/test_support.h"
#include "app/vantrel_app.h"
#include "common/scoped_env.h"
#include "common/small_file_system.h"
#include "filelist/list_marking.h"
#include "filelist/vantrel_view.h"
#include "printing/dump_test_util.h"
#include "printing/print_range_dlg.h"
#include "printing/print_test_util.h"
#include "printing/view_printing.h"
#include "printing/work_file.h"
#include "textfile/sha256.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <clocale>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <optional>

using printtest::JobRecorder;

namespace {

constexpr int kDpi = 600;
constexpr char kSep = sysfiles::kSeparator;

class ViewPrintingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A short folder: a header longer than the paper is cut off by its edge.
        ASSERT_TRUE(m_shortDir.isValid());
        m_folder = QDir::toNativeSeparators(m_shortDir.path()).toStdString();
        m_jobs.folder = m_tmp.Path() / "jobs";
        std::filesystem::create_directories(m_jobs.folder);
        ConfigurePdfPrinter(m_printer, kDpi);
        m_printer.setOutputFileName(QString::fromStdString(m_tmp / "unused.pdf"));
        m_view.m_strFolder = m_folder;
        m_printing = &CViewPrinting::Of(&m_view);
        m_printing->SetWorkFile(&m_work);
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
            dumptest::WriteBytes(m_folder + kSep + name, dumptest::PatternBytes(size));
        m_view.ListFolder();
        for (FileEntry& e : m_view.m_aFiles)
            e.nMark = 1;
    }

    // Runs a command and the posted continuations until the chain has ended.
    void RunChain(const std::function<void()>& command)
    {
        command();
        qttest::RunEventsWhile(m_view.m_bPrinting, 100);
        QCoreApplication::processEvents();
        EXPECT_FALSE(m_view.m_bPrinting);
    }

    // Answers the range dialog once it is up.
    void AnswerRange(const QString& from, const QString& to, bool cancel = false, std::function<void()> after = {})
    {
        qttest::AnswerModal<CPrintRangeDlg>([=](CPrintRangeDlg& dlg) {
            if (cancel) {
                dlg.reject();
            } else {
                if (!from.isEmpty()) {
                    dlg.findChildren<QRadioButton*>()[1]->click();
                    dlg.FromEdit()->setText(from);
                    dlg.ToEdit()->setText(to);
                }
                qobject_cast<QPushButton*>(dlg.Control(1))->click();
            }
            if (after)
                after();
        });
    }

    // Files left in the work folders: none once a job has ended.
    int WorkFilesLeft() const
    {
        int count = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_tmp.Path()))
            count += entry.path().filename() == "WkFile.txt" ? 1 : 0;
        return count;
    }

    TempFolder m_tmp;
    CWorkFile m_work{m_tmp.Path().string()};
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
        EXPECT_TRUE(first.contains(QString::fromStdString(m_folder + kSep + names[i])));
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
    EXPECT_TRUE(m_work.Folder().empty());  // no work folder was even made
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted + m_view.m_aFiles[1].nPrinted, 0);
}

TEST_F(ViewPrintingTest, RangeThreeToFiveOfTwelvePrintsExactlyThose)
{
    AddFiles({{"twelve.bin", 12 * 2560}});
    std::string work;
    m_jobs.onSubmit = [&] { work = dumptest::ReadAll(m_work.Path()); };
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
    // Only the range was written, the source read from page 3's first byte: the empty
    // first line, then pages 3 to 5 as a whole dump has them.
    const std::string path = m_folder + kSep + "twelve.bin";
    const std::string text = dumptest::ReferenceDump(path, dumptest::ReadAll(path));
    const std::size_t from =
        text.find("Name : " + m_folder + kSep + "twelve.bin  Length : 00007800(30720)  Page : 3 / 12");
    const std::size_t to =
        text.find("Name : " + m_folder + kSep + "twelve.bin  Length : 00007800(30720)  Page : 6 / 12");
    ASSERT_NE(from, std::string::npos);
    EXPECT_EQ(work, "\r\n" + text.substr(from, to - from));
    EXPECT_EQ(WorkFilesLeft(), 0);  // and it went with its job
}

TEST_F(ViewPrintingTest, RangeDialogCancelledWritesNothing)
{
    AddFiles({{"one.bin", 5000}});
    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {}, true);
    RunChain([this] { m_printing->OnPrintDump(); });
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_TRUE(m_work.Folder().empty());
}

TEST_F(ViewPrintingTest, EscapeDuringTheDumpStartsNoJob)
{
    AddFiles({{"long.bin", 40 * 2560}});
    printtest::RecordJobs record(&m_jobs);
    // The key arrives while the dump pumps the queue at its first page.
    AnswerRange({}, {}, false, [this] { QTimer::singleShot(0, [this] { QTest::keyClick(&m_view, Qt::Key_Escape); }); });
    RunChain([this] { m_printing->OnPrintDump(); });
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
    EXPECT_EQ(m_view.m_bCancelPrint, 0);
    EXPECT_EQ(WorkFilesLeft(), 0);  // the partial dump went at once
}

TEST_F(ViewPrintingTest, QuitDuringTheDumpEndsItAtOnce)
{
    AddFiles({{"long.bin", 40 * 2560}});
    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {}, false,
                [] { QTimer::singleShot(0, [] { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); }); });
    m_printing->OnPrintDump();
    const bool quit = QuitRequested();
    ClearQuitRequest();
    EXPECT_TRUE(quit);
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
    // Stopped at the page start after the quit arrived, and nothing of it left.
    EXPECT_EQ(WorkFilesLeft(), 0);
}

TEST_F(ViewPrintingTest, VanishedFileGetsNoJobAndTheChainGoesOn)
{
    AddFiles({{"a.bin", 3000}, {"b.bin", 3000}, {"c.bin", 10}});
    std::filesystem::remove(m_folder + kSep + "b.bin");
    printtest::RecordJobs record(&m_jobs);
    RunChain([this] { m_printing->OnPrintDump(); });

    ASSERT_EQ(m_messages.size(), 2u);
    // The program's first line as it always was, the reason under it.
    EXPECT_EQ(m_messages[1],
              "ファイルオープン失敗[" + m_folder + kSep + "b.bin]\nファイルまたはフォルダが見つかりません");
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
    CWorkFile nowhere(m_tmp / "no-such-folder");
    m_printing->SetWorkFile(&nowhere);
    printtest::RecordJobs record(&m_jobs);
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1].rfind("ワークファイル書き込み失敗[" + m_tmp / "no-such-folder" + kSep, 0), 0u)
        << m_messages[1];
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
    dumptest::WriteBytes(m_folder + kSep + "shrinks.bin", dumptest::PatternBytes(100));
    printtest::RecordJobs record(&m_jobs);
    AnswerRange({}, {});
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_jobs.Count(), 1);
    ASSERT_EQ(printtest::PdfPages(m_jobs.Job(0)), 3);
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 1).contains("Page : 1 / 1"));
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 2).trimmed().isEmpty());
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 3).trimmed().isEmpty());
}

// The window and vantrel-dump --pdf draw a file's pages through one loop: the same words
// in the same places for a whole file, a range and an empty file's blank page. Escape in
// the list during the window's job ends it as the status window's cancel does.
TEST_F(ViewPrintingTest, WindowAndToolDrawThePagesOfOneLoop)
{
    const struct {
        std::string name;
        std::size_t size;
        QString from, to;  // none: every page
        int pages;
    } rows[] = {
        {"three.bin", 3 * 2560 - 5, {}, {}, 3},
        {"twelve.bin", 12 * 2560, "3", "5", 3},
        {"empty.bin", 0, {}, {}, 1},
    };
    ConfigurePdfPrinter(m_printer, kPdfResolution);  // the tool's
    const auto words = [](const std::string& pdf, int page) {
        QStringList placed;
        for (const printtest::Word& w : printtest::PdfWords(pdf, page))
            placed << QString("%1@%2,%3").arg(w.text).arg(w.xMin).arg(w.yMin);
        return placed;
    };
    for (const auto& row : rows) {
        AddFiles({{row.name, row.size}});
        for (FileEntry& e : m_view.m_aFiles)
            e.nMark = e.strName == row.name ? 1 : 0;
        const std::string window = m_tmp / ("window-" + row.name + ".pdf");
        const std::string tool = m_tmp / ("tool-" + row.name + ".pdf");
        m_printer.setOutputFileName(QString::fromStdString(window));
        AnswerRange(row.from, row.to);
        RunChain([this] { m_printing->OnPrintDump(); });
        QStringList args{"--pdf", QString::fromStdString(tool)};
        if (!row.from.isEmpty())
            args << "--pages" << row.from + "-" + row.to;
        QProcess run;  // a program of ours: on Windows too, not through the Linux tools' bridge
        run.start(VANTREL_DUMP_EXE, args << QString::fromStdString(m_folder + kSep + row.name));
        ASSERT_TRUE(run.waitForFinished(60000) && run.exitCode() == 0)
            << row.name << run.readAllStandardError().toStdString();
        ASSERT_EQ(printtest::PdfPages(window), row.pages) << row.name;
        ASSERT_EQ(printtest::PdfPages(tool), row.pages) << row.name;
        for (int page = 1; page <= row.pages; ++page)
            EXPECT_EQ(words(window, page), words(tool, page)) << row.name << " page " << page;
    }
    EXPECT_TRUE(words(m_tmp / "window-twelve.bin.pdf", 1).join(' ').contains("Page@"));

    const std::string escaped = m_tmp / "escaped.pdf";
    m_printer.setOutputFileName({});
    const PrinterDialogHookGuard dialog([&](QPrinter& printer, QWidget*) {
        printer.setOutputFileName(QString::fromStdString(escaped));
        m_view.OnKeyDown(VK_ESCAPE);  // after the dump, before the first page
        return true;
    });
    FileEntry* three = nullptr;
    for (FileEntry& e : m_view.m_aFiles) {
        e.nMark = e.strName == "three.bin" ? 1 : 0;
        e.nPrinted = 0;
        three = e.nMark == 1 ? &e : three;
    }
    AnswerRange({}, {});
    RunChain([this] { m_printing->OnPrintDump(); });
    EXPECT_FALSE(std::filesystem::exists(escaped));
    ASSERT_NE(three, nullptr);
    EXPECT_EQ(three->nPrinted, 0);
    EXPECT_EQ(m_view.m_bCancelPrint, 0);
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
    EXPECT_TRUE(text.contains(
        QString::fromStdString("Name : " + m_folder + kSep + "full.bin Length : 00001400(5120) Page : 2 / 2")))
        << text.toStdString();
    EXPECT_TRUE(printtest::PdfFonts(m_jobs.Job(0)).contains("IPAMincho"));
}

// The user's road: Ctrl+P in the frame; print and preview stay disabled while jobs run.
TEST_F(ViewPrintingTest, CtrlPInTheFramePrintsWithCommandsDisabledMeanwhile)
{
    auto* view = new CVantrelView;
    CMainFrame frame(view);
    view->m_strFolder = m_folder;
    dumptest::WriteBytes(m_folder + kSep + "a.bin", dumptest::PatternBytes(3000));
    dumptest::WriteBytes(m_folder + kSep + "b.bin", dumptest::PatternBytes(10));
    view->ListFolder();
    for (FileEntry& e : view->m_aFiles)
        e.nMark = 1;
    CViewPrinting& printing = CViewPrinting::Of(view);
    printing.SetWorkFile(&m_work);
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
    qttest::RunEventsWhile(view->m_bPrinting, 100);

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
    qttest::RunEventsWhile(m_view.m_bPrinting, 100);
    EXPECT_EQ(frame.centralWidget(), &m_view);
    ASSERT_EQ(m_jobs.Count(), 1);
    EXPECT_EQ(printtest::PdfPages(m_jobs.Job(0)), 2);
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 1);
    frame.takeCentralWidget();
}

// The preview needs no printer and no scheduler: it lays the pages out on the PDF
// printer's A4. One that cannot open (no frame to show it in) leaves no work file.
TEST_F(ViewPrintingTest, PreviewNeedsNoPrinterAndOneThatCannotOpenLeavesNothing)
{
    AddFiles({{"three.bin", 3 * 2560}});
    QPrinter none(QPrinter::HighResolution);
    none.setOutputFormat(QPrinter::PdfFormat);  // nothing to print to
    m_printing->SetPrinter(&none);
    ScopedEnv cups("CUPS_SERVER", m_tmp / "no-cupsd.sock");
    m_printing->OnPreviewDump();
    EXPECT_EQ(m_printing->Preview(), nullptr);
    EXPECT_EQ(m_messages, std::vector<std::string>{"ｺﾏﾝﾄﾞの実行に失敗しました。"});
    EXPECT_EQ(WorkFilesLeft(), 0);
    EXPECT_FALSE(m_view.m_bPrinting);

    QMainWindow frame;
    frame.setCentralWidget(&m_view);
    frame.show();
    m_printing->OnPreviewDump();
    CPrintPreview* preview = m_printing->Preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->PageCount(), 3);
    EXPECT_EQ(preview->CurrentPage(), 1);
    EXPECT_EQ(preview->Printer().resolution(), kPdfResolution);
    preview->Close();
    QCoreApplication::processEvents();
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
    // Only the preview's five pages were written; they go when the preview closes.
    const std::string work = dumptest::ReadAll(m_work.Path());
    EXPECT_NE(work.find("Page : 5 / 12"), std::string::npos);
    EXPECT_EQ(work.find("Page : 6 / 12"), std::string::npos);
    preview->Close();
    QCoreApplication::processEvents();
    EXPECT_EQ(WorkFilesLeft(), 0);
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

    // ownWorkFile: the program's own work file, where it puts it; else the test's.
    CVantrelView* Start(bool ownWorkFile = false)
    {
        AfxGetApp()->WriteProfileString("Path", "Path", m_folder);
        static int argc = 1;
        static char name[] = "vantrel";
        static char* argv[] = {name, nullptr};
        EXPECT_TRUE(theApp.InitInstance(argc, argv));
        m_bStarted = true;
        CVantrelView* view = theApp.View();
        CViewPrinting& printing = CViewPrinting::Of(view);
        if (!ownWorkFile)
            printing.SetWorkFile(&m_work);
        m_pWork = &printing.WorkFile();
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
            if (dumptest::ReadAll(m_pWork->Path()).find("Page : 5 / ") == std::string::npos)
                return;
            timer->stop();
            timer->deleteLater();
            act();
        });
        timer->start();
    }

    // Ctrl+P in the frame, and the chain run to its end.
    void PrintWithCtrlP(CVantrelView* view)
    {
        theApp.MainFrame()->UpdateCommands();  // the marks were set by hand
        QTest::keyClick(theApp.MainFrame(), Qt::Key_P, Qt::ControlModifier);
        qttest::RunEventsWhile(view->m_bPrinting);
    }

    CWorkFile* m_pWork = &m_work;
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
    dumptest::WriteBytes(m_folder + kSep + "big1.bin", dumptest::PatternBytes(40 * 2560));
    dumptest::WriteBytes(m_folder + kSep + "big2.bin", dumptest::PatternBytes(3 * 2560));
    dumptest::WriteBytes(m_folder + kSep + "rest.bin", dumptest::PatternBytes(10));

    // A dialog the command opens is answered with the other folder (and its file).
    const auto answerDialog = [other] {
        qttest::AnswerModal<QFileDialog>(
            [other](QFileDialog& dlg) {
                dlg.setDirectory(QString::fromStdString(other));
                dlg.selectFile(QString::fromStdString(other + "/first.bin"));
                static_cast<QDialog&>(dlg).accept();
            },
            qttest::Modal::IfUp);
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
        {"click on the last row",
         [](CMainFrame&, CVantrelView& view) {
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
        qttest::RunEventsWhile(view->m_bPrinting);

        EXPECT_TRUE(enabledMeanwhile.empty()) << enabledMeanwhile.front();
        EXPECT_EQ(view->m_strFolder, m_folder);
        ASSERT_EQ(m_jobs.Count(), 2);
        EXPECT_EQ(printtest::PdfPages(m_jobs.Job(0)), 40);
        EXPECT_TRUE(
            printtest::PdfText(m_jobs.Job(0), 40).contains(QString::fromStdString(m_folder + kSep + "big1.bin")));
        EXPECT_EQ(printtest::PdfPages(m_jobs.Job(1)), 3);
        EXPECT_TRUE(
            printtest::PdfText(m_jobs.Job(1), 1).contains(QString::fromStdString(m_folder + kSep + "big2.bin")));
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

// A logout or kill (SIGTERM) in the middle of a dump ends the program as closing the
// window does: the dump stops at its next page start, nothing is printed or flagged,
// the settings are saved and the work folder goes.
TEST_F(ProgramPrintingTest, TermSignalEndsTheProgramAsACloseDoes)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no SIGTERM; the end of the session is the app tests' case";
#else
    ScopedEnv tmp("TMPDIR", m_tmp.Path().string());
    dumptest::WriteBytes(m_folder + kSep + "big.bin", dumptest::PatternBytes(40 * 2560));
    dumptest::WriteBytes(m_folder + kSep + "small.bin", dumptest::PatternBytes(10));
    CVantrelView* view = Start(true);
    for (FileEntry& e : view->m_aFiles)
        e.nMark = 1;
    theApp.m_nNumPreviewPages = 2;  // to see the settings saved at the end
    std::string workFolder;
    DuringTheFirstDump([&] {
        workFolder = m_pWork->Folder();
        ::raise(SIGTERM);
    });
    printtest::RecordJobs record(&m_jobs);
    PrintWithCtrlP(view);

    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_EQ(view->m_aFiles[0].nPrinted + view->m_aFiles[1].nPrinted, 0);
    EXPECT_FALSE(theApp.MainFrame()->isVisible());
    ASSERT_FALSE(workFolder.empty());
    EXPECT_EQ(theApp.ExitInstance(), 128 + SIGTERM);
    m_bStarted = false;
    ClearQuitRequest();
    EXPECT_FALSE(std::filesystem::exists(workFolder));
    EXPECT_EQ(AfxGetApp()->GetProfileInt("Settings", "PreviewPages", 0), 2);
#endif
}

// A file-size limit (ulimit -f) hitting the work file fails it as a full disk does: the
// program lives on (no signal is ignored for it here), says so, prints and flags nothing.
TEST_F(ProgramPrintingTest, FileSizeLimitIsSaidAndPrintsNothing)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no file-size limit (ulimit -f)";
#else
    dumptest::WriteBytes(m_folder + kSep + "big.bin", dumptest::PatternBytes(100 * 2560));
    CVantrelView* view = Start();
    view->m_aFiles[0].nMark = 1;
    AnswerRange({}, {});
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const rlimit small{64 * 1024, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    PrintWithCtrlP(view);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].rfind("ワークファイル書き込み失敗[", 0), 0u) << m_messages[0];
    EXPECT_EQ(view->m_aFiles[0].nPrinted, 0);
    EXPECT_EQ(WorkFilesLeft(), 0);
#endif
}

// Two copies of the program of one user (one TMPDIR) printing at once: neither's start
// or output removes what the other uses, and each prints its job (it says so in its exit
// status). Two real processes: this test started again, with VANTREL_TEST_OUT set.
TEST_F(ProgramPrintingTest, TwoCopiesPrintAtOnce)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no signal that stops and continues another process";
#else
    if (const char* out = std::getenv("VANTREL_TEST_OUT")) {
        const int pages = std::atoi(std::getenv("VANTREL_TEST_PAGES"));
        dumptest::WriteBytes(m_folder + kSep + "a.bin", dumptest::PatternBytes(pages * 2560));
        CVantrelView* view = Start(true);
        view->m_aFiles[0].nMark = 1;
        m_printer.setOutputFileName(out);
        AnswerRange({}, {});
        PrintWithCtrlP(view);
        EXPECT_EQ(view->m_aFiles[0].nPrinted, 1);
        return;
    }
    std::filesystem::create_directory(m_tmp / "tmp");
    const auto start = [&](QProcess& p, int pages, const std::string& out) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", QString::fromStdString(m_tmp / "tmp"));
        env.insert("VANTREL_TEST_PAGES", QString::number(pages));
        env.insert("VANTREL_TEST_OUT", QString::fromStdString(m_tmp / out));
        p.setProcessEnvironment(env);
        p.start(QCoreApplication::applicationFilePath(), {"--gtest_filter=ProgramPrintingTest.TwoCopiesPrintAtOnce"});
        return p.waitForStarted() ? static_cast<pid_t>(p.processId()) : 0;
    };
    // The first held still once its work folder and file are there.
    QProcess first, second;
    const pid_t pid = start(first, 2000, "first.pdf");
    const auto working = [&] { return printtest::Leftovers(m_tmp.Path()).size() >= 2; };
    for (int i = 0; i < 600 && !working() && first.state() == QProcess::Running; ++i)
        first.waitForFinished(50);
    ASSERT_TRUE(pid > 0 && working() && first.state() == QProcess::Running) << first.readAll().toStdString();
    ::kill(pid, SIGSTOP);
    const std::set<std::string> held = printtest::Leftovers(m_tmp.Path());
    start(second, 3, "second.pdf");
    EXPECT_TRUE(second.waitForFinished(60000) && second.exitCode() == 0) << second.readAll().toStdString();
    EXPECT_EQ(printtest::Leftovers(m_tmp.Path()), held);
    ::kill(pid, SIGCONT);
    EXPECT_TRUE(first.waitForFinished(120000) && first.exitCode() == 0) << first.readAll().toStdString();
    EXPECT_TRUE(printtest::Leftovers(m_tmp.Path()).empty());
#endif
}

// A "WkFile.txt" of the user's own, in the current folder or the home folder, is never
// touched by a print or by the program's end.
TEST_F(ProgramPrintingTest, UsersOwnWkFileIsNeverTouched)
{
    ScopedEnv tmp("TMPDIR", m_tmp.Path().string());
    const std::string cwd = m_tmp / "cwd";
    std::filesystem::create_directories(cwd);
    dumptest::WriteBytes(cwd + "/WkFile.txt", "the user's own, here");
    // A home of the test's own, with the user's file in it.
    const std::string home = m_tmp / "home";
    std::filesystem::create_directories(home);
    ScopedEnv homeEnv("HOME", home);
    const std::string homeFile = home + "/WkFile.txt";
    dumptest::WriteBytes(homeFile, "the user's own, at home");
    const std::filesystem::path oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(cwd);

    dumptest::WriteBytes(m_folder + kSep + "a.bin", dumptest::PatternBytes(3000));
    dumptest::WriteBytes(m_folder + kSep + "b.bin", dumptest::PatternBytes(10));
    CVantrelView* view = Start(true);
    for (FileEntry& e : view->m_aFiles)
        e.nMark = 1;
    printtest::RecordJobs record(&m_jobs);
    PrintWithCtrlP(view);
    EXPECT_EQ(m_jobs.Count(), 2) << (m_messages.empty() ? "" : m_messages.back());
    EXPECT_EQ(theApp.ExitInstance(), 0);
    m_bStarted = false;

    std::filesystem::current_path(oldCwd);
    EXPECT_EQ(dumptest::ReadAll(cwd + "/WkFile.txt"), "the user's own, here");
    EXPECT_EQ(dumptest::ReadAll(homeFile), "the user's own, at home");
    // Nothing of the program's own is left where it worked.
    for (const auto& entry : std::filesystem::directory_iterator(m_tmp.Path()))
        EXPECT_EQ(entry.path().filename().string().rfind("vantrel-", 0), std::string::npos) << entry.path();
}

// While the preview stands in the view's place, the frame's keys do nothing; its own act.
TEST_F(ProgramPrintingTest, PreviewLeavesOnlyItsOwnKeys)
{
    const std::string other = m_tmp / "other";
    std::filesystem::create_directories(other);
    dumptest::WriteBytes(m_folder + kSep + "seven.bin", dumptest::PatternBytes(7 * 2560));
    dumptest::WriteBytes(m_folder + kSep + "two.bin", dumptest::PatternBytes(2 * 2560));
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
    qttest::RunEventsWhile(view->m_bPrinting, 100);
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
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(1), 1).contains(QString::fromStdString(m_folder + kSep + "b.bin")));
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
        EXPECT_TRUE(printtest::PdfText(file, 1).contains(QString::fromStdString(m_folder + kSep + names[i])));
        EXPECT_EQ(m_view.m_aFiles[i].nPrinted, 1);
    }

    for (FileEntry& e : m_view.m_aFiles)
        e.nMark = 0;
    m_view.m_aFiles[1].nMark = 1;
    AnswerRange({}, {});
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_TRUE(std::filesystem::exists(out));
    EXPECT_TRUE(printtest::PdfText(out, 1).contains(QString::fromStdString(m_folder + kSep + "b.log")));
    EXPECT_EQ(m_messages.size(), 1u);
}

// The window's PDF file of a name in every script, as the tool's: read back as itself.
TEST_F(ViewPrintingTest, PdfFilesOfNamesInEveryScript)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the window names files in code page 932 on Windows, which most of these scripts are not in";
#endif
    std::vector<std::pair<std::string, std::size_t>> files;
    for (const printtest::ScriptName& n : printtest::ScriptNames())
        files.emplace_back(n.name, 100);
    AddFiles(files);
    m_printer.setOutputFileName(QString::fromStdString(m_tmp / "out.pdf"));
    RunChain([this] { m_printing->OnPrintDump(); });
    for (const printtest::ScriptName& n : printtest::ScriptNames()) {
        const std::string pdf = m_tmp / (std::string("out_") + n.name + ".pdf");
        ASSERT_TRUE(std::filesystem::exists(pdf)) << n.name;
        EXPECT_EQ(printtest::ReaderComplaints(pdf), "") << n.name;
        const QString line = "Name : " + printtest::AsReadBack(QString::fromStdString(m_folder + "/" + n.name)) +
                             " Length : 00000064(100) Page : 1 / 1";
        const QStringList readers =
            n.rightToLeft ? QStringList{"poppler", "mupdf"} : QStringList{"poppler", "mupdf", "pypdf"};
        EXPECT_EQ(printtest::Misreaders(printtest::ReaderTexts(pdf), line, readers), QStringList()) << n.name;
    }
}

// A job whose output is, under another name, the file an earlier job of the chain wrote
// (through a link here; a name in another case on some file systems) is refused, and the
// earlier output stays.
TEST_F(ViewPrintingTest, OutputAnEarlierJobWroteIsRefused)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Wine makes no symbolic links, and one folder cannot hold two names of one file in other cases";
#endif
    AddFiles({{"a.bin", 3000}, {"b.bin", 100}});
    std::filesystem::create_symlink("out_a.bin.pdf", m_tmp / "out_b.bin.pdf");
    m_printer.setOutputFileName(QString::fromStdString(m_tmp / "out.pdf"));
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_messages.size(), 2u);  // the question, then the refusal
    EXPECT_NE(m_messages[1].find("は同じ印刷の別のファイルの出力と重なります"), std::string::npos) << m_messages[1];
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 1);
    EXPECT_EQ(m_view.m_aFiles[1].nPrinted, 0);
    EXPECT_EQ(printtest::PdfPages(m_tmp / "out_a.bin.pdf"), 2);
}

// A print to a PDF file is the same record as the tool's, also under a locale that writes
// decimals with a comma: every number as PDF has it, the file named and tied to its bytes.
TEST_F(ViewPrintingTest, PrintToFileIsARecordUnderADecimalCommaLocale)
{
#if defined(_WIN32)
    GTEST_SKIP() << "a locale of the test's own (localedef, LOCPATH) is Linux's";
#else
    const std::string locale = printtest::MakeCommaLocale(m_tmp.Str());
    ASSERT_FALSE(locale.empty()) << "localedef cannot make de_DE.UTF-8 here";
    AddFiles({{"表.bin", 3000}});
    const std::string out = m_tmp / "out.pdf";
    m_printer.setOutputFileName(QString::fromStdString(out));
    AnswerRange({}, {});
    {
        ScopedEnv locpath("LOCPATH", m_tmp.Str());
        const std::string before = std::setlocale(LC_ALL, nullptr);
        ASSERT_NE(std::setlocale(LC_ALL, locale.c_str()), nullptr);
        char number[16];
        std::snprintf(number, sizeof number, "%.1f", 1.5);
        EXPECT_STREQ(number, "1,5");
        RunChain([this] { m_printing->OnPrintDump(); });
        std::setlocale(LC_ALL, before.c_str());
    }
    ASSERT_EQ(m_view.m_aFiles[0].nPrinted, 1);
    EXPECT_EQ(printtest::ReaderComplaints(out), "");
    EXPECT_EQ(printtest::PdfInfo(out, "Title"), QString::fromUtf8("表.bin"));
    const std::string bytes = dumptest::ReadAll(m_folder + "/表.bin");
    const std::vector<QStringList> subject = printtest::SubjectFields(printtest::PdfInfo(out, "Subject"));
    ASSERT_EQ(subject.size(), 1u);
    EXPECT_EQ(subject[0].mid(2, 6).join(' ').toStdString(),
              "1 2 2 3000 0 " + CSha256::Hex(CSha256::Of(bytes.data(), bytes.size())));
    EXPECT_EQ(subject[0].value(8).toStdString(), m_folder + "/表.bin");
    // An archival record, as the tool's.
    EXPECT_EQ(printtest::PreflightErrors(out), "");
    EXPECT_EQ(printtest::PdfFacts(out)["File"], QStringList(QString::fromStdString(m_folder + "/表.bin")));
#endif
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
        EXPECT_NE(text.find("ファイル: " + m_folder + kSep + name), std::string::npos) << text;
        EXPECT_EQ(m_view.m_aFiles[i].nPrinted, 0);
    }
}

// A PDF file that is one of the marked files, under any name (itself, one a chain makes
// of the chosen name, a hard link), is refused before anything is asked (a dialog shown
// is closed) or printed.
TEST_F(ViewPrintingTest, PdfFileThatIsAMarkedFileIsRefusedBeforeAnyJob)
{
    AddFiles({{"a.bin", 3000}, {"b.bin", 100}, {"out_b.bin.pdf", 50}});
    std::filesystem::create_hard_link(m_folder + kSep + "a.bin", m_tmp / "hard_a.bin.pdf");
    const std::pair<std::vector<int>, std::string> cases[] = {
        {{0}, m_folder + kSep + "a.bin"}, {{0, 1, 2}, m_folder + kSep + "out.pdf"}, {{0, 1}, m_tmp / "hard.pdf"}};
    for (const auto& [marked, chosen] : cases) {
        for (std::size_t i = 0; i < m_view.m_aFiles.size(); ++i)
            m_view.m_aFiles[i].nMark = std::count(marked.begin(), marked.end(), static_cast<int>(i)) ? 1 : 0;
        m_printer.setOutputFileName(QString::fromStdString(chosen));
        m_messages.clear();
        qttest::AnswerModal<QWidget>([](QWidget& dialog) { dialog.close(); }, qttest::Modal::IfUp);
        RunChain([this] { m_printing->OnPrintDump(); });
        ASSERT_EQ(m_messages.size(), 1u) << chosen;
        EXPECT_EQ(m_messages[0].rfind("印刷を開始できませんでした。\n出力ファイル[", 0), 0u) << m_messages[0];
    }
    for (const FileEntry& e : m_view.m_aFiles)
        EXPECT_EQ(dumptest::ReadAll(m_folder + kSep + e.strName), dumptest::PatternBytes(e.lSize)) << e.strName;
}

// The print-to-file printer's output follows the rules of every output: only a regular
// file the user may write is replaced, a link's target is written and the link kept,
// anything else is refused with a message naming it and no flag.
TEST_F(ViewPrintingTest, PrintToFileReplacesOnlyWhatItMay)
{
#if defined(_WIN32)
    GTEST_SKIP() << "links, fifos, mode bits and the umask are POSIX's; the Windows output rules are the core tests'";
#else
    AddFiles({{"a.bin", 3000}});
    const std::string dir = m_tmp / "out";
    std::filesystem::create_directories(dir);
    dumptest::WriteBytes(dir + "/target.pdf", "old target");
    std::filesystem::create_symlink("target.pdf", dir + "/link.pdf");
    dumptest::WriteBytes(dir + "/readonly.pdf", "keep");
    ::chmod((dir + "/readonly.pdf").c_str(), 0444);
    ASSERT_EQ(::mkfifo((dir + "/fifo.pdf").c_str(), 0600), 0);
    std::filesystem::create_directory(dir + "/folder.pdf");
    const mode_t oldMask = ::umask(027);
    const struct {
        const char* name;
        bool printed;
    } cases[] = {
        {"new.pdf", true}, {"link.pdf", true}, {"readonly.pdf", false}, {"fifo.pdf", false}, {"folder.pdf", false}};
    for (const auto& c : cases) {
        const std::string out = dir + "/" + c.name;
        m_printer.setOutputFileName(QString::fromStdString(out));
        m_view.m_aFiles[0].nPrinted = 0;
        m_messages.clear();
        AnswerRange({}, {});
        RunChain([this] { m_printing->OnPrintDump(); });
        EXPECT_EQ(m_view.m_aFiles[0].nPrinted, c.printed ? 1 : 0) << c.name;
        if (!c.printed) {
            ASSERT_EQ(m_messages.size(), 1u) << c.name;
            EXPECT_EQ(m_messages[0].rfind("印刷を開始できませんでした。\n" + out + ": ", 0), 0u) << m_messages[0];
        }
    }
    ::umask(oldMask);
    EXPECT_EQ(printtest::PdfPages(dir + "/new.pdf"), 2);
    struct stat st {};
    ASSERT_EQ(::stat((dir + "/new.pdf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);  // what the umask gives, not 0600
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link.pdf"));
    EXPECT_EQ(printtest::PdfPages(dir + "/target.pdf"), 2);
    EXPECT_EQ(dumptest::ReadAll(dir + "/readonly.pdf"), "keep");
    EXPECT_TRUE(std::filesystem::is_fifo(dir + "/fifo.pdf"));
    // Nothing but what was there and the new file: no job file left beside them.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 6);
#endif
}

// As root: another user's file in a folder anyone may write (nobody's report.pdf in a
// sticky /tmp/s) is never handed root's dump; it is refused before the dump is written.
TEST_F(ViewPrintingTest, AnotherUsersPdfFileIsRefusedBeforeTheDump)
{
#if defined(_WIN32)
    GTEST_SKIP() << "sticky folders, owners and root are POSIX's";
#else
    if (::geteuid() != 0)
        GTEST_SKIP() << "another user's file needs root to make";
    AddFiles({{"a.bin", 3000}});
    const std::string dir = m_tmp / "s";
    std::filesystem::create_directory(dir);
    ASSERT_EQ(::chmod(dir.c_str(), 01777), 0);
    const std::string out = dir + "/report.pdf";
    dumptest::WriteBytes(out, "x");
    ASSERT_EQ(::chown(out.c_str(), 65534, 65534) + ::chmod(out.c_str(), 0666), 0);
    m_printer.setOutputFileName(QString::fromStdString(out));
    AnswerRange({}, {});
    RunChain([this] { m_printing->OnPrintDump(); });
    EXPECT_EQ(m_messages, std::vector<std::string>{
                              "印刷を開始できませんでした。\n" + out +
                              ": 共有フォルダにある他のユーザーのファイルです\nファイル: " + m_folder + "/a.bin"});
    EXPECT_EQ(dumptest::ReadAll(out), "x");
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
    EXPECT_TRUE(m_work.Folder().empty()) << "a work folder was made: the dump was written first";
#endif
}

// Qt's PDF writer says all went well when its writes failed (a full disk): such a job
// is not handed over, its file is not flagged, and the earlier output stays.
TEST_F(ViewPrintingTest, PdfThatCouldNotBeWrittenWholeIsNotHandedOver)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no file-size limit (ulimit -f)";
#else
    // Thousands of blank pages (the file is empty now; the list counted them) make a PDF
    // far larger than the work file, which stays empty: the limit below hits the PDF only.
    dumptest::WriteBytes(m_folder + kSep + "shrunk.bin", "");
    m_view.AddFileEntry("shrunk.bin", 3000 * 2560);
    m_view.m_aFiles[0].nMark = 1;
    const std::string out = m_tmp / "old.pdf";
    dumptest::WriteBytes(out, "an earlier output");
    m_printer.setOutputFileName(QString::fromStdString(out));
    AnswerRange({}, {});

    // A disk with 64 KiB left, for this process: writes past it fail.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    RunChain([this] { m_printing->OnPrintDump(); });
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
    EXPECT_EQ(dumptest::ReadAll(out), "an earlier output");
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].rfind("印刷を開始できませんでした。\n" + out + ": ", 0), 0u) << m_messages[0];
    EXPECT_NE(m_messages[0].find("\nファイルが大きすぎます\n"), std::string::npos) << m_messages[0];
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_tmp.Path()), {}), 3);  // no job file left
#endif
}

// A file that shrinks while its dump is written has no job and no flag: pages of a file
// that is no longer there would come out blank under its name.
TEST_F(ViewPrintingTest, FileShrinkingDuringItsDumpGetsNoJob)
{
    AddFiles({{"a.bin", 600 * 2560}, {"b.bin", 10}});
    QTimer::singleShot(0, [this] { dumptest::WriteBytes(m_folder + kSep + "a.bin", "tiny"); });
    printtest::RecordJobs record(&m_jobs);
    RunChain([this] { m_printing->OnPrintDump(); });
    ASSERT_EQ(m_messages.size(), 2u);
    EXPECT_EQ(m_messages[1], "ファイル読み込み失敗[" + m_folder + kSep + "a.bin]");
    ASSERT_EQ(m_jobs.Count(), 1);  // the chain goes on with the next file
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 1).contains("b.bin"));
    EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
    EXPECT_EQ(m_view.m_aFiles[1].nPrinted, 1);
    EXPECT_EQ(WorkFilesLeft(), 0);
}

// Too little room for a dump: said before a byte is written, naming the work file and
// the bytes; no job. Needs a small file system of its own, which only root can mount.
TEST_F(ViewPrintingTest, NoRoomForTheWorkFileIsSaidFirst)
{
    const std::string small = m_tmp / "small";
    const CSmallFileSystem fs(small, "256k");
    if (!fs.Mounted())
        GTEST_SKIP() << CSmallFileSystem::kWhyNot;
    AddFiles({{"big.bin", 100 * 1024}});
    {
        CWorkFile work(small);
        m_printing->SetWorkFile(&work);
        printtest::RecordJobs record(&m_jobs);
        AnswerRange({}, {});
        RunChain([this] { m_printing->OnPrintDump(); });
        m_printing->SetWorkFile(&m_work);
        ASSERT_EQ(m_messages.size(), 1u);
        const std::string& text = m_messages[0];
        EXPECT_EQ(text.rfind("ワークファイルの空き容量が足りません[" + small + "/vantrel-", 0), 0u) << text;
        const std::uint64_t needed = DumpTextSize(DumpGeometry{m_folder + kSep + "big.bin", 100 * 1024, 40}, 1, 40);
        EXPECT_EQ(NoRoomMessage("w", needed, 0).substr(NoRoomMessage("w", needed, 0).find('\n')),
                  text.substr(text.find('\n'), text.rfind('\n') - text.find('\n')) + "\n空き: 0 バイト")
            << text;
        EXPECT_NE(text.find("\n空き: "), std::string::npos) << text;
        EXPECT_EQ(m_jobs.Count(), 0);
        EXPECT_EQ(m_view.m_aFiles[0].nPrinted, 0);
        EXPECT_TRUE(std::filesystem::is_empty(work.Folder()));
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
                                         m_folder + kSep + names[i]);
}

}  // namespace
