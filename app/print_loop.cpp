#include "app/print_loop.h"

#include "app/cdc.h"
#include "app/message_box.h"
#include "app/print_setup_dlg.h"
#include "app/print_status_dlg.h"
#include "app/vantrel_app.h"
#include "textfile/error_text.h"

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

// "Print to PDF file": the finished job takes the output file's place in one step.
class CPdfFileSpooler : public CPrintSpooler {
public:
    explicit CPdfFileSpooler(const QPrinter& printer) : m_output(printer.outputFileName()) {}

    QString TemporaryFolder() const override { return QFileInfo(m_output).absolutePath(); }

    bool Submit(const QString& pdfPath, const QString&, QString* error) override
    {
        std::error_code ec;
        std::filesystem::rename(QFile::encodeName(pdfPath).toStdString(),
                                QFile::encodeName(m_output).toStdString(), ec);
        if (ec) {
            QFile::remove(pdfPath);
            *error = QString::fromUtf8("%1: %2").arg(m_output, QString::fromStdString(SystemErrorText(ec.value())));
            return false;
        }
        return true;
    }

    QString PrinterName() const override { return QString::fromUtf8("PDF"); }
    QString PortName() const override { return m_output; }

private:
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

void ShowStartFailed(const QString& reason)
{
    std::string text = "印刷を開始できませんでした。";
    if (!reason.isEmpty()) {
        text += '\n';
        text += reason.toStdString();
    }
    AfxMessageBox(text, MB_OK);
}

}  // namespace

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

std::unique_ptr<CPrintSpooler> MakeSpooler(const QPrinter& printer)
{
    if (Factory())
        return Factory()(printer);
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return std::make_unique<CPdfFileSpooler>(printer);
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
        ShowStartFailed(down);
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
    std::unique_ptr<CPrintSpooler> spooler = MakeSpooler(*info.m_pPrinter);

    // The job is drawn into a file of our own first: cancelling it then only means not
    // handing that file over, whereas a spool job cannot be called back once begun.
    QString folder = spooler->TemporaryFolder();
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QTemporaryFile file(folder + "/.vantrel-job-XXXXXX.pdf");
    QPrinter job(QPrinter::HighResolution);
    ConfigurePdfPrinter(job, *info.m_pPrinter);
    job.setDocName(title);
    job.setCreator("Vantrel");
    QPainter painter;
    bool started = file.open();
    if (started) {
        file.close();
        job.setOutputFileName(file.fileName());
        started = painter.begin(&job);
    }
    if (!started) {
        info.m_nOutcome = PrintOutcome::Failed;
        hooks.OnEndPrinting(nullptr, &info);
        ShowStartFailed(QString());
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
    const bool written = painter.end();

    // The temporary file goes unless the spooler takes it: a cancelled job reaches no printer.
    QString error;
    if (aborted) {
        info.m_nOutcome = PrintOutcome::Cancelled;
    } else if (!written) {
        info.m_nOutcome = PrintOutcome::Failed;
    } else {
        file.setAutoRemove(false);
        info.m_nOutcome = spooler->Submit(file.fileName(), title, &error) ? PrintOutcome::Printed
                                                                          : PrintOutcome::Failed;
    }
    hooks.OnEndPrinting(nullptr, &info);
    if (info.m_nOutcome == PrintOutcome::Failed)
        ShowStartFailed(error);
}
