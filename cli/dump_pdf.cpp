#include "cli/dump_pdf.h"

#include "app/cdc.h"
#include "app/pdf_job_printer.h"
#include "app/print_loop.h"
#include "printing/dump_pages.h"
#include "printing/dump_writer.h"
#include "printing/print_range.h"
#include "printing/view_printing.h"
#include "printing/work_file.h"
#include "textfile/text_file_writer.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QPrinter>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace {

// A "print to PDF file" printer draws at this resolution; the tool's pages are the same.
constexpr int kPdfResolution = 1200;

void Error(const std::string& message)
{
    std::fprintf(stderr, "vantrel-dump: %s\n", message.c_str());
}

// Qt's own notes about the platform are noise on a command line; its errors are not.
void QtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "vantrel-dump: %s\n", text.toLocal8Bit().constData());
}

}  // namespace

int WriteDumpPdf(const std::string& out, const std::vector<std::string>& files, std::int64_t from,
                 std::int64_t to, int argc, char** argv)
{
    // No display is needed: fonts and painting work on the offscreen platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QtMessages);
    QGuiApplication app(argc, argv);
    InstallFontSubstitutions();

    CWorkFile workFile;
    const std::string work = workFile.Path();
    if (work.empty()) {
        Error("ワークファイルを作れません (cannot make the work file)");
        return 1;
    }

    // Written beside the target and put in its place only when complete.
    const QString target = QString::fromLocal8Bit(out.c_str());
    QTemporaryFile pdf(QFileInfo(target).absolutePath() + "/.vantrel-dump-XXXXXX.pdf");
    if (!pdf.open()) {
        Error("出力を作れません[" + out + "] (cannot create output): " + pdf.errorString().toStdString());
        return 1;
    }
    pdf.close();
    CPdfJobPrinter printer;
    ConfigurePdfPrinter(printer, kPdfResolution);
    printer.setOutputFileName(pdf.fileName());
    printer.setCreator("vantrel-dump");
    printer.setDocName(QFileInfo(target).fileName());
    QPainter painter;
    if (!painter.begin(&printer)) {
        Error("出力を作れません[" + out + "] (cannot create output)");
        return 1;
    }

    int code = 0;
    bool firstPage = true;
    bool abandon = false;
    {
        CDC dc(&painter, &printer);
        std::vector<std::string> lines;
        for (const std::string& path : files) {
            CTextFileWriter writer;
            if (!writer.Open(work)) {
                Error("ワークファイル書き込み失敗[" + work + "]");
                code = 1;
                abandon = true;
                break;
            }
            const DumpResult result = WriteDumpFile(path, writer, 0);
            writer.Close();
            if (result.status == DumpStatus::SourceOpenFailed) {
                // No pages under its name; the other files still come out.
                Error(FileOpenFailedMessage(path) + ": " + std::strerror(result.error));
                code = 1;
                continue;
            }
            if (result.status != DumpStatus::Done || writer.Failed()) {
                Error("ワークファイル書き込み失敗[" + work + "]");
                code = 1;
                abandon = true;
                break;
            }
            std::int64_t first = 1;
            std::int64_t last = result.pageTotal;
            if (from != 0 || to != 0) {
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
            const DumpGeometry geometry{path, result.length, result.pageTotal};
            for (std::int64_t page = first; page <= last; ++page) {
                if (!firstPage)
                    printer.newPage();
                firstPage = false;
                // A page the dump does not hold (an empty file) comes out blank, as on paper.
                if (ReadDumpPage(work, geometry, page, lines))
                    DrawDumpPage(&dc, lines);
            }
        }
    }
    const bool ended = painter.end();
    // A range out of bounds, a work file that failed or no page at all: an earlier file
    // of that name stays as it was.
    if (abandon || firstPage)
        return code;
    if (!ended) {
        Error("出力の書き込みに失敗しました[" + out + "] (cannot write output)");
        return 1;
    }
    std::error_code ec;
    std::filesystem::rename(QFile::encodeName(pdf.fileName()).toStdString(), out, ec);
    if (ec) {
        Error("出力の書き込みに失敗しました[" + out + "] (cannot write output): " + ec.message());
        return 1;
    }
    pdf.setAutoRemove(false);
    return code;
}
