#include "printing/view_printing.h"

#include "app/cdc.h"
#include "app/command_ids.h"
#include "app/main_frame.h"
#include "app/message_box.h"
#include "app/print_preview.h"
#include "app/vantrel_app.h"
#include "app/vantrel_doc.h"
#include "app/wait_cursor.h"
#include "draw/join_path.h"
#include "filelist/vantrel_view.h"
#include "printing/dump_writer.h"
#include "printing/print_range_dlg.h"
#include "printing/work_file.h"
#include "textfile/text_file_writer.h"

#include <QCoreApplication>

#include <cstring>

const QEvent::Type g_nMsgContinuePrt = static_cast<QEvent::Type>(QEvent::registerEventType());

namespace {

constexpr double kLeftMm = 15.0;
constexpr double kTopMm = 8.0;
constexpr double kPitchMm = 3.0;

bool ValidIndex(const CVantrelView* view, int index)
{
    return index >= 0 && static_cast<std::size_t>(index) < view->m_aFiles.size();
}

}  // namespace

double MmToPixels(CDC* pDC, double mm)
{
    return pDC->GetDeviceCaps(LOGPIXELSY) * mm * 0.03937007874015748;
}

DumpPageLayout DumpPageLayoutFor(CDC* pDC)
{
    DumpPageLayout layout;
    layout.x = static_cast<int>(MmToPixels(pDC, kLeftMm));
    layout.y0 = static_cast<int>(MmToPixels(pDC, kTopMm));
    layout.h = static_cast<int>(MmToPixels(pDC, kPitchMm));
    layout.font.lfHeight = layout.h;
    layout.font.lfCharSet = DEFAULT_CHARSET;
    layout.font.lfFaceName = "ＭＳ 明朝";
    return layout;
}

void DrawDumpPage(CDC* pDC, const std::vector<std::string>& lines)
{
    const DumpPageLayout layout = DumpPageLayoutFor(pDC);
    CFont font;
    font.CreateFontIndirect(layout.font);
    CFont* oldFont = pDC->SelectObject(&font);
    // Every line lies on blank paper, so the opaque box TextOut would fill under it
    // paints nothing new.
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    int y = layout.y0;
    for (const std::string& line : lines) {
        if (!line.empty())
            pDC->TextOutHex(layout.x, y, line);
        y += layout.h;
    }
    pDC->SetBkMode(oldMode);
    pDC->SelectObject(oldFont);
}

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

std::string CViewPrinting::WorkFile() const
{
    if (!m_strWorkFile.empty())
        return m_strWorkFile;
    return AfxGetApp()->WorkFile().Path();
}

QString CViewPrinting::DocumentTitle() const
{
    const CVantrelDoc* doc = AfxGetApp()->Document();
    return doc != nullptr ? QString::fromStdString(doc->GetTitle()) : CPrintHooks::DocumentTitle();
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
    m_pView->SetPrinting(false);
}

CViewPrinting::DumpOutcome CViewPrinting::DumpEntry(int index, int preview)
{
    CVantrelView* view = m_pView;
    view->m_nPrintIndex = index;
    view->m_strPrintPath = JoinPath(view->m_strFolder, view->m_aFiles[static_cast<std::size_t>(index)].strName);
    m_bDumpReady = false;

    const std::string workFile = WorkFile();
    CTextFileWriter out;
    if (workFile.empty() || !out.Open(workFile)) {
        AfxMessageBox("ワークファイル書き込み失敗[" + workFile + "]", MB_OK);
        return DumpOutcome::WorkFileFailed;
    }

    // The pump may close the window: the view and this object then go while the dump
    // is still on the stack, so everything after a pump asks the guard first.
    QPointer<CViewPrinting> guard(this);
    DumpHooks hooks;
    hooks.pump = [] { PumpWaitingMessages(); };
    hooks.cancelRequested = [guard] {
        return guard.isNull() || QuitRequested() || guard->m_pView->m_bCancelPrint == 1;
    };
    DumpResult result;
    {
        CWaitCursor wait;
        result = WriteDumpFile(view->m_strPrintPath, out, preview, hooks);
        out.Close();
    }
    if (guard.isNull())
        return DumpOutcome::Gone;
    if (result.status == DumpStatus::Done && out.Failed())
        result.status = DumpStatus::WriteFailed;
    switch (result.status) {
    case DumpStatus::Cancelled:
        return QuitRequested() ? DumpOutcome::Gone : DumpOutcome::Cancelled;
    case DumpStatus::SourceOpenFailed:
        AfxMessageBox(FileOpenFailedMessage(view->m_strPrintPath), MB_OK);
        return DumpOutcome::SourceFailed;
    case DumpStatus::WriteFailed:
        AfxMessageBox("ワークファイル書き込み失敗[" + workFile + "]", MB_OK);
        return DumpOutcome::WorkFileFailed;
    case DumpStatus::Done:
        break;
    }
    m_geometry.path = view->m_strPrintPath;
    m_geometry.length = result.length;
    m_geometry.pageTotal = result.pageTotal;
    m_bDumpReady = true;
    return DumpOutcome::Written;
}

void CViewPrinting::PrintEntry(int index)
{
    QPointer<CViewPrinting> guard(this);
    switch (DumpEntry(index, 0)) {
    case DumpOutcome::Gone:
        return;
    case DumpOutcome::Cancelled:
        m_pView->m_bCancelPrint = 0;
        EndChain();
        return;
    case DumpOutcome::WorkFileFailed:
        EndChain();
        return;
    case DumpOutcome::SourceFailed:
        // No job under this file's name; the next marked file still gets its turn.
        PostContinue();
        return;
    case DumpOutcome::Written:
        break;
    }
    RunPrintLoop(*this);
    if (guard.isNull())
        return;
    // A job that never got past OnPreparePrinting posts nothing: the chain ends here.
    if (!m_bJobEnded)
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

    const int marked = view->MarkedCount();
    if (marked == 1) {
        CPrintRangeDlg dlg;
        dlg.m_nTotalPages = view->m_aFiles[static_cast<std::size_t>(view->LastMarked())].nPages;
        if (dlg.DoModal() != IDOK)
            return;
        view->m_nFromPage = dlg.m_nFrom;
        view->m_nToPage = dlg.m_nTo;
    } else if (AfxMessageBox("印刷を行いますか？", MB_OKCANCEL) == IDCANCEL) {
        return;
    }

    const int first = view->FirstMarked();
    if (first < 0)
        return;  // nothing chosen: the job would have nothing to print
    view->SetPrinting(true);
    PrintEntry(first);
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
    const int next = view->NextMarkedAfter(view->m_nPrintIndex);
    if (next < 0) {
        EndChain();
        return;
    }
    view->SetPrinting(true);
    PrintEntry(next);
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

    const int first = view->FirstMarked();
    if (first < 0)
        return;
    QPointer<CViewPrinting> guard(this);
    view->SetPrinting(true);
    const DumpOutcome outcome = DumpEntry(first, kPreviewPages);
    if (guard.isNull() || outcome == DumpOutcome::Gone)
        return;
    view->SetPrinting(false);
    if (outcome == DumpOutcome::Cancelled)
        view->m_bCancelPrint = 0;
    if (outcome != DumpOutcome::Written)
        return;

    // The preview's print button sends the print command to the frame, like the menu.
    m_pPreview = CPrintPreview::Open(*this, view, [view] {
        if (auto* frame = qobject_cast<CMainFrame*>(view->window()))
            frame->ExecuteCommand(ID_FILE_PRINT);
        else
            view->OnCmdMsg(ID_FILE_PRINT, nullptr);
    });
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
    // Only a file that a command chose and dumped is printed; nothing outside the list.
    if (!m_bDumpReady || !ValidIndex(view, view->m_nPrintIndex))
        return false;
    if (view->m_nFromPage != 0 || view->m_nToPage != 0) {
        pInfo->SetMinPage(view->m_nFromPage);
        pInfo->SetMaxPage(view->m_nToPage);
    } else {
        std::int64_t pages = view->m_aFiles[static_cast<std::size_t>(view->m_nPrintIndex)].nPages;
        if (pInfo->m_bPreview && pages > kPreviewPages)
            pages = kPreviewPages;
        pInfo->SetMaxPage(pages);
    }
    pInfo->m_bDirect = true;
    pInfo->m_pPrinter = m_pPrinter;
    return DoPreparePrinting(pInfo, PrintParent());
}

void CViewPrinting::OnBeginPrinting(CDC*, CPrintInfo*) {}

void CViewPrinting::OnPrint(CDC* pDC, CPrintInfo* pInfo)
{
    CVantrelView* view = m_pView;
    if (!m_bDumpReady)
        return;
    std::vector<std::string> lines;
    // The lookup seeks straight to the page: page 10,000 costs what page 1 costs.
    if (!ReadDumpPage(WorkFile(), m_geometry, pInfo->m_nCurPage, lines))
        return;  // the dump has no such page: a blank page
    if (view->m_bCancelPrint == 1) {
        view->m_bCancelPrint = 0;
        pInfo->m_bContinuePrinting = false;
        return;
    }
    DrawDumpPage(pDC, lines);
}

void CViewPrinting::OnEndPrinting(CDC*, CPrintInfo* pInfo)
{
    CVantrelView* view = m_pView;
    if (pInfo->m_bPreview)
        return;
    m_bJobEnded = true;
    if (view->m_bCancelPrint == 1) {
        view->m_bCancelPrint = 0;
        view->InvalidateRect(nullptr);
    }
    // Only a job that reached the printer counts as printed; a cancelled or failed one
    // left nothing on paper.
    if (pInfo->m_nOutcome == PrintOutcome::Printed && ValidIndex(view, view->m_nPrintIndex)) {
        view->m_aFiles[static_cast<std::size_t>(view->m_nPrintIndex)].nPrinted = 1;
        view->InvalidateRect(nullptr);
    }
    PostContinue();
}
