// Printing through a real CUPS scheduler: a private cupsd on its own socket with a
// PostScript queue whose backend writes into the test's folder, the print command, and
// the pages that come out of the queue.
// Skipped, with the reason, where such a scheduler cannot run.

#include "common/cups_scheduler.h"
#include "common/qt_events.h"
#include "framework/message_box.h"
#include "filelist/vantrel_view.h"
#include "printing/dump_test_util.h"
#include "printing/print_test_util.h"
#include "printing/view_printing.h"
#include "printing/work_file.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class CupsPrintTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetMessageBoxHook({});
        SetPrinterDialogHook({});
    }

    // Empty: the scheduler runs with the queue; otherwise why it cannot.
    QString StartScheduler()
    {
        const QString why = m_cups.Start(m_dir.path());
        m_out = m_cups.OutFolder();
        return why;
    }

    QTemporaryDir m_dir{QDir::tempPath() + "/vcupsXXXXXX"};
    CCupsScheduler m_cups;
    QString m_out;
};

TEST_F(CupsPrintTest, DumpComesOutOfARealQueue)
{
    ASSERT_TRUE(m_dir.isValid());
    const QString why = StartScheduler();
    if (!why.isEmpty())
        GTEST_SKIP() << why.toStdString();

    const std::string folder = m_dir.path().toStdString() + "/files";
    std::filesystem::create_directories(folder);
    dumptest::WriteBytes(folder + "/sample.bin", dumptest::PatternBytes(3000));

    CVantrelView view;
    view.m_strFolder = folder;
    view.ListFolder();
    ASSERT_EQ(view.m_aFiles.size(), 1u);
    view.m_aFiles[0].nMark = 1;
    QPrinter queue(QPrinter::HighResolution);
    queue.setPrinterName(CCupsScheduler::kQueue);
    CViewPrinting& printing = CViewPrinting::Of(&view);
    CWorkFile work(m_dir.path().toStdString());
    printing.SetWorkFile(&work);
    printing.SetPrinter(&queue);
    std::vector<std::string> messages;
    SetMessageBoxHook([&](const std::string& text, unsigned) {
        messages.push_back(text);
        return IDOK;
    });
    SetPrinterDialogHook([](QPrinter&, QWidget*) {
        ADD_FAILURE() << "the queue was not found: the printer dialog was asked for";
        return false;
    });
    // All pages in the range dialog.
    qttest::AnswerModal<QWidget>([](QWidget& dlg) { QTest::keyClick(&dlg, Qt::Key_Return); }, qttest::Modal::IfUp);

    printing.OnPrintDump();
    qttest::RunEventsWhile(view.m_bPrinting, 100);
    EXPECT_TRUE(messages.empty()) << messages.front();
    EXPECT_EQ(view.m_aFiles[0].nPrinted, 1);

    // The backend gets the job when the scheduler has run it through its filters.
    QString captured;
    QElapsedTimer timer;
    timer.start();
    while (captured.isEmpty() && timer.elapsed() < 60000) {
        const QStringList jobs = QDir(m_out).entryList({"*.ps"}, QDir::Files);
        if (!jobs.isEmpty())
            captured = m_out + "/" + jobs.front();
        else
            QTest::qWait(200);
    }
    ASSERT_FALSE(captured.isEmpty()) << "error log:\n"
                                     << dumptest::ReadAll(m_dir.path().toStdString() + "/log/error_log");
    // As a PostScript printer would print it: into a PDF of its pages.
    const QString out = m_dir.path() + "/queue.pdf";
    int rc = -1;
    printtest::Run("ps2pdf", {captured, out}, &rc);
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(printtest::PdfPages(out.toStdString()), 2);

    // The queue's job went through PostScript, which loses the text layer; its pages must
    // look like the same job drawn into a PDF of our own.
    printtest::JobRecorder jobs;
    jobs.folder = m_dir.path().toStdString();
    {
        printtest::RecordJobs record(&jobs);
        qttest::AnswerModal<QWidget>([](QWidget& dlg) { QTest::keyClick(&dlg, Qt::Key_Return); }, qttest::Modal::IfUp);
        printing.OnPrintDump();
        qttest::RunEventsWhile(view.m_bPrinting, 100);
    }
    ASSERT_EQ(jobs.Count(), 1);
    for (int page = 1; page <= 2; ++page) {
        const QImage printed = printtest::PdfPageImage(out.toStdString(), page, 50);
        const QImage expected = printtest::PdfPageImage(jobs.Job(0), page, 50);
        ASSERT_FALSE(expected.isNull());
        ASSERT_EQ(printed.size(), expected.size());
        const double same = printtest::ImageDifference(printed, expected);
        EXPECT_LT(same, 4.0) << "page " << page;
        // The same page moved down by half a line (1.5 mm) is clearly further off.
        QImage moved(expected.size(), QImage::Format_Grayscale8);
        moved.fill(Qt::white);
        QPainter(&moved).drawImage(0, 3, expected);
        EXPECT_GT(printtest::ImageDifference(printed, moved), 2 * same) << "page " << page << " " << same;
    }
}

}  // namespace
