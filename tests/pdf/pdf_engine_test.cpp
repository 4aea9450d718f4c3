// The job printer's own PDF engine beside Qt's: the same page size and metrics, text
// where Qt puts it and readable back, one embedded subset font per face, shapes and
// images where Qt draws them, and failures that say so.

#include "framework/cdc.h"
#include "framework/pdf_job_printer.h"
#include "framework/print_loop.h"
#include "pdf/pdf_writer.h"
#include "printing/dump_test_util.h"
#include "printing/print_test_util.h"

#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>

namespace {

using Drawing = std::function<void(QPainter&, CDC&, int page)>;

class PdfEngineTest : public ::testing::Test {
protected:
    // What draw paints on pages pages, at dpi, through printer, as a file.
    std::string Draw(QPrinter& printer, const std::string& name, const Drawing& draw, int pages = 1, int dpi = 600)
    {
        const std::string out = m_tmp / name;
        ConfigurePdfPrinter(printer, dpi);
        printer.setOutputFileName(QString::fromStdString(out));
        printer.setDocName(QStringLiteral("テスト (1)"));
        printer.setCreator("Vantrel");
        QPainter painter;
        EXPECT_TRUE(painter.begin(&printer));
        {
            CDC dc(&painter, &printer);
            for (int page = 1; page <= pages; ++page) {
                if (page > 1) {
                    EXPECT_TRUE(printer.newPage());
                }
                draw(painter, dc, page);
            }
        }
        EXPECT_TRUE(painter.end());
        return out;
    }

    // The same drawing by the job printer and by Qt's own PDF printer.
    std::pair<std::string, std::string> DrawBoth(const Drawing& draw, int pages = 1, int dpi = 600)
    {
        CPdfJobPrinter ours;
        QPrinter qts(QPrinter::HighResolution);
        return {Draw(ours, "ours.pdf", draw, pages, dpi), Draw(qts, "qts.pdf", draw, pages, dpi)};
    }

    TempFolder m_tmp;
};

TEST_F(PdfEngineTest, SizeAndMetricsAreThoseOfQtsPdfPrinter)
{
    for (const int dpi : {300, 600, 1200}) {
        CPdfJobPrinter ours;
        QPrinter qts(QPrinter::HighResolution);
        ConfigurePdfPrinter(ours, dpi);
        ConfigurePdfPrinter(qts, dpi);
        EXPECT_EQ(ours.width(), qts.width()) << dpi;
        EXPECT_EQ(ours.height(), qts.height()) << dpi;
        EXPECT_EQ(ours.logicalDpiX(), dpi);
        EXPECT_EQ(ours.logicalDpiY(), dpi);
        EXPECT_EQ(ours.widthMM(), qts.widthMM());
        EXPECT_EQ(ours.heightMM(), qts.heightMM());
        EXPECT_TRUE(ours.pageLayout().isEquivalentTo(qts.pageLayout()));
    }
    const std::string pdf = Draw(*std::make_unique<CPdfJobPrinter>(), "a4.pdf",
                                 [](QPainter&, CDC& dc, int) { dc.FillSolidRect(0, 0, 10, 10, RGB(0, 0, 0)); });
    const QString info = printtest::Run("pdfinfo", {QString::fromStdString(pdf)});
    EXPECT_TRUE(info.contains(QRegularExpression("Page size:\\s+595 x 842 pts"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QStringLiteral("Title:           テスト (1)"))) << info.toStdString();
    EXPECT_TRUE(info.contains("Creator:         Vantrel")) << info.toStdString();
}

// Text through TextOut, through the painter and through TextOutAscii: the same words at
// the same places as Qt's engine writes them, with the characters that need escapes in
// a PDF string and the ones that need two-byte codes.
TEST_F(PdfEngineTest, TextReadsBackWhereQtsEnginePutsIt)
{
    const std::string header = "Name : /tmp/日本語 (a)\\b.bin  Length : 00001388(5000)  Page : 1 / 2";
    const auto [ours, qts] = DrawBoth([&](QPainter& painter, CDC& dc, int) {
        CLogFont lf;
        lf.lfHeight = 70;
        lf.lfFaceName = "ＭＳ 明朝";
        CFont font;
        font.CreateFontIndirect(lf);
        dc.SelectObject(&font);
        dc.SetBkMode(TRANSPARENT);
        dc.TextOut(300, 200, header);
        dc.TextOutAscii(300, 300, "00000020  00 07 0E 15  1C 23 2A 31");
        dc.TextOutAscii(300, 400, "Position  00 01");  // not hexadecimal: TextOut
        dc.SelectObject(static_cast<CFont*>(nullptr));
        painter.setFont(QFont("IPAMincho", 40));
        painter.setPen(Qt::black);
        painter.drawText(QPointF(300, 600), QStringLiteral("漢字 and (Latin) text"));
        // Glyphs further apart than their widths: evenly, and only after the blanks.
        QFont spaced("DejaVu Sans", 30);
        spaced.setLetterSpacing(QFont::AbsoluteSpacing, 25);
        painter.setFont(spaced);
        painter.drawText(QPointF(300, 800), "Spaced out");
        QFont words("DejaVu Sans", 30);
        words.setWordSpacing(90);
        painter.setFont(words);
        painter.drawText(QPointF(300, 1000), "Wide apart words, AVAWAY");
    });
    EXPECT_EQ(printtest::ReaderComplaints(ours), "");
    const QString text = printtest::PdfText(ours, 1);
    EXPECT_EQ(text, printtest::PdfText(qts, 1));
    const QString words = text.simplified();
    EXPECT_TRUE(words.contains(QString::fromLocal8Bit(header.c_str()).simplified())) << text.toStdString();
    EXPECT_TRUE(words.contains("00000020 00 07 0E 15 1C 23 2A 31")) << text.toStdString();
    EXPECT_TRUE(words.contains("Position 00 01")) << text.toStdString();
    EXPECT_TRUE(words.contains(QStringLiteral("漢字 and (Latin) text"))) << text.toStdString();
    EXPECT_TRUE(words.contains("Wide apart words, AVAWAY")) << text.toStdString();
    const std::vector<printtest::Word> a = printtest::PdfWords(ours, 1);
    const std::vector<printtest::Word> b = printtest::PdfWords(qts, 1);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].text, b[i].text);
        EXPECT_NEAR(a[i].xMin, b[i].xMin, 72.0 / 600) << a[i].text.toStdString();
        EXPECT_NEAR(a[i].xMax, b[i].xMax, 72.0 / 600) << a[i].text.toStdString();
        EXPECT_NEAR(a[i].yMin, b[i].yMin, 72.0 / 600) << a[i].text.toStdString();
    }
    EXPECT_LT(printtest::ImageDifference(printtest::PdfPageImage(ours, 1, 150), printtest::PdfPageImage(qts, 1, 150)),
              0.05);
}

// Text whose glyphs and characters do not pair off one to one reads back exactly in five
// readers: decomposed names (a code stands for one character, the others of its cluster
// ride on glyphs that show nothing), characters that show nothing (neither a stray
// space nor a split line), a soft hyphen (once every character after it read as U+FFFD),
// marks off the baseline, boxes for characters no font has. Right-to-left text is drawn
// in reading order: poppler and mupdf read and find it.
TEST_F(PdfEngineTest, ClustersAndInvisibleCharactersReadBackExactly)
{
#if defined(_WIN32)
    GTEST_SKIP() << "text reaches CDC in code page 932 on Windows, which has none of these clusters";
#endif
    const struct {
        const char* text;
        QStringList readers;
    } cases[] = {
        {"\u30AB\u3099\u30A4\u30C8\u3099.txt", {}},
        {"Cafe\u0301.bin", {}},
        {"a\u200Bb.bin", {}},
        {"a\uFEFFb.bin", {}},
        {"x\u2764\uFE0F.bin", {}},
        {"a\u00ADb.bin (after a soft hyphen)", {}},
        {"a\u0334b \u0F61\u0F72\u0F42.bin", {}},
        {"\u0B95\u0BCB\u0BAA\u0BCD\u0BAA\u0BC1.bin", {}},
        {"\u0645\u0644\u0641_\u0639\u0631\u0628\u064A.bin", {"poppler", "mupdf"}},
        // poppler's own ordering puts the digits before the Arabic, whatever the file says.
        {"\u0645\u0644\u0641 123 (x).bin", {"mupdf"}},
    };
    const std::string pdf = Draw(*std::make_unique<CPdfJobPrinter>(), "clusters.pdf", [&](QPainter&, CDC& dc, int) {
        CLogFont lf;
        lf.lfHeight = 70;
        lf.lfFaceName = "ＭＳ 明朝";
        CFont font;
        font.CreateFontIndirect(lf);
        dc.SelectObject(&font);
        int y = 200;
        for (const auto& c : cases) {
            dc.TextOut(300, y, std::string("Name : ") + c.text + "  Length");
            y += 150;
        }
        dc.SelectObject(static_cast<CFont*>(nullptr));
    });
    EXPECT_EQ(printtest::ReaderComplaints(pdf), "");
    const auto texts = printtest::ReaderTexts(pdf);
    for (const auto& c : cases) {
        const QStringList readers =
            c.readers.isEmpty() ? QStringList{"poppler", "mupdf", "pypdf", "ghostscript", "pdfminer"} : c.readers;
        EXPECT_EQ(printtest::Misreaders(texts, "Name : " + QString::fromUtf8(c.text) + " Length", readers),
                  QStringList())
            << c.text;
    }
    EXPECT_TRUE(printtest::SearchFinds(pdf, QString::fromUtf8("\u0645\u0644\u0641_\u0639\u0631\u0628\u064A")));
}

TEST_F(PdfEngineTest, OneEmbeddedSubsetFontPerFaceForTheWholeJob)
{
    const std::string pdf = Draw(
        *std::make_unique<CPdfJobPrinter>(), "fonts.pdf",
        [](QPainter& painter, CDC& dc, int page) {
            CLogFont lf;
            lf.lfHeight = 70 + page;  // another size on every page
            lf.lfFaceName = "ＭＳ 明朝";
            CFont font;
            font.CreateFontIndirect(lf);
            dc.SelectObject(&font);
            dc.TextOut(300, 300, "Page " + std::to_string(page) + " 頁");
            dc.TextOutAscii(300, 400, "0123456789ABCDEF");
            dc.SelectObject(static_cast<CFont*>(nullptr));
            // The same face asked for by its own name.
            painter.setFont(QFont("IPAMincho", 20));
            painter.drawText(QPointF(300, 600), "IPAMincho");
        },
        3);
    EXPECT_EQ(printtest::ReaderComplaints(pdf), "");
    // One font for the ASCII codes, one (Identity-H) for the rest; different subsets,
    // different names.
    const QStringList fonts = printtest::PdfFonts(pdf).split('\n', Qt::SkipEmptyParts).mid(2);
    ASSERT_EQ(fonts.size(), 2) << fonts.join('\n').toStdString();
    EXPECT_TRUE(fonts[0].contains(QRegularExpression("\\+IPAMincho\\s+CID TrueType\\s+Custom\\s+yes yes yes")))
        << fonts[0].toStdString();
    EXPECT_TRUE(fonts[1].contains(QRegularExpression("\\+IPAMincho\\s+CID TrueType\\s+Identity-H\\s+yes yes yes")))
        << fonts[1].toStdString();
    EXPECT_NE(fonts[0].left(6), fonts[1].left(6));
    for (int page = 1; page <= 3; ++page)
        EXPECT_TRUE(printtest::PdfText(pdf, page).contains(QStringLiteral("Page %1 頁").arg(page)));
}

// Accented letters of DejaVu are made of other glyphs; a face stored as curves of another
// kind (Nimbus Sans, CFF) cannot be embedded as TrueType and is drawn as outlines.
TEST_F(PdfEngineTest, CompositeGlyphsAndFacesWithoutTrueTypeOutlines)
{
    struct Case {
        const char* family;
        bool embedded;
    };
    for (const Case& c : {Case{"DejaVu Sans", true}, Case{"Nimbus Sans", false}}) {
        SCOPED_TRACE(c.family);
        ASSERT_TRUE(QFontInfo(QFont(c.family)).family().startsWith(c.family));
        const auto [ours, qts] = DrawBoth([&](QPainter& painter, CDC&, int) {
            QFont font(c.family);
            font.setPixelSize(200);
            painter.setFont(font);
            painter.setPen(Qt::black);
            painter.drawText(QPointF(300, 600), QStringLiteral("Åéñ Ǻ"));
        });
        EXPECT_EQ(printtest::ReaderComplaints(ours), "");
        EXPECT_EQ(printtest::PdfFonts(ours).contains(c.family == std::string("DejaVu Sans") ? "DejaVuSans" : "Nimbus"),
                  c.embedded);
        if (c.embedded) {
            EXPECT_EQ(printtest::PdfText(ours, 1).trimmed(), QStringLiteral("Åéñ Ǻ"));
        }
        EXPECT_LT(
            printtest::ImageDifference(printtest::PdfPageImage(ours, 1, 150), printtest::PdfPageImage(qts, 1, 150)),
            0.05);
    }
}

// Fills, lines, a thick stroked ellipse, an image, a gradient and a clipped fill, as Qt
// draws them.
TEST_F(PdfEngineTest, ShapesImagesAndClipsShowWhereQtsEngineDrawsThem)
{
    QImage image(4, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            image.setPixel(x, y, (x + y) % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const auto [ours, qts] = DrawBoth([&](QPainter& painter, CDC& dc, int) {
        dc.FillSolidRect(600, 600, 1200, 600, RGB(0, 0, 0));
        CPen pen(PS_SOLID, 1, RGB(0, 0, 0));
        dc.SelectObject(&pen);
        dc.MoveTo(600, 1500);
        dc.LineTo(3000, 1500);
        dc.MoveTo(600, 1500);
        dc.LineTo(3000, 3000);
        dc.SelectObject(static_cast<CPen*>(nullptr));
        painter.setPen(QPen(Qt::black, 30));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QRectF(2400, 600, 1200, 600));
        painter.setRenderHint(QPainter::LosslessImageRendering);  // else Qt's engine writes JPEG
        painter.drawImage(QRectF(600, 3600, 1200, 1200), image);
        QLinearGradient gradient(QPointF(3600, 0), QPointF(4600, 0));
        gradient.setColorAt(0, Qt::black);
        gradient.setColorAt(1, Qt::white);
        painter.fillRect(QRectF(3600, 1800, 1000, 600), gradient);
        painter.save();
        painter.setClipRect(QRect(2400, 3600, 600, 600));
        painter.fillRect(QRect(2000, 3200, 2000, 2000), Qt::black);
        painter.restore();
        painter.fillRect(QRect(600, 5000, 1200, 600), QColor(0, 0, 0, 128));  // half see-through
    });
    EXPECT_EQ(printtest::ReaderComplaints(ours), "");
    const QImage a = printtest::PdfPageImage(ours, 1, 150);
    const QImage b = printtest::PdfPageImage(qts, 1, 150);
    EXPECT_LT(printtest::ImageDifference(a, b), 0.05);
    // Drawn at 600 dpi, seen at 150 dpi: a quarter of every distance.
    auto grey = [&](int x, int y) { return qGray(a.pixel(x / 4, y / 4)); };
    EXPECT_LT(grey(1200, 900), 20);  // the filled box
    EXPECT_GT(grey(1200, 1300), 235);  // blank paper below it
    EXPECT_LT(grey(2405, 900), 20);  // the ellipse's stroke
    EXPECT_GT(grey(3000, 900), 235);  // and its empty inside
    EXPECT_GT(grey(750, 3750), 235);  // the image's white square
    EXPECT_LT(grey(1050, 3750), 20);  // and its black neighbour
    EXPECT_LT(grey(2700, 3900), 20);  // the fill inside its clip
    EXPECT_GT(grey(2200, 3400), 235);  // and none outside
    EXPECT_GT(grey(3100, 4300), 235);
    // A gradient, which the painter turns into something the engine draws.
    EXPECT_LT(grey(3650, 2100), 40);
    EXPECT_GT(grey(4550, 2100), 215);
    EXPECT_NEAR(grey(4100, 2100), 128, 40);
    EXPECT_NEAR(grey(1200, 5300), 127, 10);
}

TEST_F(PdfEngineTest, OutputThatCannotBeWrittenFailsTheJob)
{
    struct Case {
        std::string output;
        bool begins;
    };
    for (const Case& c : {Case{m_tmp / "missing/folder/out.pdf", false}, Case{"/dev/full", true}}) {
        SCOPED_TRACE(c.output);
        CPdfJobPrinter printer;
        ConfigurePdfPrinter(printer, 600);
        printer.setOutputFileName(QString::fromStdString(c.output));
        QPainter painter;
        ASSERT_EQ(painter.begin(&printer), c.begins);
        if (!c.begins)
            continue;
        {
            CDC dc(&painter, &printer);
            dc.TextOut(100, 100, "text");
        }
        EXPECT_FALSE(painter.end());
    }
    // Not painting: no page to begin.
    CPdfJobPrinter idle;
    EXPECT_FALSE(idle.newPage());
}

TEST(PdfWriter, PdfCompleteOnlyWithItsTrailer)
{
    TempFolder tmp("output_pdf");
    const struct {
        std::string text;
        bool complete;
    } cases[] = {
        {"", false},
        {"%PDF-1.4\n1 0 obj\n", false},
        {"%PDF-1.4\n" + std::string(5000, 'x') + "\nstartxref\n123\n%%EOF\n", true},
        {"%PDF-1.4\n%%EOF\n" + std::string(5000, 'x'), false},  // the trailer must close the file
    };
    for (const auto& c : cases) {
        std::ofstream(tmp.Path() / "t.pdf", std::ios::binary | std::ios::trunc) << c.text;
        EXPECT_EQ(PdfComplete(tmp.File("t.pdf")), c.complete) << c.text.substr(0, 20);
    }
    EXPECT_FALSE(PdfComplete(tmp.File("missing.pdf")));
}

}  // namespace
