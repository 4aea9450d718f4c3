// File names of any characters (every plane, combining marks, characters that show
// nothing, scripts no installed font has) in a page header, drawn by the page painter into
// the PDF writer: the writer must not crash, and qpdf must find the file sound.
#include "framework/cdc.h"
#include "framework/font_cell.h"
#include "framework/pdf_job_printer.h"
#include "framework/print_loop.h"
#include "pdf/pdf_writer.h"
#include "fuzz/fuzz_common.h"
#include "printing/dump_page_painter.h"
#include "textfile/dump_format.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Characters chosen more often than chance would: marks, format characters, and the
// blocks of scripts that shape.
constexpr char32_t kShowNothing[] = {0x00AD, 0x034F, 0x061C,  0x115F,  0x180E,  0x200B, 0x200C, 0x200D,
                                     0x200E, 0x200F, 0x202A,  0x202E,  0x2060,  0x2066, 0x2069, 0xFE0F,
                                     0xFEFF, 0xFFF9, 0x1D173, 0xE0001, 0xE0041, 0xE01EF};
constexpr char32_t kScripts[] = {0x0600, 0x0700, 0x0900, 0x0980, 0x0B80, 0x0C00, 0x0D80, 0x0E00, 0x0F00,
                                 0x1000, 0x1200, 0x1780, 0x1800, 0x3040, 0x30A0, 0x4E00, 0xAC00, 0x1F300};

QString NameOf(const std::uint8_t* data, std::size_t size)
{
    std::u32string name;
    for (std::size_t i = 0; i + 2 < size && name.size() < 255; i += 3) {
        const std::uint32_t pick = data[i];
        const std::uint32_t value = (static_cast<std::uint32_t>(data[i + 1]) << 8) | data[i + 2];
        char32_t c;
        if (pick < 0x40)
            c = 0x20 + value % 0x5F;
        else if (pick < 0x70)
            c = 0x0300 + value % 0x70;  // combining diacritical marks
        else if (pick < 0x90)
            c = kShowNothing[value % std::size(kShowNothing)];
        else if (pick < 0xC0)
            c = kScripts[value % std::size(kScripts)] + (value >> 8) % 0x80;
        else
            c = ((pick - 0xC0) << 16 | value) % 0x110000;  // every plane
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;  // a lone surrogate is no character
        name.push_back(c);
    }
    return QString::fromUcs4(name.data(), static_cast<qsizetype>(name.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QGuiApplication app(*argc, *argv);
    InstallFontSubstitutions();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string& pdf = fuzzing::ScratchPath("pdf_names.pdf");
    const std::string name = NameOf(data, size).toStdString();
    // The header as the program prints it, and the name as it is, straight to the writer.
    std::vector<std::string> lines = {
        DumpPageHeader("/tmp/" + name, 1, 1, 1), "", std::string(kDumpColumnHeader), "", "00000000  41", name};
    {
        CPdfJobPrinter printer;
        ConfigurePdfPrinter(printer, kPdfResolution);
        printer.setOutputFileName(QString::fromStdString(pdf));
        printer.SetRecord(QString::fromStdString(name), {});
        printer.BeginPart(1);
        QPainter painter;
        FUZZ_CHECK(painter.begin(&printer));
        {
            CDC dc(&painter, &printer);
            DrawDumpPage(&dc, lines);
        }
        FUZZ_CHECK(painter.end());
    }
    FUZZ_CHECK(PdfComplete(pdf));
    QProcess qpdf;
    qpdf.start("qpdf", {"--check", QString::fromStdString(pdf)});
    FUZZ_CHECK(qpdf.waitForFinished(60000));
    if (qpdf.exitStatus() != QProcess::NormalExit || qpdf.exitCode() != 0) {
        std::fprintf(stderr, "qpdf: %s%s\n", qpdf.readAllStandardOutput().constData(),
                     qpdf.readAllStandardError().constData());
        FUZZ_CHECK(false);
    }
    // Qt's font caches let go of what they hold on timers, as in the program's event loop.
    QCoreApplication::processEvents();
    return 0;
}
