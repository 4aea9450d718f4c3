// vantrel-dump --pdf: the printed pages of each file into one PDF, drawn by the printer's
// page code.

#include "printing/dump_test_util.h"
#include "printing/print_test_util.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using dumptest::TempDir;

namespace {

int RunPdf(const QStringList& args, QString* err = nullptr)
{
    QProcess p;
    p.start(VANTREL_DUMP_EXE, args);
    p.waitForFinished(60000);
    if (err != nullptr)
        *err = QString::fromUtf8(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class DumpPdfTest : public ::testing::Test {
protected:
    QString File(const std::string& name, std::size_t size)
    {
        const std::string path = m_dir.path().toStdString() + "/" + name;
        dumptest::WriteBytes(path, dumptest::PatternBytes(size));
        return QString::fromStdString(path);
    }
    std::string Out() const { return m_dir.path().toStdString() + "/out.pdf"; }

    // Short folder names keep the headers on the paper.
    QTemporaryDir m_dir{QDir::tempPath() + "/vdXXXXXX"};
};

TEST_F(DumpPdfTest, EveryFileFromItsPageOneInOnePdf)
{
    const QString a = File("a.bin", 3 * 2560 - 5);
    const QString empty = File("empty.bin", 0);
    const QString b = File("b.bin", 100);
    ASSERT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), a, empty, b}), 0);
    ASSERT_EQ(printtest::PdfPages(Out()), 5);
    EXPECT_TRUE(printtest::PdfText(Out(), 1).simplified().contains(a + " Length : 00001DFB(7675) Page : 1 / 3"));
    EXPECT_TRUE(printtest::PdfText(Out(), 3).simplified().contains("Page : 3 / 3"));
    EXPECT_TRUE(printtest::PdfText(Out(), 4).trimmed().isEmpty());  // the empty file's blank page
    EXPECT_TRUE(printtest::PdfText(Out(), 5).simplified().contains(b + " Length : 00000064(100) Page : 1 / 1"));
    EXPECT_TRUE(printtest::PdfFonts(Out()).contains("IPAMincho"));
    // The printer's geometry at the PDF's 1200 dpi: x 15 mm, first line 8 mm.
    const std::vector<printtest::Word> words = printtest::PdfWords(Out(), 1);
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words.front().text, "Name");
    EXPECT_NEAR(words.front().xMin, 708 * 72.0 / 1200, 72.0 / 1200);
    EXPECT_NEAR(words.front().yMin, 377 * 72.0 / 1200, 0.5);
}

TEST_F(DumpPdfTest, PagesTakesARangeOfOneFile)
{
    const QString twelve = File("twelve.bin", 12 * 2560);
    ASSERT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), "--pages", "3-5", twelve}), 0);
    ASSERT_EQ(printtest::PdfPages(Out()), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(printtest::PdfText(Out(), i + 1).simplified().contains(QString("Page : %1 / 12").arg(i + 3)));
}

TEST_F(DumpPdfTest, BadRangesAndArgumentsWriteNothing)
{
    const QString twelve = File("twelve.bin", 12 * 2560);
    const QString other = File("other.bin", 10);
    const QString out = QString::fromStdString(Out());
    const struct {
        QStringList args;
        int code;
    } cases[] = {
        {{"--pdf", out, "--pages", "5-3", twelve}, 2},
        {{"--pdf", out, "--pages", "3-13", twelve}, 2},
        {{"--pdf", out, "--pages", "0-3", twelve}, 2},
        {{"--pdf", out, "--pages", "3", twelve}, 2},
        {{"--pdf", out, "--pages", "3-5", twelve, other}, 2},
        {{"--pages", "3-5", twelve}, 2},
        {{"--pdf"}, 2},
        {{"--pdf", out}, 2},
    };
    for (const auto& c : cases) {
        QString err;
        EXPECT_EQ(RunPdf(c.args, &err), c.code) << c.args.join(' ').toStdString();
        EXPECT_FALSE(err.isEmpty());
        EXPECT_FALSE(QFile::exists(out)) << c.args.join(' ').toStdString();
    }
}

TEST_F(DumpPdfTest, MissingFileIsSaidAndTheOthersStillComeOut)
{
    const QString a = File("a.bin", 10);
    QString err;
    EXPECT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), m_dir.path() + "/gone.bin", a}, &err), 1);
    EXPECT_TRUE(err.contains(QString::fromUtf8("ファイルオープン失敗[") + m_dir.path() + "/gone.bin]"));
    EXPECT_EQ(printtest::PdfPages(Out()), 1);
}

}  // namespace
