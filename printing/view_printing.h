#pragma once

#include "framework/cdc.h"
#include "framework/print_loop.h"
#include "framework/print_preview.h"
#include "printing/dump_job.h"
#include "printing/dump_page_painter.h"
#include "printing/dump_pages.h"
#include "printing/dump_writer.h"
#include "printing/print_jobs.h"
#include "printing/work_file.h"

#include <QEvent>
#include <QObject>
#include <QPointer>

#include <optional>
#include <string>
#include <vector>

class CDC;
class CVantrelView;
class QPrinter;

// "MsgContinuePrt": posted to the view when a job ended, so that the next marked file's
// job starts from the main loop, after the previous one is completely done.
extern const QEvent::Type g_nMsgContinuePrt;

// The view's printing: the print and preview commands, the chain of one job per marked
// file, and the hooks the print loop and the preview call. Lives as a child of the view
// and reads and writes the view's printing members.
class CViewPrinting : public QObject, public CPrintHooks {
    Q_OBJECT

public:
    // The view's own instance, made on first use.
    static CViewPrinting& Of(CVantrelView* view);
    explicit CViewPrinting(CVantrelView* view);
    ~CViewPrinting() override;

    void OnPrintDump();
    void OnPreviewDump();
    // The next marked file after the one just printed; ends the chain when none is left.
    void OnContinuePrt();
    // Direct print (the print switch): the framework's loop without the program's
    // command, so no file was chosen and nothing is printed.
    void OnFilePrintDirect();

    bool OnPreparePrinting(CPrintInfo* pInfo) override;
    void OnBeginPrinting(CDC* pDC, CPrintInfo* pInfo) override;
    void OnPrint(CDC* pDC, CPrintInfo* pInfo) override;
    // The pages through the loop vantrel-dump --pdf draws them with.
    bool OnPrintPages(CDC* pDC, CPrintInfo* pInfo, const PageStart& start) override;
    void OnEndPrinting(CDC* pDC, CPrintInfo* pInfo) override;
    QString DocumentTitle() const override;
    QWidget* PrintParent() const override;

    CPrintPreview* Preview() const { return m_pPreview.data(); }
    // Where the dumps go; the application's work file unless set (tests, benchmarks).
    void SetWorkFile(CWorkFile* workFile) { m_pWorkFile = workFile; }
    CWorkFile& WorkFile();
    // The printer of the jobs; the application's current printer unless set.
    void SetPrinter(QPrinter* printer) { m_pPrinter = printer; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The file of the current job, null when none.
    const PrintJobFile* CurrentJob() const;
    // Writes the pages of the current job into a new work file; a failure is said. The
    // window may have closed meanwhile, this object with it: the caller's guard knows.
    DumpStatus DumpCurrentFile(DumpPages pages);
    // Dumps and prints the current job, then goes on with the next or ends the chain.
    void PrintJob();
    // True, after saying why, when the current job's PDF file would be refused.
    bool OutputRefused() const;
    void EndChain();
    void PostContinue();

    CVantrelView* m_pView;
    CWorkFile m_workFile;  // the view's own; its folder goes with the view
    CWorkFile* m_pWorkFile = nullptr;  // set instead: tests, benchmarks
    QPrinter* m_pPrinter = nullptr;
    DumpJob m_job;  // the current file's dump
    CDumpPagePainter m_painter;  // prepared once a job
    std::vector<PrintJobFile> m_aJobs;  // fixed when the command started
    std::size_t m_nJob = 0;  // the current job in m_aJobs
    std::optional<CChainFiles> m_chainFiles;  // what its inputs and outputs are, once looked at
    bool m_bDumpReady = false;  // the work file holds the current job's dump
    bool m_bJobEnded = false;  // OnEndPrinting ran for the current job
    bool m_bSkipJob = false;  // the job was refused, the chain goes on
    QPointer<CPrintPreview> m_pPreview;
};
