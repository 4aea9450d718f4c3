#include "printing/view_printing.h"

#include "framework/cdc.h"
#include "framework/command_ids.h"
#include "framework/message_box.h"
#include "framework/print_preview.h"
#include "framework/qt_text.h"
#include "framework/win_app.h"
#include "framework/wait_cursor.h"
#include "draw/join_path.h"
#include "filelist/vantrel_view.h"
#include "printing/dump_page_painter.h"
#include "printing/dump_range_loop.h"
#include "printing/print_range_dlg.h"
#include "printing/work_file.h"
#include "textfile/error_text.h"
#include "textfile/output_file.h"
#include "textfile/text_file_writer.h"
#include "textfile/visible_text.h"

#include <QCoreApplication>
#include <QFile>
#include <QPrinter>

#include <cstring>
#include <optional>

const QEvent::Type g_nMsgContinuePrt = static_cast<QEvent::Type>(QEvent::registerEventType());

namespace {

// An output that is one of the marked files (itself, a link, a hard link) is refused:
// printing into it would destroy what the job records.
bool RefuseMarkedFileAsOutput(const std::string& output, const std::optional<FileId>& id, const CChainFiles& files)
{
    const std::string marked = id ? files.InputThatIs(*id) : std::string();
    if (!marked.empty())
        ShowStartFailed(ToQt("出力ファイル[%1]は印刷するファイルです").arg(ToQt(output)), marked);
    return !marked.empty();
}

}  // namespace

CViewPrinting& CViewPrinting::Of(CVantrelView* view)
{
    auto* printing = view->findChild<CViewPrinting*>(QString(), Qt::FindDirectChildrenOnly);
    return printing != nullptr ? *printing : *new CViewPrinting(view);
}

CViewPrinting::CViewPrinting(CVantrelView* view) : QObject(view), m_pView(view)
{
    view->installEventFilter(this);
}

CViewPrinting::~CViewPrinting()
{
    if (m_pPreview != nullptr)
        delete m_pPreview.data();
}

CWorkFile& CViewPrinting::WorkFile()
{
    return m_pWorkFile != nullptr ? *m_pWorkFile : m_workFile;
}

QString CViewPrinting::DocumentTitle() const
{
    return AfxGetApp() != nullptr ? ToQt(AfxGetApp()->GetDocumentTitle()) : CPrintHooks::DocumentTitle();
}

QWidget* CViewPrinting::PrintParent() const
{
    return m_pView->window();
}

bool CViewPrinting::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pView && event->type() == g_nMsgContinuePrt) {
        OnContinuePrt();
        return true;
    }
    return false;
}

void CViewPrinting::PostContinue()
{
    QCoreApplication::postEvent(m_pView, new QEvent(g_nMsgContinuePrt));
}

void CViewPrinting::EndChain()
{
    m_aJobs.clear();
    m_chainFiles.reset();
    m_nJob = 0;
    m_bDumpReady = false;
    m_pView->SetPrinting(false);
}

const PrintJobFile* CViewPrinting::CurrentJob() const
{
    return m_nJob < m_aJobs.size() ? &m_aJobs[m_nJob] : nullptr;
}

DumpStatus CViewPrinting::DumpCurrentFile(DumpPages pages)
{
    CVantrelView* view = m_pView;
    const PrintJobFile& job = m_aJobs[m_nJob];
    view->m_strPrintPath = job.strPath;
    m_bDumpReady = false;

    // The pump may close the window: the view and this object then go while the dump
    // is still on the stack, so everything after a pump asks the guard first.
    QPointer<CViewPrinting> guard(this);
    DumpHooks hooks;
    hooks.pump = [pump = CPacedPump(40)]() mutable { pump.Pump(); };
    hooks.cancelRequested = [guard] {
        return guard.isNull() || QuitRequested() || guard->m_pView->m_bCancelPrint == 1;
    };
    {
        CWaitCursor wait;
        m_job = WriteDumpJob(WorkFile(), job.strPath, pages, hooks, SystemErrorText);
    }
    if (guard.isNull())
        return DumpStatus::Cancelled;
    m_bDumpReady = m_job.Written();
    if (!m_bDumpReady && m_job.result.status != DumpStatus::Cancelled)
        AfxMessageBox(m_job.Said("\n"), MB_OK);
    return m_job.result.status;
}

bool CViewPrinting::OutputRefused() const
{
    QPrinter* printer = m_pPrinter != nullptr ? m_pPrinter : AfxGetApp() != nullptr ? &AfxGetApp()->Printer() : nullptr;
    if (printer == nullptr || printer->outputFormat() != QPrinter::PdfFormat || printer->outputFileName().isEmpty())
        return false;
    const PrintJobFile& job = m_aJobs[m_nJob];
    const std::string output = JobOutputFile(FromQt(printer->outputFileName()), job.strName, m_aJobs.size());
    const std::error_code err = CheckOutputTarget(output, nullptr);
    if (err)
        ShowStartFailed(ToQt("%1: %2").arg(ToQt(output), ToQt(SystemErrorText(err))),
                        job.strPath.empty() ? job.strName : job.strPath);
    return static_cast<bool>(err);
}

void CViewPrinting::PrintJob()
{
    QPointer<CViewPrinting> guard(this);
    // A PDF file that will be refused (another user's, say) costs no dump: said now, as its
    // hand-over would say it, and the next file still gets its turn.
    if (OutputRefused()) {
        PostContinue();
        return;
    }
    // Only the pages the job prints are written: a range, or the pages the list counted.
    CVantrelView* view = m_pView;
    DumpPages pages{1, m_aJobs[m_nJob].nPages};
    if (view->m_nFromPage != 0 || view->m_nToPage != 0)
        pages = DumpPages{view->m_nFromPage, view->m_nToPage};
    const DumpStatus status = DumpCurrentFile(pages);
    if (guard.isNull() || (status == DumpStatus::Cancelled && QuitRequested()))
        return;
    if (status == DumpStatus::Cancelled) {
        m_pView->m_bCancelPrint = 0;
        EndChain();
        return;
    }
    if (m_job.WorkFileFailed()) {
        EndChain();
        return;
    }
    if (!m_job.Written()) {
        // No job under this file's name; the next file still gets its turn.
        PostContinue();
        return;
    }
    m_bJobEnded = false;
    m_bSkipJob = false;
    RunPrintLoop(*this);
    if (guard.isNull())
        return;
    // The job has its own copy of the pages now, or never will.
    m_bDumpReady = false;
    WorkFile().RemoveFile();
    // The next file follows from the main loop, once this job and its messages are
    // done; a job that never got past OnPreparePrinting (no printer) ends the chain.
    if (m_bJobEnded || m_bSkipJob)
        PostContinue();
    else
        EndChain();
}

void CViewPrinting::OnPrintDump()
{
    CVantrelView* view = m_pView;
    if (view->m_bPrinting)
        return;
    if (m_pPreview != nullptr)
        m_pPreview->Close();
    view->m_bCancelPrint = 0;
    view->m_strPrintPath.clear();
    view->m_nFromPage = 0;
    view->m_nToPage = 0;

    // The files are fixed now: nothing done to the list while the jobs run changes them.
    std::vector<PrintJobFile> jobs = MarkedJobFiles(*view);
    // A PDF file that is one of the marked files is refused before anything is asked.
    QPrinter* printer = m_pPrinter != nullptr ? m_pPrinter : AfxGetApp() != nullptr ? &AfxGetApp()->Printer() : nullptr;
    std::optional<CChainFiles> files;
    if (printer != nullptr && printer->outputFormat() == QPrinter::PdfFormat && !printer->outputFileName().isEmpty()) {
        const std::string chosen = FromQt(printer->outputFileName());
        files.emplace(jobs);
        for (const PrintJobFile& job : jobs) {
            const std::string output = JobOutputFile(chosen, job.strName, jobs.size());
            if (RefuseMarkedFileAsOutput(output, FileIdOf(output), *files))
                return;
        }
    }
    if (jobs.size() == 1) {
        CPrintRangeDlg dlg;
        dlg.m_nTotalPages = jobs.front().nPages;
        if (dlg.DoModal() != IDOK)
            return;
        view->m_nFromPage = dlg.m_nFrom;
        view->m_nToPage = dlg.m_nTo;
    } else if (AfxMessageBox("印刷を行いますか？", MB_OKCANCEL) == IDCANCEL) {
        return;
    }
    if (jobs.empty())
        return;  // nothing chosen: the job would have nothing to print
    m_aJobs = std::move(jobs);
    m_nJob = 0;
    m_chainFiles = std::move(files);
    view->SetPrinting(true);
    PrintJob();
}

void CViewPrinting::OnContinuePrt()
{
    CVantrelView* view = m_pView;
    if (QuitRequested())
        return;
    if (view->m_bCancelPrint == 1) {
        view->m_bCancelPrint = 0;
        EndChain();
        return;
    }
    view->m_strPrintPath.clear();
    if (++m_nJob >= m_aJobs.size()) {
        EndChain();
        return;
    }
    PrintJob();
}

void CViewPrinting::OnPreviewDump()
{
    CVantrelView* view = m_pView;
    if (view->m_bPrinting || m_pPreview != nullptr)
        return;
    view->m_bCancelPrint = 0;
    view->m_nFromPage = 0;
    view->m_nToPage = 0;
    view->m_strPrintPath.clear();

    std::vector<PrintJobFile> jobs = MarkedJobFiles(*view);
    if (jobs.empty())
        return;
    jobs.resize(1);
    m_aJobs = std::move(jobs);
    m_nJob = 0;
    QPointer<CViewPrinting> guard(this);
    view->SetPrinting(true);
    const DumpStatus status = DumpCurrentFile(DumpPages{1, kPreviewPages});
    if (guard.isNull() || (status == DumpStatus::Cancelled && QuitRequested()))
        return;
    view->SetPrinting(false);
    if (status == DumpStatus::Cancelled)
        view->m_bCancelPrint = 0;
    if (status != DumpStatus::Done)
        return;

    // The preview's print button sends the print command to the frame, like the menu.
    m_pPreview = CPrintPreview::Open(*this, view, [view] {
        if (AfxGetApp() != nullptr && AfxGetApp()->GetMainWnd() == view->window())
            AfxGetApp()->SendCommand(ID_FILE_PRINT);
        else
            view->OnCmdMsg(ID_FILE_PRINT, nullptr);
    });
    if (m_pPreview == nullptr) {
        // No preview (no printer to lay it out for): its pages are not needed.
        m_bDumpReady = false;
        WorkFile().RemoveFile();
        return;
    }
    // While the preview stands in the view's place only its own commands act.
    connect(m_pPreview, &CPrintPreview::closed, view, &CVantrelView::commandStateChanged);
    emit view->commandStateChanged();
}

void CViewPrinting::OnFilePrintDirect()
{
    // Nothing has been chosen or dumped for this loop, so OnPreparePrinting declines.
    m_bDumpReady = false;
    RunPrintLoop(*this);
}

bool CViewPrinting::OnPreparePrinting(CPrintInfo* pInfo)
{
    CVantrelView* view = m_pView;
    m_bJobEnded = false;
    m_painter = CDumpPagePainter();  // laid out anew for this job's device
    // Only a file that a command chose and dumped is printed; nothing outside the list.
    const PrintJobFile* job = CurrentJob();
    if (!m_bDumpReady || job == nullptr)
        return false;
    if (view->m_nFromPage != 0 || view->m_nToPage != 0) {
        pInfo->SetMinPage(view->m_nFromPage);
        pInfo->SetMaxPage(view->m_nToPage);
    } else {
        std::int64_t pages = job->nPages;
        if (pInfo->m_bPreview && pages > kPreviewPages)
            pages = kPreviewPages;
        pInfo->SetMaxPage(pages);
    }
    pInfo->m_bDirect = true;
    pInfo->m_pPrinter = m_pPrinter;
    pInfo->m_strJobFile = job->strPath.empty() ? job->strName : job->strPath;
    pInfo->m_strDocTitle = VisibleText(job->strName);
    pInfo->m_docRecords = {m_job.record};
    if (!DoPreparePrinting(pInfo, PrintParent()))
        return false;
    if (pInfo->m_bPreview || pInfo->m_pPrinter->outputFormat() != QPrinter::PdfFormat)
        return true;
    pInfo->m_strOutputFile = JobOutputFile(FromQt(pInfo->m_pPrinter->outputFileName()), job->strName, m_aJobs.size());
    // A file chosen in the printer dialog only now; the marked files are looked at once a chain.
    if (!m_chainFiles)
        m_chainFiles.emplace(m_aJobs);
    const std::optional<FileId> output = FileIdOf(pInfo->m_strOutputFile);
    if (RefuseMarkedFileAsOutput(pInfo->m_strOutputFile, output, *m_chainFiles)) {
        m_bSkipJob = true;
        return false;
    }
    if (output && m_chainFiles->WrittenByChain(*output)) {
        // Two names that one file system takes as one file (case, say): the later job
        // would replace the earlier one's output.
        ShowStartFailed(
            ToQt("出力ファイル[%1]は同じ印刷の別のファイルの出力と重なります").arg(ToQt(pInfo->m_strOutputFile)),
            pInfo->m_strJobFile);
        m_bSkipJob = true;
        return false;
    }
    return true;
}

void CViewPrinting::OnBeginPrinting(CDC* pDC, CPrintInfo*)
{
    // The preview begins without a device: its pages are laid out when first drawn.
    if (pDC != nullptr)
        m_painter.Prepare(pDC);
}

void CViewPrinting::OnPrint(CDC* pDC, CPrintInfo* pInfo)
{
    std::vector<std::string> lines;
    if (m_bDumpReady && m_job.ReadPage(pInfo->m_nCurPage, lines)) {
        if (!m_painter.Prepared())
            m_painter.Prepare(pDC);
        m_painter.Draw(pDC, lines);
    }
}

bool CViewPrinting::OnPrintPages(CDC* pDC, CPrintInfo* pInfo, const PageStart& start)
{
    const PrintJobFile* job = CurrentJob();
    if (!m_bDumpReady || job == nullptr)
        return true;
    if (!m_painter.Prepared())
        m_painter.Prepare(pDC);
    // Escape in the list ends the job as the status window's cancel does: a page left
    // out would leave a record that is not whole.
    const PageStart startOrEscape = [this, &start](std::int64_t page) {
        if (m_pView->m_bCancelPrint == 1) {
            m_pView->m_bCancelPrint = 0;
            return false;
        }
        return start(page);
    };
    // The range was checked against the list's page count, which the job keeps: pages a
    // shrunk file no longer has come out blank.
    const DumpPages range{pInfo->GetFromPage(), pInfo->GetToPage()};
    return PrintDumpRange(m_job, range, job->nPages, pDC, m_painter, startOrEscape) == DumpStatus::Done;
}

void CViewPrinting::OnEndPrinting(CDC*, CPrintInfo* pInfo)
{
    CVantrelView* view = m_pView;
    if (pInfo->m_bPreview) {
        // The preview has closed: its pages are not needed any more.
        m_bDumpReady = false;
        WorkFile().RemoveFile();
        return;
    }
    m_bJobEnded = true;
    if (view->m_bCancelPrint == 1) {
        view->m_bCancelPrint = 0;
        view->InvalidateRect(nullptr);
    }
    // Only a job that reached the printer counts as printed; a cancelled or failed one
    // left nothing on paper. The flag goes by name: the list may show another folder.
    const PrintJobFile* job = CurrentJob();
    if (pInfo->m_nOutcome == PrintOutcome::Printed && job != nullptr) {
        view->MarkPrinted(job->strFolder, job->strName);
        if (!pInfo->m_strOutputFile.empty() && m_chainFiles)
            if (const std::optional<FileId> output = FileIdOf(pInfo->m_strOutputFile))
                m_chainFiles->AddOutput(*output);
        view->InvalidateRect(nullptr);
    }
}
