#include "cli/dump_pdf.h"

#include "framework/qt_text.h"
#include "framework/cdc.h"
#include "framework/pdf_job_printer.h"
#include "pdf/pdf_writer.h"
#include "framework/print_loop.h"
#include "cli/exit_cleanup.h"
#include "printing/dump_job.h"
#include "printing/dump_pages.h"
#include "printing/dump_range_loop.h"
#include "printing/dump_page_painter.h"
#include "printing/work_file.h"
#include "textfile/ansi_names.h"
#include "textfile/error_text.h"
#include "textfile/output_file.h"
#include "textfile/visible_text.h"

#include <QGuiApplication>
#include <QPainter>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace {

void Error(const std::string& message)
{
    std::fprintf(stderr, "vantrel-dump: %s\n", message.c_str());
}

std::string Reason(std::error_code err)
{
    return CommandLineErrorText(err);
}

// Qt's own notes about the platform are noise on a command line; its errors are not.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vantrel-dump: %s\n", text.toLocal8Bit().constData());
}

// The file's path from the root, as the record names it (not ./r1.bin as typed): dots
// that name the folder itself dropped, a ".." kept, since a link makes it mean another
// folder than the one before it.
std::string AbsolutePath(const std::string& path)
{
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(ToFileSystemPath(path), ec);
    if (ec)
        return path;
    std::filesystem::path kept;
    for (const std::filesystem::path& part : full)
        if (part != ".")
            kept /= part;
    // Z:/a/b.bin typed on Windows reads back as Z:\a\b.bin, not half of each.
    return FromFileSystemPath(kept.make_preferred());
}

// What the PDF holds so far, and how the run is to end.
struct PdfRecord {
    std::string title;  // each file's name
    std::vector<DumpRecord> files;  // each file's path, pages and digest
    bool anyPage = false;
    bool abandon = false;  // the PDF must not replace anything
    int code = 0;
};

// The temporary beside out and the printer's pages on it, opened by its bytes: the
// folder's name need not be UTF-8. False after saying why.
bool OpenPdf(const std::string& out, COutputFile& pdf, CPdfJobPrinter& printer, QPainter& painter)
{
    std::error_code err;
    {
        exitcleanup::Hold hold;
        err = pdf.Begin(out);
        exitcleanup::AddFile(pdf.TempPath());
    }
    if (err) {
        Error("出力を作れません[" + out + "] (cannot create output): " + Reason(err));
        return false;
    }
    ConfigurePdfPrinter(printer, kPdfResolution);
    printer.SetOutputHandle(pdf.Fd());
    printer.setCreator("vantrel-dump");
    if (!painter.begin(&printer)) {
        Error("出力を作れません[" + out + "] (cannot create output)");
        return false;
    }
    return true;
}

// One file's pages after those already drawn: all of them, or just the range. A file
// that cannot be dumped gets no pages and the others still come out; a work file that
// cannot be written, or a range out of bounds, ends the run.
void PrintFile(CWorkFile& work, const std::string& path, const DumpPages* range, CPdfJobPrinter& printer, CDC& dc,
               CDumpPagePainter& painter, PdfRecord& record, const std::string& out)
{
    // Only the pages that are printed are written.
    DumpJob job = WriteDumpJob(work, path, range != nullptr ? *range : DumpPages{}, DumpHooks{}, Reason);
    if (!job.Written()) {
        Error(job.Said(": "));
        record.code = 1;
        record.abandon = job.WorkFileFailed();
        // The PDF asked for is what the user waits for: it is named, with the reason.
        if (record.abandon)
            Error("出力の書き込みに失敗しました[" + out + "] (cannot write output)" +
                  (job.reason.empty() ? "" : ": " + job.reason));
        return;
    }
    const std::int64_t total = job.result.pageTotal;
    const DumpPages pages = range != nullptr ? *range : DumpPages{1, total};
    const auto start = [&](std::int64_t page) {
        if (record.anyPage)
            printer.newPage();
        if (page == pages.first)
            printer.BeginPart(pages.first);
        record.anyPage = true;
        return true;
    };
    if (PrintDumpRange(job, pages, total, &dc, painter, start) == DumpStatus::OutOfRange) {
        Error(job.message + " (--pages " + std::to_string(pages.first) + "-" + std::to_string(pages.last) + " of " +
              std::to_string(total) + ")");
        work.RemoveFile();
        record.code = 2;
        record.abandon = true;
        return;
    }
    // Names joined by what no name can hold: one file's name never reads as two.
    record.title += (record.title.empty() ? "" : " / ") + VisibleText(path.substr(PathNameStart(path)));
    record.files.push_back(job.record);
    work.RemoveFile();
}

// Puts the finished PDF in out's place once the file itself shows it is whole: Qt's
// writer reports success although its writes failed (a full disk).
int PlacePdf(const std::string& out, COutputFile& pdf, bool ended)
{
    if (!ended || !PdfComplete(pdf.TempPath())) {
        const std::error_code err = WhyNoMoreBytes(pdf.Fd());
        Error("出力の書き込みに失敗しました[" + out + "] (cannot write output)" + (err ? ": " + Reason(err) : ""));
        return 1;
    }
    const std::string temp = pdf.TempPath();
    if (const std::error_code err = pdf.Commit()) {
        Error("出力の書き込みに失敗しました[" + out + "] (cannot write output): " + Reason(err));
        return 1;
    }
    exitcleanup::Forget(temp);
    return 0;
}

}  // namespace

int WriteDumpPdf(const std::string& out, const std::vector<std::string>& files, bool rangeGiven, std::int64_t from,
                 std::int64_t to, int argc, char** argv)
{
    // A kill, a Ctrl+C or a closed terminal leaves no work file and no partial PDF.
    exitcleanup::Install();
#if !defined(_WIN32)
    // No display is needed: fonts and painting work on the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    qInstallMessageHandler(QtMessages);
    QGuiApplication app(argc, argv);
    InstallFontSubstitutions();

    CWorkFile work;
    std::string workPath;
    {
        exitcleanup::Hold hold;
        workPath = work.Prepare();
        exitcleanup::AddFolder(work.Folder());
        exitcleanup::AddFile(workPath);
    }
    if (workPath.empty()) {
        Error(WorkFileFailedMessage(work.Where()) + " (cannot make the work file)");
        return 1;
    }
    COutputFile pdf;
    CPdfJobPrinter printer;
    QPainter painter;
    if (!OpenPdf(out, pdf, printer, painter))
        return 1;

    PdfRecord record;
    const DumpPages pages{from, to};
    {
        CDC dc(&painter, &printer);
        CDumpPagePainter pagePainter;  // one job: laid out once
        pagePainter.Prepare(&dc);
        for (const std::string& path : files) {
            PrintFile(work, AbsolutePath(path), rangeGiven ? &pages : nullptr, printer, dc, pagePainter, record, out);
            if (record.abandon)
                break;
        }
    }
    printer.SetRecord(ToQt(record.title), std::move(record.files));
    const bool ended = painter.end();
    work.Remove();
    // A range out of bounds, a work file that failed or no page at all: an earlier file
    // of that name stays as it was.
    if (record.abandon || !record.anyPage)
        return record.code;
    const int placed = PlacePdf(out, pdf, ended);
    return placed != 0 ? placed : record.code;
}
