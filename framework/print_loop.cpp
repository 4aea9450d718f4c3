#include "framework/print_loop.h"

#include "framework/cdc.h"
#include "framework/message_box.h"
#include "framework/pdf_job_printer.h"
#include "framework/print_setup_dlg.h"
#include "framework/print_status_dlg.h"
#include "framework/qt_text.h"
#include "framework/win_app.h"
#include "pdf/pdf_writer.h"
#include "textfile/error_text.h"
#include "textfile/output_file.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <utility>

namespace {

PrinterDialogHook& DialogHook()
{
    static PrinterDialogHook hook;
    return hook;
}

}  // namespace

bool CanSetUp(const QPrinter& printer)
{
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return !printer.outputFileName().isEmpty();
    return printer.isValid() && !printer.printerName().isEmpty() &&
           !QPrinterInfo::printerInfo(printer.printerName()).isNull();
}

void ReactivateAfterStatus(QWidget* parent)
{
    if (parent == nullptr || !parent->isVisible())
        return;
    // A window manager does not always give the activation back when the status window
    // goes; the frame's shortcuts (Ctrl+P, Alt+F) would then wait for a click.
    QWidget* frame = parent->window();
    QApplication::setActiveWindow(frame);
    frame->activateWindow();
    if (QWidget* focus = frame->focusWidget())
        focus->setFocus(Qt::ActiveWindowFocusReason);
}

void ShowStartFailed(const QString& reason, const std::string& jobFile)
{
    std::string text = "印刷を開始できませんでした。";
    if (!reason.isEmpty()) {
        text += '\n';
        text += FromQt(reason);
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

void CPrintHooks::OnBeginPrinting(CDC*, CPrintInfo*)
{
}

void CPrintHooks::OnPrepareDC(CDC*, CPrintInfo* pInfo)
{
    pInfo->m_bContinuePrinting = pInfo->m_nMaxPage != kUnknownMaxPage || pInfo->m_nCurPage == 1;
}

bool CPrintHooks::OnPrintPages(CDC* pDC, CPrintInfo* pInfo, const PageStart& start)
{
    const std::int64_t to = pInfo->GetToPage();
    for (std::int64_t page = pInfo->GetFromPage(); page <= to; ++page) {
        pInfo->m_nCurPage = page;
        OnPrepareDC(pDC, pInfo);
        if (!pInfo->m_bContinuePrinting)
            break;
        if (!start(page))
            return false;
        OnPrint(pDC, pInfo);
    }
    return true;
}

void CPrintHooks::OnEndPrinting(CDC*, CPrintInfo*)
{
}

QString CPrintHooks::DocumentTitle() const
{
    return ToQt("無題");
}

PrinterDialogHook SetPrinterDialogHook(PrinterDialogHook hook)
{
    return std::exchange(DialogHook(), std::move(hook));
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
    // The preview draws on a PDF printer of its own: it needs neither a spooler nor a
    // printer that can be set up.
    if (pInfo->m_bPreview || (pInfo->m_bDirect && CanSetUp(printer)))
        return true;
    // No printer at all, also with no scheduler running: the printer dialog, which
    // offers the PDF file. A queue the scheduler cannot take is said when the job is
    // handed over.
    if (DialogHook())
        return DialogHook()(printer, parent) && CanSetUp(printer);
    return ChoosePrinter(printer, parent, false) && CanSetUp(printer);
}

namespace {

// What one job is drawn into: a file of our own first, so that cancelling it only means
// not handing that file over, whereas a spool job cannot be called back once begun. A
// file printer's job goes straight into its output's temporary file.
struct JobDrawing {
    // Removed unless handed over. Not a QTemporaryFile, which keeps its file open while
    // it lives: Windows lets no spooler take a file that is still open.
    struct File {
        QString path;
        bool handedOver = false;
        ~File()
        {
            if (!path.isEmpty() && !handedOver)
                QFile::remove(path);
        }
    } file;
    CPdfJobPrinter printer;
    QPainter painter;
    QString jobFile;
};

bool StartJob(JobDrawing& job, CPrintSpooler& spooler, const CPrintInfo& info, const QString& title, QString* error)
{
    const bool spoolerFile = spooler.JobFd() >= 0;
    QString folder = spooler.TemporaryFolder();
    if (folder.isEmpty())
        folder = QDir::tempPath();
    ConfigurePdfPrinter(job.printer, *info.m_pPrinter);
    job.printer.setDocName(title);
    job.printer.SetRecord(ToQt(info.m_strDocTitle), info.m_docRecords);
    job.printer.BeginPart(info.GetFromPage());
    job.printer.setCreator("Vantrel");
    if (spoolerFile) {
        job.printer.SetOutputHandle(spooler.JobFd());
        job.jobFile = spooler.JobFile();
    } else {
        QTemporaryFile file(folder + "/.vantrel-job-XXXXXX.pdf");
        if (!file.open()) {
            *error = ToQt("%1: %2").arg(folder, file.errorString());
            return false;
        }
        file.setAutoRemove(false);
        job.file.path = job.jobFile = file.fileName();
        job.printer.setOutputFileName(job.jobFile);
    }
    return job.painter.begin(&job.printer);
}

// The pages in the range, with the status window up; true when the user or the pump
// stopped the job.
bool PrintPages(CPrintHooks& hooks, CPrintInfo& info, QPainter& painter, QPrinter& printer,
                const CPrintSpooler& spooler, const QString& title)
{
    CPrintStatusDlg status(title, spooler.PrinterName(), spooler.PortName(), hooks.PrintParent());
    CDC dc(&painter, &printer);
    hooks.OnBeginPrinting(&dc, &info);
    status.show();
    CPacedPump pump(40);
    bool firstPage = true;
    const PageStart start = [&](std::int64_t page) {
        info.m_nCurPage = page;
        status.SetPage(page);
        if (!pump.Pump() || status.Cancelled())
            return false;
        if (!std::exchange(firstPage, false))
            printer.newPage();
        return true;
    };
    if (!hooks.OnPrintPages(&dc, &info, start))
        return true;
    return !PumpWaitingMessages() || status.Cancelled();
}

void EndJob(CPrintHooks& hooks, CPrintInfo& info, PrintOutcome outcome, const QString& error)
{
    info.m_nOutcome = outcome;
    hooks.OnEndPrinting(nullptr, &info);
    if (outcome == PrintOutcome::Failed)
        ShowStartFailed(error, info.m_strJobFile);
}

// A printer that takes the pages as they are drawn: what its engine says is the outcome.
void PrintOnPrinter(CPrintHooks& hooks, CPrintInfo& info, const CPrintSpooler& spooler, const QString& title)
{
    QPrinter& printer = *info.m_pPrinter;
    printer.setDocName(title);
    printer.setFullPage(true);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
    QPainter painter;
    if (!painter.begin(&printer)) {
        EndJob(hooks, info, PrintOutcome::Failed,
               ToQt("%1: 印刷ジョブを開始できませんでした").arg(spooler.PrinterName()));
        return;
    }
    const bool aborted = PrintPages(hooks, info, painter, printer, spooler, title);
    ReactivateAfterStatus(hooks.PrintParent());
    if (aborted) {
        spooler.AbandonJob(printer);
        painter.end();
        EndJob(hooks, info, PrintOutcome::Cancelled, {});
        return;
    }
    const bool sent = painter.end() && printer.printerState() != QPrinter::Error;
    EndJob(hooks, info, sent ? PrintOutcome::Printed : PrintOutcome::Failed,
           ToQt("%1: 印刷ジョブを最後まで送れませんでした").arg(spooler.PrinterName()));
}

}  // namespace

void RunPrintLoop(CPrintHooks& hooks)
{
    CPrintInfo info;
    if (!hooks.OnPreparePrinting(&info) || info.m_pPrinter == nullptr)
        return;

    const QString title = hooks.DocumentTitle();
    std::unique_ptr<CPrintSpooler> spooler = MakeSpooler(*info.m_pPrinter, info.m_strOutputFile);
    if (spooler->DrawsOnPrinter()) {
        PrintOnPrinter(hooks, info, *spooler, title);
        return;
    }
    QString error;
    JobDrawing job;
    if (!spooler->Ready(&error) || !StartJob(job, *spooler, info, title, &error)) {
        EndJob(hooks, info, PrintOutcome::Failed, error);
        return;
    }

    const bool aborted = PrintPages(hooks, info, job.painter, job.printer, *spooler, title);
    ReactivateAfterStatus(hooks.PrintParent());
    // Qt's PDF writer says all went well although its writes failed (a full disk): the
    // file itself must show that it is whole before it goes anywhere.
    const bool written = job.painter.end() && PdfComplete(FromQt(job.jobFile));

    // The temporary file goes unless the spooler takes it: a cancelled job reaches no printer.
    if (aborted) {
        EndJob(hooks, info, PrintOutcome::Cancelled, error);
    } else if (!written) {
        const QString where = spooler->OutputFile().isEmpty() ? job.jobFile : spooler->OutputFile();
        // Qt's writer keeps the reason to itself: the file is asked again.
        const std::error_code err = spooler->JobFd() >= 0 ? WhyNoMoreBytes(spooler->JobFd()) : std::error_code();
        QString error = ToQt("%1: PDFを最後まで書き込めませんでした").arg(where);
        if (err)
            error += ToQt("\n") + ToQt(SystemErrorText(err));
        EndJob(hooks, info, PrintOutcome::Failed, error);
    } else {
        job.file.handedOver = true;
        const bool submitted = spooler->Submit(job.jobFile, title, &error);
        EndJob(hooks, info, submitted ? PrintOutcome::Printed : PrintOutcome::Failed, error);
    }
}
