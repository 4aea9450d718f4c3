// Records read back: every file printed by vantrel-dump --pdf or by the window's print to
// a PDF file verifies against itself and restores byte for byte; a damaged record is
// refused with its page and line or the reason, and nothing is written; a record
// re-written by Ghostscript or qpdf still verifies.

#include "common/qt_events.h"
#include "common/temp_folder.h"
#include "filelist/vantrel_view.h"
#include "framework/message_box.h"
#include "framework/print_loop.h"
#include "printing/dump_test_util.h"
#include "printing/print_range_dlg.h"
#include "printing/view_printing.h"
#include "printing/work_file.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <regex>

namespace {

enum class Via { Tool, Window };
enum class Change {
    None,
    NotOurs,
    Encrypted,
    Truncated,
    HexDigit,
    PageMissing,
    PagesSwapped,
    OtherName,
    SubjectOnly,
    Huge,
    Gs,
    Qpdf
};

struct Row {
    const char* what;
    std::vector<std::pair<std::string, std::size_t>> files;
    std::pair<int, int> pages;  // a range, {0, 0} for all
    Via via;
    Change change;
    int verified;  // --verify's exit status
    const char* said;  // in what it says
};

struct Outcome {
    int code = -1;
    std::string said;
};

using Args = std::vector<std::string>;

// Runs args (the program first) with names passed as bytes, whatever they hold; what it
// says comes back, its standard output goes to out when given. memory bounds its address space.
Outcome Program(const Args& args, rlim_t memory = RLIM_INFINITY, const std::string& out = {})
{
    int pipe[2];
    if (::pipe(pipe) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        const rlimit limit{memory, memory};
        ::setrlimit(RLIMIT_AS, &limit);
        const int to = out.empty() ? pipe[1] : ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(to, 1);
        ::dup2(pipe[1], 2);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipe[1]);
    Outcome outcome;
    char buffer[4096];
    for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
        outcome.said.append(buffer, static_cast<std::size_t>(n));
    ::close(pipe[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

Outcome Dump(Args args, rlim_t memory = RLIM_INFINITY)
{
    args.insert(args.begin(), VANTREL_DUMP_EXE);
    return Program(args, memory);
}

// The window's print of the one marked file to the PDF file printer, its range (or all
// pages) given in the range dialog.
void PrintInWindow(const TempFolder& tmp, const std::string& folder, std::pair<int, int> pages, const std::string& pdf)
{
    QPrinter printer(QPrinter::HighResolution);
    ConfigurePdfPrinter(printer, kPdfResolution);
    printer.setOutputFileName(QString::fromStdString(pdf));
    CVantrelView view;
    view.m_strFolder = folder;
    view.ListFolder();
    ASSERT_EQ(view.m_aFiles.size(), 1u);
    view.m_aFiles[0].nMark = 1;
    CWorkFile work(tmp.Str());
    CViewPrinting& printing = CViewPrinting::Of(&view);
    printing.SetWorkFile(&work);
    printing.SetPrinter(&printer);
    qttest::AnswerModal<CPrintRangeDlg>([pages](CPrintRangeDlg& dlg) {
        if (pages.first != 0) {
            dlg.findChildren<QRadioButton*>()[1]->click();
            dlg.FromEdit()->setText(QString::number(pages.first));
            dlg.ToEdit()->setText(QString::number(pages.second));
        }
        qobject_cast<QPushButton*>(dlg.Control(1))->click();
    });
    printing.OnPrintDump();
    qttest::RunEventsWhile(view.m_bPrinting, 1000);
    EXPECT_EQ(view.m_aFiles[0].nPrinted, 1);
}

// The record's own numbers, for a file made from it by hand.
std::string TrailerEntry(const std::string& pdf, const char* key)
{
    std::smatch m;
    const std::string tail = pdf.substr(pdf.size() - 300);
    return std::regex_search(tail, m, std::regex(std::string(key) + "\\s+(\\d+( 0 R)?)")) ? m[1].str() : "";
}

// The record grown to 2 GiB: a run of NULs (white space to a reader) and then an update
// whose cross-reference section leads back to the record's own.
void GrowTo2GiB(const std::string& pdf)
{
    const std::string bytes = dumptest::ReadAll(pdf);
    std::filesystem::resize_file(pdf, std::uintmax_t{2} << 30);
    const std::string update = "\nxref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size " + TrailerEntry(bytes, "/Size") +
                               " /Root " + TrailerEntry(bytes, "/Root") + " /Info " + TrailerEntry(bytes, "/Info") +
                               " /Prev " + TrailerEntry(bytes, "startxref") + " >>\nstartxref\n" +
                               std::to_string((std::uint64_t{2} << 30) + 1) + "\n%%EOF\n";
    std::ofstream(pdf, std::ios::binary | std::ios::app) << update;
}

// Turns the record into what the row says, with the tools a user has.
void ChangeRecord(const Row& row, const std::string& pdf, const TempFolder& tmp)
{
    const std::string qdf = tmp / "qdf.pdf";
    // The record uncompressed, text at to turned into the next character, put together again.
    // The record uncompressed, the character at each text's offset turned into the next one,
    // put together again.
    const auto edit = [&](const std::vector<std::pair<std::string, std::size_t>>& places) {
        ASSERT_EQ(Program({"qpdf", "--qdf", "--object-streams=disable", pdf, qdf}).code, 0);
        std::string bytes = dumptest::ReadAll(qdf);
        for (const auto& [text, to] : places) {
            const std::size_t at = bytes.find(text);
            ASSERT_NE(at, std::string::npos) << text;
            char& c = bytes[at + to];
            c = c == '9' ? 'A' : c == 'F' ? '0' : static_cast<char>(c + 1);
        }
        dumptest::WriteBytes(qdf, bytes);
        ASSERT_EQ(Program({"fix-qdf", qdf}, RLIM_INFINITY, pdf).code, 0);
    };
    const auto qpdf = [&](Args args) {
        const std::string out = tmp / "changed.pdf";
        args.insert(args.begin(), {"qpdf", pdf});
        args.push_back(out);
        ASSERT_LE(Program(args).code, 3);  // 3: done with warnings
        std::filesystem::rename(out, pdf);
    };
    switch (row.change) {
    case Change::None:
        break;
    case Change::NotOurs:
        Program({"gs", "-q", "-sDEVICE=pdfwrite", "-o", pdf, "-c",
                 "/Courier findfont 10 scalefont setfont 72 720 moveto (Name : a.bin) show showpage"});
        break;
    case Change::Encrypted:
        qpdf({"--encrypt", "", "owner", "256", "--"});
        break;
    case Change::Truncated:
        std::filesystem::resize_file(pdf, std::filesystem::file_size(pdf) * 2 / 3);
        break;
    case Change::HexDigit:  // the first digit of the second page's third line
        edit({{"(00000A40  ", 11}});
        break;
    case Change::PageMissing:
        qpdf({"--pages", ".", "1,3-z", "--"});
        break;
    case Change::PagesSwapped:
        qpdf({"--pages", ".", "1,3,2", "--"});
        break;
    case Change::OtherName:  // h.bin becomes i.bin in the Subject (UTF-16) and the XMP
        edit({{"0068002e00620069006e", 3}, {"h.bin</rdf:li></rdf:Seq></vantrel:File>", 0}});
        break;
    case Change::SubjectOnly:
        edit({{"0068002e00620069006e", 3}});
        break;
    case Change::Huge:
        GrowTo2GiB(pdf);
        break;
    case Change::Gs:
        Program({"gs", "-q", "-sDEVICE=pdfwrite", "-o", tmp / "gs.pdf", pdf});
        std::filesystem::rename(tmp / "gs.pdf", pdf);
        break;
    case Change::Qpdf:
        qpdf({"--object-streams=generate"});
        break;
    }
}

const Row kRows[] = {
    {"0 bytes", {{"empty.bin", 0}}, {}, Via::Tool, Change::None, 0, "0 バイト、ページ 1-1 / 1: 一致"},
    {"1 byte", {{"one.bin", 1}}, {}, Via::Tool, Change::None, 0, "一致"},
    {"2559 bytes", {{"a.bin", 2559}}, {}, Via::Tool, Change::None, 0, "一致"},
    {"2560 bytes", {{"a.bin", 2560}}, {}, Via::Tool, Change::None, 0, "一致"},
    {"2561 bytes", {{"a.bin", 2561}}, {}, Via::Tool, Change::None, 0, "ページ 1-2 / 2: 一致"},
    {"5 MB", {{"big.bin", 5000000}}, {}, Via::Tool, Change::None, 0, "一致"},
    {"window, 0 bytes", {{"empty.bin", 0}}, {}, Via::Window, Change::None, 0, "一致"},
    {"window, 1 byte", {{"one.bin", 1}}, {}, Via::Window, Change::None, 0, "一致"},
    {"window, 2559 bytes", {{"a.bin", 2559}}, {}, Via::Window, Change::None, 0, "一致"},
    {"window, 2560 bytes", {{"a.bin", 2560}}, {}, Via::Window, Change::None, 0, "一致"},
    {"window, 2561 bytes", {{"a.bin", 2561}}, {}, Via::Window, Change::None, 0, "一致"},
    {"window, 5 MB", {{"big.bin", 5000000}}, {}, Via::Window, Change::None, 0, "一致"},
    {"first page", {{"a.bin", 2561}}, {1, 1}, Via::Tool, Change::None, 0, "ページ 1-1 / 2 (オフセット 0 から 2560"},
    {"last page", {{"a.bin", 2561}}, {2, 2}, Via::Tool, Change::None, 0, "ページ 2-2 / 2 (オフセット 2560 から 1 "},
    {"middle", {{"a.bin", 7 * 2560 - 9}}, {3, 5}, Via::Tool, Change::None, 0, "(オフセット 5120 から 7680 バイト)"},
    {"window, first page", {{"a.bin", 2561}}, {1, 1}, Via::Window, Change::None, 0, "ページ 1-1 / 2"},
    {"window, last page", {{"a.bin", 2561}}, {2, 2}, Via::Window, Change::None, 0, "ページ 2-2 / 2"},
    {"window, middle", {{"a.bin", 7 * 2560 - 9}}, {3, 5}, Via::Window, Change::None, 0, "ページ 3-5 / 7"},
    {"Japanese", {{"記録 ファイル.bin", 3000}}, {}, Via::Tool, Change::None, 0, "記録 ファイル.bin: 3000"},
    {"Arabic", {{"سجل 2.bin", 3000}}, {}, Via::Tool, Change::None, 0, "سجل 2.bin: 3000"},
    {"Devanagari", {{"अभिलेख 2.bin", 3000}}, {}, Via::Tool, Change::None, 0, "अभिलेख 2.bin: 3000"},
    {"window, Devanagari", {{"अभिलेख.bin", 3000}}, {}, Via::Window, Change::None, 0, "一致"},
    {"window, Japanese", {{"記録.bin", 3000}}, {}, Via::Window, Change::None, 0, "一致"},
    {"window, Arabic", {{"سجل.bin", 3000}}, {}, Via::Window, Change::None, 0, "一致"},
    {"a name too long for the header's line",
     {{std::string(200, 'x') + ".bin", 3000}},
     {},
     Via::Tool,
     Change::None,
     0,
     "一致"},
    {"window, a name too long for the header's line",
     {{std::string(200, 'x') + ".bin", 3000}},
     {},
     Via::Window,
     Change::None,
     0,
     "一致"},
    {"bytes that are not UTF-8, and <",
     {{"bad\xFF<1>.bin", 100}},
     {},
     Via::Tool,
     Change::None,
     0,
     "bad<FF><U+003C>1>.bin: 100"},
    {"three files", {{"a.bin", 5000}, {"empty.bin", 0}, {"b.bin", 100}}, {}, Via::Tool, Change::None, 0, "b.bin: 100"},
    {"not Vantrel's", {{"h.bin", 7000}}, {}, Via::Tool, Change::NotOurs, 1, "Vantrel の記録ではありません"},
    {"encrypted", {{"h.bin", 7000}}, {}, Via::Tool, Change::Encrypted, 1, "暗号化された PDF"},
    {"truncated", {{"h.bin", 7000}}, {}, Via::Tool, Change::Truncated, 1, "途中で切れています"},
    {"a hex digit",
     {{"h.bin", 7000}},
     {},
     Via::Tool,
     Change::HexDigit,
     1,
     "PDF の 2 ページ目 (2 / 3 ページ) の 3 行目"},
    {"a page missing", {{"h.bin", 7000}}, {}, Via::Tool, Change::PageMissing, 1, "2 / 3 ページのはずが 3 / 3"},
    {"pages swapped", {{"h.bin", 7000}}, {}, Via::Tool, Change::PagesSwapped, 1, "2 / 3 ページのはずが 3 / 3"},
    {"header and metadata", {{"h.bin", 7000}}, {}, Via::Tool, Change::OtherName, 1, "見出しがメタデータと違います"},
    {"Subject and XMP",
     {{"h.bin", 7000}},
     {},
     Via::Tool,
     Change::SubjectOnly,
     1,
     "Subject が XMP の記録の欄と食い違って"},
    {"2 GiB", {{"h.bin", 7000}}, {}, Via::Tool, Change::Huge, 0, "一致"},
    {"Ghostscript", {{"記録.bin", 7000}}, {2, 3}, Via::Tool, Change::Gs, 0, "一致"},
    {"qpdf", {{"a.bin", 5000}, {"سجل.bin", 7000}}, {}, Via::Tool, Change::Qpdf, 0, "一致"},
};

TEST(RecordRoundTrip, VerifiesAndRestoresWhatWasPrintedAndRefusesDamage)
{
    SetMessageBoxHook([](const std::string&, unsigned) { return IDOK; });
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.what);
        TempFolder tmp(std::string("record_") + std::to_string(&row - kRows));
        const std::filesystem::path in = tmp.Path() / "in", out = tmp.Path() / "out";
        std::filesystem::create_directories(in);
        std::filesystem::create_directories(out);
        Args files;
        std::vector<std::string> bytes;
        for (const auto& [name, size] : row.files) {
            bytes.push_back(dumptest::PatternBytes(size, static_cast<unsigned>(files.size() + size)));
            dumptest::WriteBytes((in / name).string(), bytes.back());
            files.push_back((in / name).string());
        }
        const std::string pdf = tmp / "record.pdf";
        if (row.via == Via::Window) {
            PrintInWindow(tmp, in.string(), row.pages, pdf);
        } else {
            Args args{"--pdf", pdf};
            if (row.pages.first != 0)
                args.insert(args.end(),
                            {"--pages", std::to_string(row.pages.first) + "-" + std::to_string(row.pages.second)});
            args.insert(args.end(), files.begin(), files.end());
            ASSERT_EQ(Dump(args).code, 0);
        }
        ChangeRecord(row, pdf, tmp);

        // Read whole, the 2 GiB would not fit (AddressSanitizer reserves far more itself).
#if defined(__SANITIZE_ADDRESS__)
        const rlim_t memory = RLIM_INFINITY;
#else
        const rlim_t memory = row.change == Change::Huge ? rlim_t{512} << 20 : RLIM_INFINITY;
#endif
        Args verify{"--verify", pdf};
        verify.insert(verify.end(), files.begin(), files.end());
        const Outcome verified = Dump(verify, memory);
        EXPECT_EQ(verified.code, row.verified) << verified.said;
        EXPECT_NE(verified.said.find(row.said), std::string::npos) << verified.said;
        const Outcome restored = Dump({"--restore", pdf, out.string()}, memory);
        const auto written = std::distance(std::filesystem::directory_iterator(out), {});
        if (row.verified != 0) {
            EXPECT_EQ(restored.code, 1) << restored.said;
            EXPECT_EQ(written, 0);  // nor any temporary file
            continue;
        }
        EXPECT_EQ(restored.code, 0) << restored.said;
        EXPECT_EQ(written, static_cast<long>(row.files.size()));
        for (std::size_t i = 0; i < row.files.size(); ++i) {
            const std::size_t from = row.pages.first != 0 ? (row.pages.first - 1) * 2560u : 0;
            const std::size_t to = row.pages.first != 0 ? row.pages.second * 2560u : bytes[i].size();
            EXPECT_EQ(dumptest::ReadAll((out / row.files[i].first).string()), bytes[i].substr(from, to - from))
                << row.files[i].first;
        }
    }
    SetMessageBoxHook({});
}

// The record itself is no output, and a one-file record restores to the name given.
TEST(RecordRoundTrip, RestoresToAFileButNeverOverTheRecord)
{
    TempFolder tmp;
    const std::string file = tmp / "a.bin", pdf = tmp / "a.pdf";
    dumptest::WriteBytes(file, dumptest::PatternBytes(4000));
    ASSERT_EQ(Dump({"--pdf", pdf, file}).code, 0);
    const std::string before = dumptest::ReadAll(pdf);
    EXPECT_EQ(Dump({"--restore", pdf, pdf}).code, 2);
    EXPECT_EQ(dumptest::ReadAll(pdf), before);
    EXPECT_EQ(Dump({"--restore", pdf, tmp / "b.bin"}).code, 0);
    EXPECT_EQ(dumptest::ReadAll(tmp / "b.bin"), dumptest::ReadAll(file));
    EXPECT_EQ(Dump({"--verify", pdf, file, file}).code, 2);
}

}  // namespace
