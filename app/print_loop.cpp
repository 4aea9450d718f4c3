#include "app/print_loop.h"

#include "app/cdc.h"
#include "app/message_box.h"
#include "app/pdf_job_printer.h"
#include "app/print_setup_dlg.h"
#include "app/print_status_dlg.h"
#include "app/vantrel_app.h"
#include "textfile/error_text.h"
#include "textfile/output_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryFile>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

SpoolerFactory& Factory()
{
    static SpoolerFactory factory;
    return factory;
}

PrinterDialogHook& DialogHook()
{
    static PrinterDialogHook hook;
    return hook;
}

QString ErrorText(int err)
{
    return QString::fromStdString(SystemErrorText(err));
}

SchedulerProbe& Probe()
{
    static SchedulerProbe probe;
    return probe;
}

// Sees the quit request however it comes (the window closed, the exit command), so
// that work running inside a pump can end at once.
class CQuitWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
            m_bQuit = true;
        return false;
    }
    bool m_bQuit = false;
};

CQuitWatch* QuitWatch()
{
    static QPointer<CQuitWatch> watch;
    if (watch.isNull() && QCoreApplication::instance() != nullptr) {
        watch = new CQuitWatch;
        watch->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(watch);
    }
    return watch.data();
}

// lp talks to the local scheduler in milliseconds; these only bound a sick one.
constexpr int kSpoolStartMs = 5000;
constexpr int kSpoolFinishMs = 15000;

// A queue of the system's spooler. The job goes in through lp, which also honours
// CUPS_SERVER, with a bounded wait so that a missing scheduler is a message, not a hang.
class CQueueSpooler : public CPrintSpooler {
public:
    explicit CQueueSpooler(const QPrinter& printer)
        : m_name(printer.printerName()), m_copies(std::max(1, printer.copyCount()))
    {
        const QPrinterInfo info = QPrinterInfo::printerInfo(m_name);
        m_port = info.location().isEmpty() ? m_name : info.location();
    }

    bool Submit(const QString& pdfPath, const QString& title, QString* error) override
    {
        QProcess lp;
        lp.setProcessChannelMode(QProcess::SeparateChannels);
        lp.start("lp", {"-d", m_name, "-t", title, "-n", QString::number(m_copies), "--", pdfPath});
        bool ok = false;
        if (!lp.waitForStarted(kSpoolStartMs)) {
            *error = QString::fromUtf8("lp: %1").arg(lp.errorString());
        } else if (!lp.waitForFinished(kSpoolFinishMs)) {
            lp.kill();
            lp.waitForFinished(1000);
            *error = QString::fromUtf8("lp: スプーラが応答しません");
        } else if (lp.exitStatus() != QProcess::NormalExit || lp.exitCode() != 0) {
            *error = QString::fromStdString(
                SpoolerErrorText(QString::fromLocal8Bit(lp.readAllStandardError()).toStdString()));
        } else {
            ok = true;
        }
        QFile::remove(pdfPath);
        return ok;
    }

    QString PrinterName() const override { return m_name; }
    QString PortName() const override { return m_port; }

private:
    QString m_name;
    QString m_port;
    int m_copies;
};

// "Print to PDF file": the finished job takes the output file's place in one step, by
// the rules of every output: only a regular file the user may write is replaced, a
// link's target is written and the link kept, the result has the mode the umask gives.
class CPdfFileSpooler : public CPrintSpooler {
public:
    explicit CPdfFileSpooler(QString output) : m_output(std::move(output)) {}

    bool Ready(QString* error) const override
    {
        OutputTarget target;
        if (const int err = CheckOutputTarget(Bytes(m_output), &target); err != 0) {
            *error = Reason(err);
            return false;
        }
        return true;
    }

    // Beside the file really written (a link's target), so that the rename stays in
    // one file system.
    QString TemporaryFolder() const override
    {
        OutputTarget target;
        const QString file = CheckOutputTarget(Bytes(m_output), &target) == 0
                                 ? QFile::decodeName(QByteArray::fromStdString(target.path))
                                 : m_output;
        return QFileInfo(file).absolutePath();
    }

    bool Submit(const QString& pdfPath, const QString&, QString* error) override
    {
        if (const int err = PlaceOutput(Bytes(pdfPath), Bytes(m_output)); err != 0) {
            *error = Reason(err);
            return false;
        }
        return true;
    }

    QString PrinterName() const override { return QString::fromUtf8("PDF"); }
    QString PortName() const override { return m_output; }
    QString OutputFile() const override { return m_output; }

private:
    static std::string Bytes(const QString& path) { return QFile::encodeName(path).toStdString(); }
    QString Reason(int err) const { return QString::fromUtf8("%1: %2").arg(m_output, ErrorText(err)); }

    QString m_output;
};

// A printer a job can go to without asking the user.
bool CanSetUp(const QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return !printer.outputFileName().isEmpty();
    return printer.isValid() && !printer.printerName().isEmpty() &&
           !QPrinterInfo::printerInfo(printer.printerName()).isNull();
}

// Why no queue can be reached when the scheduler does not run; "" when it runs or
// nobody can tell.
QString SchedulerDown()
{
    QProcess lpstat;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("LC_ALL", "C");  // its answer is read, not only shown
    lpstat.setProcessEnvironment(env);
    lpstat.start("lpstat", {"-r"});
    if (!lpstat.waitForStarted(kSpoolStartMs) || !lpstat.waitForFinished(kSpoolStartMs)) {
        lpstat.kill();
        lpstat.waitForFinished(1000);
        return {};
    }
    const QString answer = QString::fromLocal8Bit(lpstat.readAllStandardOutput()).trimmed();
    return answer.contains("not running") ? QString::fromStdString(SpoolerErrorText(answer.toStdString())) : QString();
}

}  // namespace

void ShowStartFailed(const QString& reason, const std::string& jobFile)
{
    std::string text = "印刷を開始できませんでした。";
    if (!reason.isEmpty()) {
        text += '\n';
        text += reason.toStdString();
    }
    if (!jobFile.empty()) {
        text += "\nファイル: ";
        text += jobFile;
    }
    AfxMessageBox(text, MB_OK);
}

std::int64_t CPrintInfo::GetFromPage() const
{
    return std::clamp(m_nFromPage, m_nMinPage, std::max(m_nMinPage, m_nMaxPage));
}

std::int64_t CPrintInfo::GetToPage() const
{
    return std::clamp(m_nToPage, m_nMinPage, std::max(m_nMinPage, m_nMaxPage));
}

void CPrintHooks::OnBeginPrinting(CDC*, CPrintInfo*) {}

void CPrintHooks::OnPrepareDC(CDC*, CPrintInfo* pInfo)
{
    pInfo->m_bContinuePrinting = pInfo->m_nMaxPage != kUnknownMaxPage || pInfo->m_nCurPage == 1;
}

void CPrintHooks::OnEndPrinting(CDC*, CPrintInfo*) {}

QString CPrintHooks::DocumentTitle() const
{
    return QString::fromUtf8("無題");
}

void SetSpoolerFactory(SpoolerFactory factory)
{
    Factory() = std::move(factory);
}

void SetPrinterDialogHook(PrinterDialogHook hook)
{
    DialogHook() = std::move(hook);
}

void SetSchedulerProbe(SchedulerProbe probe)
{
    Probe() = std::move(probe);
}

std::unique_ptr<CPrintSpooler> MakeSpooler(const QPrinter& printer, const std::string& outputFile)
{
    if (Factory())
        return Factory()(printer);
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return std::make_unique<CPdfFileSpooler>(outputFile.empty() ? printer.outputFileName()
                                                                    : QFile::decodeName(QByteArray::fromStdString(outputFile)));
    return std::make_unique<CQueueSpooler>(printer);
}

void ConfigurePdfPrinter(QPrinter& printer, int resolution)
{
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setResolution(resolution);
    printer.setFullPage(true);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
}

void ConfigurePdfPrinter(QPrinter& printer, const QPrinter& target)
{
    ConfigurePdfPrinter(printer, target.resolution());
    printer.setCopyCount(1);
}

bool DoPreparePrinting(CPrintInfo* pInfo, QWidget* parent)
{
    if (pInfo->m_pPrinter == nullptr)
        pInfo->m_pPrinter = &AfxGetApp()->Printer();
    QPrinter& printer = *pInfo->m_pPrinter;
    if ((pInfo->m_bDirect || pInfo->m_bPreview) && CanSetUp(printer))
        return true;
    // With the scheduler down no queue can be reached: say so rather than offer a dialog
    // without printers. (A file printer can still be chosen with the printer set-up.)
    if (const QString down = Probe() ? Probe()() : SchedulerDown(); !down.isEmpty()) {
        ShowStartFailed(down, pInfo->m_strJobFile);
        return false;
    }
    if (DialogHook())
        return DialogHook()(printer, parent) && CanSetUp(printer);
    QPrintDialog dialog(&printer, parent);
    HideUnhonouredPrintOptions(dialog);
    return dialog.exec() == QDialog::Accepted && CanSetUp(printer);
}

bool QuitRequested()
{
    const CQuitWatch* watch = QuitWatch();
    return QCoreApplication::closingDown() || (watch != nullptr && watch->m_bQuit);
}

void RequestQuit()
{
    if (CQuitWatch* watch = QuitWatch())
        watch->m_bQuit = true;
    QCoreApplication::exit(0);
}

void ClearQuitRequest()
{
    if (CQuitWatch* watch = QuitWatch())
        watch->m_bQuit = false;
}

bool PumpWaitingMessages()
{
    QuitWatch();
    if (!QuitRequested())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !QuitRequested();
}

void RunPrintLoop(CPrintHooks& hooks)
{
    CPrintInfo info;
    if (!hooks.OnPreparePrinting(&info) || info.m_pPrinter == nullptr)
        return;

    QWidget* parent = hooks.PrintParent();
    const QString title = hooks.DocumentTitle();
    std::unique_ptr<CPrintSpooler> spooler = MakeSpooler(*info.m_pPrinter, info.m_strOutputFile);

    // The job is drawn into a file of our own first: cancelling it then only means not
    // handing that file over, whereas a spool job cannot be called back once begun.
    QString error;
    if (!spooler->Ready(&error)) {
        info.m_nOutcome = PrintOutcome::Failed;
        hooks.OnEndPrinting(nullptr, &info);
        ShowStartFailed(error, info.m_strJobFile);
        return;
    }
    QString folder = spooler->TemporaryFolder();
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QTemporaryFile file(folder + "/.vantrel-job-XXXXXX.pdf");
    CPdfJobPrinter job;
    ConfigurePdfPrinter(job, *info.m_pPrinter);
    job.setDocName(title);
    job.setCreator("Vantrel");
    QPainter painter;
    bool started = file.open();
    if (!started) {
        // Beside a file printer's output: the message names that output.
        const QString where = spooler->OutputFile().isEmpty() ? folder : spooler->OutputFile();
        error = QString::fromUtf8("%1: %2").arg(where, file.errorString());
    }
    if (started) {
        file.close();
        job.setOutputFileName(file.fileName());
        started = painter.begin(&job);
    }
    if (!started) {
        info.m_nOutcome = PrintOutcome::Failed;
        hooks.OnEndPrinting(nullptr, &info);
        ShowStartFailed(error, info.m_strJobFile);
        return;
    }

    bool aborted = false;
    {
        CPrintStatusDlg status(title, spooler->PrinterName(), spooler->PortName(), parent);
        CDC dc(&painter, &job);
        hooks.OnBeginPrinting(&dc, &info);
        status.show();
        const std::int64_t from = info.GetFromPage();
        const std::int64_t to = info.GetToPage();
        for (std::int64_t page = from; page <= to; ++page) {
            info.m_nCurPage = page;
            status.SetPage(page);
            hooks.OnPrepareDC(&dc, &info);
            if (!info.m_bContinuePrinting)
                break;
            if (!PumpWaitingMessages() || status.Cancelled()) {
                aborted = true;
                break;
            }
            if (page != from)
                job.newPage();
            hooks.OnPrint(&dc, &info);
        }
        if (!aborted && (!PumpWaitingMessages() || status.Cancelled()))
            aborted = true;
    }
    // Qt's PDF writer says all went well although its writes failed (a full disk): the
    // file itself must show that it is whole before it goes anywhere.
    const bool written = painter.end() && PdfComplete(QFile::encodeName(file.fileName()).toStdString());

    // The temporary file goes unless the spooler takes it: a cancelled job reaches no printer.
    if (aborted) {
        info.m_nOutcome = PrintOutcome::Cancelled;
    } else if (!written) {
        info.m_nOutcome = PrintOutcome::Failed;
        const QString where = spooler->OutputFile().isEmpty() ? file.fileName() : spooler->OutputFile();
        error = QString::fromUtf8("%1: PDFを最後まで書き込めませんでした").arg(where);
    } else {
        file.setAutoRemove(false);
        info.m_nOutcome = spooler->Submit(file.fileName(), title, &error) ? PrintOutcome::Printed
                                                                          : PrintOutcome::Failed;
    }
    hooks.OnEndPrinting(nullptr, &info);
    if (info.m_nOutcome == PrintOutcome::Failed)
        ShowStartFailed(error, info.m_strJobFile);
}
