// The print loop on its own: which pages it asks for, what reaches the printer when a
// job is cancelled or fails, the printer dialog, and the real spooler's bounds.

#include "framework/cdc.h"
#include "framework/message_box.h"
#include "framework/print_loop.h"
#include "common/scoped_env.h"
#include "framework/print_status_dlg.h"
#include "printing/dump_test_util.h"
#include "printing/print_test_util.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>

#include <gtest/gtest.h>

using printtest::JobRecorder;

namespace {

// Hooks that print "page N" and record the calls.
class CFakeHooks : public CPrintHooks {
public:
    bool OnPreparePrinting(CPrintInfo* pInfo) override
    {
        calls.push_back("prepare");
        pInfo->SetMinPage(minPage);
        if (maxPage != 0)
            pInfo->SetMaxPage(maxPage);
        pInfo->m_bDirect = true;
        pInfo->m_pPrinter = printer;
        return DoPreparePrinting(pInfo, nullptr);
    }
    void OnBeginPrinting(CDC*, CPrintInfo*) override { calls.push_back("begin"); }
    void OnPrint(CDC* pDC, CPrintInfo* pInfo) override
    {
        pages.push_back(pInfo->m_nCurPage);
        pDC->TextOut(100, 100, "page " + std::to_string(pInfo->m_nCurPage));
        if (onPage)
            onPage(pInfo);
    }
    void OnEndPrinting(CDC*, CPrintInfo* pInfo) override
    {
        calls.push_back("end");
        outcome = pInfo->m_nOutcome;
    }

    QPrinter* printer = nullptr;
    std::int64_t minPage = 1;
    std::int64_t maxPage = 0;
    std::function<void(CPrintInfo*)> onPage;
    std::vector<std::string> calls;
    std::vector<std::int64_t> pages;
    PrintOutcome outcome = PrintOutcome::None;
};

class PrintLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_jobs.folder = m_tmp.Path();
        ConfigurePdfPrinter(m_printer, 300);
        m_printer.setOutputFileName(QString::fromStdString(m_tmp / "out.pdf"));
        m_hooks.printer = &m_printer;
        SetMessageBoxHook([this](const std::string& text, unsigned) {
            m_messages.push_back(text);
            return IDOK;
        });
    }
    void TearDown() override
    {
        SetMessageBoxHook({});
        SetPrinterDialogHook({});
    }

    TempFolder m_tmp;
    JobRecorder m_jobs;
    QPrinter m_printer{QPrinter::HighResolution};
    CFakeHooks m_hooks;
    std::vector<std::string> m_messages;
};

TEST_F(PrintLoopTest, RunsMinToMaxAndHandsOverOneWholeJob)
{
    printtest::RecordJobs record(&m_jobs);
    m_hooks.minPage = 3;
    m_hooks.maxPage = 5;
    RunPrintLoop(m_hooks);
    EXPECT_EQ(m_hooks.pages, (std::vector<std::int64_t>{3, 4, 5}));
    EXPECT_EQ(m_hooks.calls, (std::vector<std::string>{"prepare", "begin", "end"}));
    EXPECT_EQ(m_hooks.outcome, PrintOutcome::Printed) << (m_messages.empty() ? "" : m_messages[0]);
    ASSERT_EQ(m_jobs.Count(), 1);
    EXPECT_EQ(printtest::PdfPages(m_jobs.Job(0)), 3);
    EXPECT_TRUE(printtest::PdfText(m_jobs.Job(0), 3).contains("page 5"));
    // The job is drawn at the printer's resolution on A4 portrait.
    EXPECT_TRUE(printtest::Run("pdfinfo", {QString::fromStdString(m_jobs.Job(0))}).contains("(A4)"));
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(PrintLoopTest, UnknownMaxPageStopsWhenThePageSaysSo)
{
    printtest::RecordJobs record(&m_jobs);
    m_hooks.onPage = [](CPrintInfo* info) { info->m_bContinuePrinting = info->m_nCurPage < 1; };
    RunPrintLoop(m_hooks);
    EXPECT_EQ(m_hooks.pages, std::vector<std::int64_t>{1});
}

TEST_F(PrintLoopTest, CancelButtonLetsNothingReachThePrinter)
{
    printtest::RecordJobs record(&m_jobs);
    m_hooks.maxPage = 4;
    m_hooks.onPage = [](CPrintInfo* info) {
        if (info->m_nCurPage != 2)
            return;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* status = qobject_cast<CPrintStatusDlg*>(w)) {
                EXPECT_EQ(status->PageLabel()->text(), QStringLiteral("ﾍﾟｰｼﾞ 2"));
                QStringList lines;
                for (QLabel* label : status->findChildren<QLabel*>())
                    lines << label->text();
                EXPECT_EQ(lines, QStringList({QStringLiteral("印刷中"), QStringLiteral("無題"), QStringLiteral("を"),
                                              "recorder", QStringLiteral("jobs へ出力中"), QStringLiteral("ﾍﾟｰｼﾞ 2")}));
                EXPECT_EQ(status->CancelButton()->text(), QStringLiteral("ｷｬﾝｾﾙ"));
                status->CancelButton()->click();
            }
    };
    RunPrintLoop(m_hooks);
    EXPECT_EQ(m_hooks.pages, (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(m_hooks.outcome, PrintOutcome::Cancelled);
    EXPECT_EQ(m_hooks.calls.back(), "end");
    EXPECT_EQ(m_jobs.Count(), 0);
    // Not even the temporary job is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_tmp.Path()), {}), 0);
    EXPECT_TRUE(m_messages.empty());
}

// A printer that takes the pages as they are drawn (a Windows printer) gets them through
// its own engine with no PDF of ours in between; a cancel ends its job without a word.
TEST_F(PrintLoopTest, PrinterThatTakesThePagesAsDrawnGetsThemStraight)
{
    struct CDirectSpooler : printtest::CRecordingSpooler {
        using CRecordingSpooler::CRecordingSpooler;
        bool DrawsOnPrinter() const override { return true; }
    };
    SpoolerFactoryGuard direct([this](const QPrinter&) { return std::make_unique<CDirectSpooler>(&m_jobs); });
    m_hooks.maxPage = 3;
    RunPrintLoop(m_hooks);
    EXPECT_EQ(m_hooks.outcome, PrintOutcome::Printed);
    EXPECT_EQ(printtest::PdfPages(m_tmp / "out.pdf"), 3);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_tmp.Path()), {}), 1);

    m_hooks.pages.clear();
    m_hooks.onPage = [](CPrintInfo* info) {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* status = qobject_cast<CPrintStatusDlg*>(w); status != nullptr && info->m_nCurPage == 2)
                status->CancelButton()->click();
    };
    RunPrintLoop(m_hooks);
    EXPECT_EQ(m_hooks.pages, (std::vector<std::int64_t>{1, 2}));
    EXPECT_EQ(m_hooks.outcome, PrintOutcome::Cancelled);
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(PrintLoopTest, QuitWhilePrintingAbandonsTheJob)
{
    printtest::RecordJobs record(&m_jobs);
    m_hooks.maxPage = 3;
    m_hooks.onPage = [](CPrintInfo*) { QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit)); };
    RunPrintLoop(m_hooks);
    ClearQuitRequest();
    EXPECT_EQ(m_hooks.pages.size(), 1u);
    EXPECT_EQ(m_hooks.outcome, PrintOutcome::Cancelled);
    EXPECT_EQ(m_jobs.Count(), 0);
}

TEST_F(PrintLoopTest, FailedStartEndsTheJobThenSaysSo)
{
    printtest::RecordJobs record(&m_jobs);
    m_jobs.folder = m_tmp.Path() / "missing";  // the temporary job cannot be made
    RunPrintLoop(m_hooks);
    EXPECT_TRUE(m_hooks.pages.empty());
    EXPECT_EQ(m_hooks.calls, (std::vector<std::string>{"prepare", "end"}));
    EXPECT_EQ(m_hooks.outcome, PrintOutcome::Failed);
    // The reason names the folder the job could not be drawn into.
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_EQ(m_messages[0].rfind("印刷を開始できませんでした。\n" + (m_tmp / "missing") + ": ", 0), 0u)
        << m_messages[0];
}

TEST_F(PrintLoopTest, PdfFilePrinterGetsTheWholeJobInOneStep)
{
    const std::string out = m_tmp / "out.pdf";
    dumptest::WriteBytes(out, "an earlier file");
    m_hooks.maxPage = 2;
    RunPrintLoop(m_hooks);
    EXPECT_EQ(printtest::PdfPages(out), 2);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_tmp.Path()), {}), 1);
}

// No printer at all, and no scheduler running: the printer dialog, whose PDF file needs
// none; cancelling it ends the command without a job and without a word.
TEST_F(PrintLoopTest, NoPrinterAtAllAsksAndCancellingEndsWithoutAJob)
{
    printtest::RecordJobs record(&m_jobs);
    QPrinter none(QPrinter::HighResolution);
    none.setOutputFormat(QPrinter::PdfFormat);  // nothing to print to
    m_hooks.printer = &none;
    ScopedEnv cups("CUPS_SERVER", m_tmp / "no-cupsd.sock");
    int asked = 0;
    SetPrinterDialogHook([&](QPrinter&, QWidget*) {
        ++asked;
        return false;
    });
    RunPrintLoop(m_hooks);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(m_hooks.calls, std::vector<std::string>{"prepare"});
    EXPECT_EQ(m_jobs.Count(), 0);
    EXPECT_TRUE(m_messages.empty());

    // Choosing a file in the dialog prints there.
    SetPrinterDialogHook([&](QPrinter& p, QWidget*) {
        p.setOutputFileName(QString::fromStdString(m_tmp / "chosen.pdf"));
        return true;
    });
    m_hooks.calls.clear();
    RunPrintLoop(m_hooks);
    EXPECT_EQ(m_hooks.calls.back(), "end");
    EXPECT_EQ(m_jobs.Count(), 1);
}

// Every spooler takes the temporary PDF, whether the job got there or not, and one that
// did not says why; a queue on a scheduler that does not run is a message, not a hang.
TEST_F(PrintLoopTest, EverySpoolerTakesTheTemporaryPdfAndSaysWhyItFailed)
{
    ScopedEnv cups("CUPS_SERVER", m_tmp / "no-cupsd.sock");
    QPrinter queue(QPrinter::HighResolution);
    queue.setPrinterName("vantrel-missing");
    QPrinter file(QPrinter::HighResolution);
    file.setOutputFormat(QPrinter::PdfFormat);
    file.setOutputFileName(QString::fromStdString(m_tmp / "out.pdf"));
    JobRecorder refusing;
    refusing.folder = m_tmp.Path();
    refusing.failSubmit = true;
    const struct {
        const char* name;
        std::unique_ptr<CPrintSpooler> spooler;
        bool delivered;
    } cases[] = {
        {"queue", MakeSpooler(queue), false},
        {"file", MakeSpooler(file), true},
        {"file in a missing folder", MakeSpooler(file, m_tmp / "missing/out.pdf"), false},
        {"recording", std::make_unique<printtest::CRecordingSpooler>(&m_jobs), true},
        {"recording that refuses", std::make_unique<printtest::CRecordingSpooler>(&refusing), false},
    };
    for (const auto& c : cases) {
        const QString pdf = QString::fromStdString(m_tmp / "job.pdf");
        dumptest::WriteBytes(pdf.toStdString(), "%PDF-1.4\n%%EOF\n");
        QString error;
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(c.spooler->Submit(pdf, "title", &error), c.delivered) << c.name;
        EXPECT_LT(timer.elapsed(), 20000) << c.name;
        EXPECT_FALSE(QFile::exists(pdf)) << c.name;
        EXPECT_EQ(error.isEmpty(), c.delivered) << c.name << ": " << error.toStdString();
    }
}

TEST(PrintInfoTest, FromAndToAreClampedIntoMinAndMax)
{
    CPrintInfo info;
    EXPECT_EQ(info.GetFromPage(), 1);
    info.SetMinPage(3);
    info.SetMaxPage(5);
    EXPECT_EQ(info.GetFromPage(), 3);
    EXPECT_EQ(info.GetToPage(), 5);
    // 64-bit: a page count past 65,535 is kept whole.
    info.SetMinPage(1);
    info.SetMaxPage(70000);
    EXPECT_EQ(info.GetToPage(), 70000);
}

}  // namespace
