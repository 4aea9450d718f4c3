#pragma once

#include "framework/hook_guard.h"

#include "framework/event_pump.h"
#include "framework/print_spoolers.h"
#include "printing/dump_writer.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

class CDC;
class QPrinter;
class QWidget;

// A maximum page nobody set: the loop then runs only while OnPrint asks for more.
inline constexpr std::int64_t kUnknownMaxPage = std::numeric_limits<std::int64_t>::max();

// How a job ended, known before OnEndPrinting runs.
enum class PrintOutcome {
    None,  // the preview, or the job is still running
    Printed,  // handed to the printer whole
    Cancelled,  // nothing reached the printer
    Failed,  // could not start or not be handed over; nothing reached the printer
};

// What the print loop and the preview tell the view's printing hooks. Page numbers are
// 64-bit: a large file prints whole.
struct CPrintInfo {
    void SetMinPage(std::int64_t n) { m_nMinPage = n; }
    void SetMaxPage(std::int64_t n) { m_nMaxPage = n; }
    std::int64_t GetMinPage() const { return m_nMinPage; }
    std::int64_t GetMaxPage() const { return m_nMaxPage; }
    // The pages the loop runs: from/to clamped into min/max.
    std::int64_t GetFromPage() const;
    std::int64_t GetToPage() const;

    std::int64_t m_nMinPage = 1;
    std::int64_t m_nMaxPage = kUnknownMaxPage;
    std::int64_t m_nFromPage = 1;
    std::int64_t m_nToPage = kUnknownMaxPage;
    std::int64_t m_nCurPage = 1;
    bool m_bPreview = false;
    bool m_bDirect = false;
    bool m_bContinuePrinting = true;
    PrintOutcome m_nOutcome = PrintOutcome::None;
    // The file the job prints, named in a failure message ("" names none).
    std::string m_strJobFile;
    // What the job's PDF says of itself: its title (the document's title when empty) and
    // the files it prints. The job's name at the printer stays the document's title.
    std::string m_strDocTitle;
    std::vector<DumpRecord> m_docRecords;
    // For a printer that writes a file: where this job goes ("" for the printer's own
    // file name). Several jobs of one chain never share a file.
    std::string m_strOutputFile;
    // The printer of the job: the application's current one unless the hooks name
    // another before DoPreparePrinting; never owned.
    QPrinter* m_pPrinter = nullptr;
};

// Begins page N of a job, as the print loop or the preview has it (the status window's
// page, waiting events, a new sheet after the first); false when the job is to end.
using PageStart = std::function<bool(std::int64_t page)>;

// The hooks a view gives the print loop and the preview.
class CPrintHooks {
public:
    virtual ~CPrintHooks() = default;
    virtual bool OnPreparePrinting(CPrintInfo* pInfo) = 0;
    virtual void OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo);
    // Continues before every page unless the maximum page is unknown (then only page 1).
    virtual void OnPrepareDC(CDC* pDC, CPrintInfo* pInfo);
    virtual void OnPrint(CDC* pDC, CPrintInfo* pInfo) = 0;
    // The job's pages, each begun by start; false when start ended the job. Runs from
    // the first page to the last through OnPrepareDC and OnPrint unless a view draws its
    // pages by a loop of its own.
    virtual bool OnPrintPages(CDC* pDC, CPrintInfo* pInfo, const PageStart& start);
    // After every job that got past OnPreparePrinting, also a cancelled or failed one.
    // pDC is null: the job's drawing has ended by then.
    virtual void OnEndPrinting(CDC* pDC, CPrintInfo* pInfo);
    // The job's name in the spooler and the status window.
    virtual QString DocumentTitle() const;
    // Owner of the status window, the printer dialog and the messages.
    virtual QWidget* PrintParent() const { return nullptr; }
};

// Chooses the job's printer: with m_bDirect the application's current printer (or the
// one m_pPrinter names); when no printer can be set up at all (no scheduler running,
// say), the printer dialog, which offers the PDF file. False when no printer was
// chosen. The preview always goes on: it needs no printer.
bool DoPreparePrinting(CPrintInfo* pInfo, QWidget* parent);
// A printer a job can go to without asking the user: a PDF file named, or a queue the
// system knows.
bool CanSetUp(const QPrinter& printer);

// Makes parent's window the active one again, its focus widget focused, once a window
// of ours over it (the status window) has gone.
void ReactivateAfterStatus(QWidget* parent);

// "印刷を開始できませんでした。", the reason on its second line, then the file the job prints.
void ShowStartFailed(const QString& reason, const std::string& jobFile);

// The print command: prepare, render every page into a temporary PDF at the printer's
// resolution, and hand it to the printer only when the job is complete. A cancelled job
// reaches no printer.
void RunPrintLoop(CPrintHooks& hooks);

// Tests answer the printer dialog: the hook's result is the dialog's. Returns the hook
// before it.
using PrinterDialogHook = std::function<bool(QPrinter&, QWidget*)>;
PrinterDialogHook SetPrinterDialogHook(PrinterDialogHook hook);
using PrinterDialogHookGuard = CHookGuard<PrinterDialogHook, &SetPrinterDialogHook>;

// Sets printer up as the PDF twin of target: its resolution, A4 portrait, origin at the
// paper's corner. Used by the print loop, the preview and the command-line tool.
void ConfigurePdfPrinter(QPrinter& printer, const QPrinter& target);
void ConfigurePdfPrinter(QPrinter& printer, int resolution);
// The resolution of Qt's PDF printer, which a "print to PDF file" printer draws at.
inline constexpr int kPdfResolution = 1200;
