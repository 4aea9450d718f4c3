#include "cli/dump_pdf.h"

#include "framework/cdc.h"
#include "framework/pdf_job_printer.h"
#include "framework/pdf_writer.h"
#include "framework/print_loop.h"
#include "cli/exit_cleanup.h"
#include "printing/dump_pages.h"
#include "printing/dump_writer.h"
#include "printing/print_range.h"
#include "printing/dump_page_painter.h"
#include "printing/work_file.h"
#include "textfile/error_text.h"
#include "textfile/output_file.h"
#include "textfile/text_file_writer.h"
#include "textfile/visible_text.h"

#include <QGuiApplication>
#include <QPainter>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

void Error(const std::string& message)
{
    std::fprintf(stderr, "vantrel-dump: %s\n", message.c_str());
}

std::string Reason(int err)
{
    return CommandLineErrorText(err);
}

// Qt's own notes about the platform are noise on a command line; its errors are not.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vantrel-dump: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

int WriteDumpPdf(const std::string& out, const std::vector<std::string>& files, bool rangeGiven, std::int64_t from,
                 std::int64_t to, int argc, char** argv)
{
    // A kill, a Ctrl+C or a closed terminal leaves no work file and no partial PDF.
    exitcleanup::Install();
    // No display is needed: fonts and painting work on the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
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

    // Written beside the target under a name of its own, and put in its place only when
    // complete and checked. The path stays bytes: the folder's name need not be UTF-8.
    COutputFile pdf;
    int err = 0;
    {
        exitcleanup::Hold hold;
        err = pdf.Begin(out);
        exitcleanup::AddFile(pdf.TempPath());
    }
    if (err != 0) {
        Error("出力を作れません[" + out + "] (cannot create output): " + Reason(err));
        return 1;
    }
    // The printer's own PDF pages, into the file opened by its bytes.
    CPdfJobPrinter printer;
    ConfigurePdfPrinter(printer, kPdfResolution);
    printer.SetOutputHandle(pdf.Fd());
    printer.setCreator("vantrel-dump");
    QPainter painter;
    if (!painter.begin(&printer)) {
        Error("出力を作れません[" + out + "] (cannot create output)");
        return 1;
    }

    int code = 0;
    bool firstPage = true;
    std::string title;
    std::string subject;
    bool abandon = false;
    {
        CDC dc(&painter, &printer);
        std::vector<std::string> lines;
        for (const std::string& path : files) {
            // Only the pages that are printed are written.
            const DumpPages pages = rangeGiven ? DumpPages{from, to} : DumpPages{};
            CTextFileWriter text;
            work.Prepare();
            if (const int werr = work.Create(text); werr != 0) {
                Error(WorkFileFailedMessage(workPath) + ": " + Reason(werr));
                code = 1;
                abandon = true;
                break;
            }
            DumpHooks hooks;
            hooks.available = work.FreeBytes();
            hooks.digest = true;
            const DumpResult result = WriteDumpFile(path, text, pages, hooks);
            text.Close();
            if (result.status == DumpStatus::SourceOpenFailed || result.status == DumpStatus::ReadFailed) {
                // No pages under its name; the other files still come out.
                Error(result.status == DumpStatus::SourceOpenFailed ? FileOpenFailedMessage(path, result.error)
                                                                    : FileReadFailedMessage(path, result.error));
                work.RemoveFile();
                code = 1;
                continue;
            }
            if (result.status == DumpStatus::NoRoom) {
                Error(NoRoomMessage(workPath, result.textSize, static_cast<std::uint64_t>(hooks.available)));
                code = 1;
                abandon = true;
                break;
            }
            if (result.status != DumpStatus::Done || text.Failed()) {
                Error(WorkFileFailedMessage(workPath) + ": " + Reason(text.ErrorCode() != 0 ? text.ErrorCode() : EIO));
                code = 1;
                abandon = true;
                break;
            }
            std::int64_t first = 1;
            std::int64_t last = result.pageTotal;
            if (rangeGiven) {
                const PageRangeCheck check = CheckPageRange(false, std::to_string(from), std::to_string(to),
                                                            result.pageTotal);
                if (!check.ok) {
                    Error(check.message + " (--pages " + std::to_string(from) + "-" + std::to_string(to) +
                          " of " + std::to_string(result.pageTotal) + ")");
                    code = 2;
                    abandon = true;
                    break;
                }
                first = from;
                last = to;
            }
            // The document says what it records: each file's name, and its path, pages and
            // the SHA-256 of the bytes they show.
            const std::size_t slash = path.rfind('/');
            title += (title.empty() ? "" : ", ") + VisibleText(slash == std::string::npos ? path : path.substr(slash + 1));
            subject += (subject.empty() ? "" : "\n") + DumpSubject(path, result);
            DumpGeometry geometry{path, result.length, result.pageTotal, first};
            for (std::int64_t page = first; page <= last; ++page) {
                if (!firstPage)
                    printer.newPage();
                firstPage = false;
                // A page the dump does not hold (an empty file) comes out blank, as on paper.
                if (ReadDumpPage(workPath, geometry, page, lines))
                    DrawDumpPage(&dc, lines);
            }
            work.RemoveFile();
        }
    }
    printer.SetInfo(QString::fromStdString(title), QString::fromStdString(subject));
    // Qt's PDF writer reports success although its writes failed (a full disk): the file
    // itself must show it is whole before it replaces anything.
    const bool ended = painter.end();
    work.Remove();
    // A range out of bounds, a dump that failed or no page at all: an earlier file of
    // that name stays as it was.
    if (abandon || firstPage)
        return code;
    if (!ended || !PdfComplete(pdf.TempPath())) {
        Error("出力の書き込みに失敗しました[" + out + "] (cannot write output)");
        return 1;
    }
    const std::string temp = pdf.TempPath();
    if (const int cerr = pdf.Commit(); cerr != 0) {
        Error("出力の書き込みに失敗しました[" + out + "] (cannot write output): " + Reason(cerr));
        return 1;
    }
    exitcleanup::Forget(temp);
    return code;
}
