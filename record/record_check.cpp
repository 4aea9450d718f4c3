#include "record/record_check.h"

#include "record/pdf_document_text.h"
#include "textfile/dump_format.h"
#include "textfile/error_text.h"
#include "textfile/input_file.h"
#include "textfile/sha256.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

std::string Num(std::int64_t n)
{
    return std::to_string(n);
}

std::string Quoted(std::string_view text)
{
    return "«" + std::string(text.substr(0, 160)) + (text.size() > 160 ? "…" : "") + "»";
}

std::string PageWords(std::int64_t pdfPage)
{
    return "PDF の " + Num(pdfPage) + " ページ目";
}

// A file the record is compared with: regular files only, read where asked.
class CComparedFile {
public:
    ~CComparedFile()
    {
        if (m_fd >= 0)
            CloseInputFile(m_fd);
    }
    // Regular files only, as every input.
    std::error_code Open(const std::string& path) { return OpenInputFile(path, &m_fd, &m_length); }
    std::int64_t Length() const { return m_length; }
    // Up to size bytes from offset; fewer where the file ends. -1 on a read error.
    std::int64_t Read(std::int64_t offset, unsigned char* buffer, std::size_t size)
    {
        std::size_t got = 0;
        while (got < size) {
            const ssize_t r =
                ::pread(m_fd, buffer + got, size - got, static_cast<off_t>(offset + static_cast<std::int64_t>(got)));
            if (r < 0 && errno == EINTR)
                continue;
            if (r < 0)
                return -1;
            if (r == 0)
                break;
            got += static_cast<std::size_t>(r);
        }
        return static_cast<std::int64_t>(got);
    }

private:
    int m_fd = -1;
    std::int64_t m_length = 0;
};

// One printed file's pages being read.
class CFileReading {
public:
    CFileReading(FileCheck& check, CRecordSink* sink, std::size_t index) : m_check(check), m_sink(sink), m_index(index)
    {
    }

    // Opens the file to compare with, when one is given; a failure is the file's, not the record's.
    void OpenFile()
    {
        if (m_check.file.empty())
            return;
        if (const std::error_code err = m_compared.Open(m_check.file)) {
            m_check.fileProblem = "読めません (cannot read): " + CommandLineErrorText(err);
            return;
        }
        m_hasFile = true;
    }

    // Checks one page's lines; the problem with it, empty when none.
    std::string Page(std::int64_t pdfPage, std::int64_t page, const std::vector<std::string>& lines);

    void Finish()
    {
        m_check.read = true;
        m_check.digest = CSha256::Hex(m_digest.Final());
        if (m_hasFile && !m_check.differs && m_check.fileProblem.empty() &&
            m_compared.Length() != m_check.recorded.length)
            m_check.fileProblem = "長さが違います (the length differs): 記録 " + Num(m_check.recorded.length) +
                                  " バイト、ファイル " + Num(m_compared.Length()) + " バイト";
    }

private:
    std::string Header(std::int64_t pdfPage, std::int64_t page);
    void Compare(std::int64_t pdfPage, std::int64_t page, const std::vector<DumpLine>& dump);

    FileCheck& m_check;
    CRecordSink* m_sink;
    std::size_t m_index;
    CSha256 m_digest;
    CComparedFile m_compared;
    bool m_hasFile = false;
    std::vector<DumpLine> m_lines;
    std::vector<std::string> m_headerLines;
};

std::string CFileReading::Header(std::int64_t pdfPage, std::int64_t page)
{
    const RecordedFile& f = m_check.recorded;
    const std::string expected = PageHeaderText(PageHeader{f.path, f.length, page, f.pageTotal});
    if (HeaderShows(m_headerLines, expected))
        return {};
    const std::string shown = PageHeaderLines(m_headerLines);
    // Not the header this page should have: what differs.
    PageHeader header;
    if (!ParsePageHeader(m_headerLines, header))
        return PageWords(pdfPage) + "の見出しを読めません (cannot read the page header): " + Quoted(shown);
    if (header.page != page && header.length == f.length && header.pageTotal == f.pageTotal)
        return PageWords(pdfPage) + "は " + Num(page) + " / " + Num(f.pageTotal) + " ページのはずが " +
               Num(header.page) + " / " + Num(header.pageTotal) +
               " ページです (a page missing, doubled or out of order)";
    return PageWords(pdfPage) +
           "の見出しがメタデータと違います (the page header disagrees with the metadata): " + Quoted(shown) +
           "、メタデータでは " + Quoted(expected);
}

std::string CFileReading::Page(std::int64_t pdfPage, std::int64_t page, const std::vector<std::string>& lines)
{
    const RecordedFile& f = m_check.recorded;
    if (f.length == 0) {
        // An empty file's one page is blank.
        return lines.empty() ? std::string()
                             : PageWords(pdfPage) +
                                   "は空のファイルのページなのに文字があります (the blank page of an "
                                   "empty file holds text): " +
                                   Quoted(lines.front());
    }
    if (lines.empty())
        return PageWords(pdfPage) + "に文字がありません。白紙か、文字が図形に変えられています (no text on the page: "
                                    "blank, or its text turned into outlines)";
    const auto column =
        std::find_if(lines.begin(), lines.end(), [](const std::string& l) { return IsColumnHeader(l); });
    if (column == lines.end())
        return PageWords(pdfPage) + "はダンプのページではありません (no column header): " +
               Quoted(lines.empty() ? std::string() : lines.front());
    m_headerLines.assign(lines.begin(), column);
    if (std::string problem = Header(pdfPage, page); !problem.empty())
        return problem;

    // Every line in its place: offsets one after another from the page's first byte, each
    // line 32 bytes but the file's last.
    const std::int64_t start = (page - 1) * kBytesPerPage;
    const std::int64_t end = std::min(page * kBytesPerPage, f.length);
    const auto expected = static_cast<std::size_t>((end - start + kDumpBytesPerLine - 1) / kDumpBytesPerLine);
    const std::size_t shown = static_cast<std::size_t>(lines.end() - column - 1);
    m_lines.resize(std::min(shown, expected));
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const std::string& text = *(column + 1 + static_cast<std::ptrdiff_t>(i));
        DumpLine& line = m_lines[i];
        const std::string where = PageWords(pdfPage) + "の " + Num(static_cast<std::int64_t>(i + 1)) + " 行目";
        if (!ParseDumpLine(text, line))
            return where + "を読めません (cannot read the dump line): " + Quoted(text);
        const std::int64_t offset = start + static_cast<std::int64_t>(i) * kDumpBytesPerLine;
        if (line.offset != static_cast<std::uint64_t>(offset))
            return where + "のオフセットが " + DumpLineText(DumpLine{static_cast<std::uint64_t>(offset), 0, {}}) +
                   "のはずが " + DumpLineText(DumpLine{line.offset, 0, {}}) + "です (an offset out of order)";
        const std::int64_t count = std::min<std::int64_t>(kDumpBytesPerLine, end - offset);
        if (line.count != count)
            return where + "は " + Num(count) + " バイトのはずが " + Num(line.count) +
                   " バイトです (a line of the wrong length)";
    }
    if (shown != expected)
        return PageWords(pdfPage) + "のダンプ行は " + Num(static_cast<std::int64_t>(expected)) + " 行のはずが " +
               Num(static_cast<std::int64_t>(shown)) + " 行です (lines missing or too many)";

    unsigned char bytes[kBytesPerPage];
    std::size_t size = 0;
    for (const DumpLine& line : m_lines) {
        std::memcpy(bytes + size, line.bytes, static_cast<std::size_t>(line.count));
        size += static_cast<std::size_t>(line.count);
    }
    m_digest.Update(bytes, size);
    std::string why;
    if (m_sink != nullptr && !m_sink->Write(m_index, bytes, size, why))
        return why;
    Compare(pdfPage, page, m_lines);
    return {};
}

void CFileReading::Compare(std::int64_t pdfPage, std::int64_t page, const std::vector<DumpLine>& dump)
{
    if (!m_hasFile || m_check.differs || !m_check.fileProblem.empty() || dump.empty())
        return;
    unsigned char found[kBytesPerPage];
    const auto start = static_cast<std::int64_t>(dump.front().offset);
    const std::size_t want = (dump.size() - 1) * kDumpBytesPerLine + static_cast<std::size_t>(dump.back().count);
    const std::int64_t got = m_compared.Read(start, found, want);
    if (got < 0) {
        m_check.fileProblem = "読めません (cannot read): " + CommandLineErrorText(SystemError(errno));
        return;
    }
    for (std::size_t i = 0; i < dump.size(); ++i) {
        const DumpLine& line = dump[i];
        for (int k = 0; k < line.count; ++k) {
            const std::size_t at = i * kDumpBytesPerLine + static_cast<std::size_t>(k);
            if (static_cast<std::int64_t>(at) < got && found[at] == line.bytes[k])
                continue;
            Difference& d = m_check.difference;
            d.pdfPage = pdfPage;
            d.page = page;
            d.line = static_cast<int>(i + 1);
            d.offset = line.offset + static_cast<std::uint64_t>(k);
            d.shown = line;
            d.found.offset = line.offset;
            const std::int64_t have = got - static_cast<std::int64_t>(i * kDumpBytesPerLine);
            d.found.count = static_cast<int>(std::clamp<std::int64_t>(have, 0, line.count));
            std::memcpy(d.found.bytes, found + i * kDumpBytesPerLine, static_cast<std::size_t>(d.found.count));
            m_check.differs = true;
            return;
        }
    }
}

// The files the record names, from its metadata: the XMP fields where it has them (no name
// can reach another field there), which the Subject, when it is there, must agree with;
// else the Subject.
std::vector<RecordedFile> RecordedFiles(const CPdfDocumentText& doc, std::string& why)
{
    std::vector<RecordedFile> files = ParseXmp(doc.Metadata(), why);
    if (files.empty() && !why.empty()) {
        why = "Vantrel の記録として読めません (not readable as a record of Vantrel's): " + why;
        return {};
    }
    const std::string subject = doc.Info("/Subject");
    std::string subjectWhy;
    std::int64_t more = 0;
    const std::vector<RecordedFile> said = ParseSubject(subject, subjectWhy, &more);
    if (!files.empty()) {
        const bool agree =
            subject.empty() || (!said.empty() && said.size() + static_cast<std::size_t>(more) == files.size() &&
                                std::equal(said.begin(), said.end(), files.begin(), SameRecordedFile));
        if (!agree)
            why = "Subject が XMP の記録の欄と食い違っています (the Subject disagrees with the record's XMP fields)";
        return agree ? files : std::vector<RecordedFile>();
    }
    if (subject.empty())
        why = "Vantrel の記録ではありません: XMP に記録の欄がなく、Subject もありません (not a record of Vantrel's: "
              "no record fields in its XMP, no Subject)";
    else if (said.empty())
        why = "Vantrel の記録ではありません (not a record of Vantrel's): " + subjectWhy;
    else if (more != 0)
        why = "Subject は " + Num(more) +
              " ファイル分を省いていて、XMP の記録の欄がありません (the Subject leaves "
              "files out and there are no XMP fields)";
    return more == 0 ? said : std::vector<RecordedFile>();
}

}  // namespace

bool RecordCheck::AllMatch() const
{
    return problem.empty() && !usage && !files.empty() &&
           std::all_of(files.begin(), files.end(), [](const FileCheck& f) { return f.Matches(); });
}

RecordCheck CheckRecord(const std::string& pdf, const std::vector<std::string>& files, CRecordSink* sink)
{
    RecordCheck check;
    CPdfDocumentText doc;
    std::string detail;
    switch (doc.Open(pdf, detail)) {
    case CPdfDocumentText::Opened::Ok:
        break;
    case CPdfDocumentText::Opened::Encrypted:
        check.problem = "暗号化された PDF は記録として読めません (an encrypted PDF is no record)";
        return check;
    case CPdfDocumentText::Opened::Unreadable:
        check.problem = "読めません (cannot read): " + detail;
        return check;
    case CPdfDocumentText::Opened::Damaged:
        check.problem = "PDF を読めません。壊れているか、途中で切れています (cannot read the PDF: damaged or "
                        "truncated): " +
                        detail;
        return check;
    }
    const std::vector<RecordedFile> recorded = RecordedFiles(doc, check.problem);
    if (recorded.empty())
        return check;
    if (files.size() > recorded.size()) {
        check.usage = true;
        check.problem = "記録は " + Num(static_cast<std::int64_t>(recorded.size())) +
                        " ファイル分です。比べるファイルが多すぎます (more files given than the record holds)";
        return check;
    }
    if (sink != nullptr && !sink->Prepare(recorded, check.problem))
        return check;

    std::vector<std::string> lines;
    std::string why;
    std::int64_t pdfPage = 0;
    for (std::size_t i = 0; i < recorded.size(); ++i) {
        FileCheck& file = check.files.emplace_back();
        file.recorded = recorded[i];
        file.firstPdfPage = pdfPage + 1;
        file.file = i < files.size() ? files[i] : std::string();
        CFileReading reading(file, sink, i);
        reading.OpenFile();
        for (std::int64_t page = file.recorded.firstPage; page <= file.recorded.lastPage; ++page) {
            ++pdfPage;
            if (!doc.NextPage(lines, why)) {
                check.problem = why.empty() ? "PDF は " + Num(pdfPage - 1) +
                                                  " ページで終わっていて、メタデータの挙げるページが足りません (pages "
                                                  "missing)"
                                            : PageWords(pdfPage) + "を読めません (cannot read): " + why;
                return check;
            }
            check.problem = reading.Page(pdfPage, page, lines);
            if (!check.problem.empty())
                return check;
        }
        reading.Finish();
    }
    if (doc.NextPage(lines, why) || !why.empty())
        check.problem = PageWords(pdfPage + 1) + "はメタデータの挙げないページです (a page the metadata does not name)";
    return check;
}
