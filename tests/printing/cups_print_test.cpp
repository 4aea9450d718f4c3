// Printing through a real CUPS scheduler: a private cupsd on its own socket with a
// PostScript queue whose backend writes into the test's folder, the print command, and
// the pages that come out of the queue.
// Skipped, with the reason, where such a scheduler cannot run.

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

const char* const kPpd = "/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd";
const char* const kQueue = "vantrel-test";
const char* const kCupsBin = "/usr/lib/cups";

void WriteText(const QString& path, const QString& text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
}

// A backend of the test's own: every job, as the scheduler's filters made it, goes into
// the test's folder, never to a user's. Written with the folder's name in it.
QString CaptureBackend(const QString& outFolder)
{
    return "#!/bin/sh\n"
           "[ $# -eq 0 ] && { echo 'file vantrel-capture \"Unknown\" \"Vantrel test capture\"'; exit 0; }\n"
           "out='" +
           outFolder +
           "'/job-$1\n"
           "if [ $# -ge 6 ]; then cat \"$6\" > \"$out.part\"; else cat > \"$out.part\"; fi || exit 1\n"
           "mv \"$out.part\" \"$out.ps\"\n";
}

class CupsPrintTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SetMessageBoxHook({});
        SetPrinterDialogHook({});
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(5000))
                m_cupsd.kill();
            m_cupsd.waitForFinished(2000);
        }
        qunsetenv("CUPS_SERVER");
    }

    // Empty: the scheduler runs with the queue; otherwise why it cannot.
    QString StartScheduler()
    {
        const QString cupsd = QStandardPaths::findExecutable("cupsd", {"/usr/sbin", "/sbin"});
        if (!QFile::exists(kPpd) || cupsd.isEmpty())
            return "no cupsd or no PostScript printer description";
        const QString root = m_dir.path();
        for (const char* sub : {"etc", "spool", "cache", "state", "tmp", "log", "bin/backend", "out"})
            QDir(root).mkpath(sub);
        // The system's filters and helpers, and the capture backend as the only backend.
        for (const char* sub : {"filter", "daemon", "cgi-bin", "monitor", "notifier", "driver"})
            QFile::link(QString(kCupsBin) + "/" + sub, root + "/bin/" + sub);
        m_out = root + "/out";
        const QString backend = root + "/bin/backend/vantrel-capture";
        WriteText(backend, CaptureBackend(m_out));
        // Only its owner runs it: as root, the scheduler then runs it as root too.
        QFile::setPermissions(backend, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // Filters run as the scheduler's own user: they must reach the folder and its tmp.
        const auto open = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup |
                          QFile::ReadOther | QFile::ExeOther;
        QFile::setPermissions(root, open);
        QFile::setPermissions(root + "/tmp", open | QFile::WriteGroup | QFile::WriteOther);
        m_socket = root + "/cups.sock";
        WriteText(root + "/etc/cupsd.conf", "Listen " + m_socket +
                                                "\nLogLevel warn\nWebInterface No\nBrowsing No\n"
                                                "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n");
        WriteText(root + "/etc/cups-files.conf",
                  "ServerRoot " + root + "/etc\nRequestRoot " + root + "/spool\nCacheDir " + root +
                      "/cache\nStateDir " + root + "/state\nTempDir " + root + "/tmp\nAccessLog " + root +
                      "/log/access_log\nErrorLog " + root + "/log/error_log\nPageLog " + root +
                      "/log/page_log\nServerBin " + root + "/bin\nDataDir /usr/share/cups\n");
        m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
        m_cupsd.start(cupsd, {"-f", "-c", root + "/etc/cupsd.conf", "-s", root + "/etc/cups-files.conf"});
        if (!m_cupsd.waitForStarted(5000))
            return "cupsd does not start: " + m_cupsd.errorString();
        QElapsedTimer timer;
        timer.start();
        while (!QFile::exists(m_socket) && timer.elapsed() < 10000 && m_cupsd.state() == QProcess::Running)
            QTest::qWait(50);
        if (!QFile::exists(m_socket))
            return "cupsd made no socket: " + QString::fromLocal8Bit(m_cupsd.readAll());
        qputenv("CUPS_SERVER", m_socket.toLocal8Bit());
        int rc = -1;
        printtest::Run("lpadmin", {"-p", kQueue, "-E", "-v", "vantrel-capture:/", "-P", kPpd}, &rc);
        if (rc != 0)
            return "lpadmin cannot add the queue";
        return {};
    }

    QTemporaryDir m_dir{QDir::tempPath() + "/vcupsXXXXXX"};
    QProcess m_cupsd;
    QString m_socket;
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
    queue.setPrinterName(kQueue);
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
