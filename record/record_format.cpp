#include "record/record_format.h"

#include "record/bidi_order.h"
#include "record/pdf_cmap.h"
#include "textfile/dump_format.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace {

// A cursor over one line of text, taking it apart from the left.
class CReader {
public:
    explicit CReader(std::string_view text) : m_text(text) {}

    bool Literal(std::string_view literal)
    {
        if (!m_text.starts_with(literal))
            return false;
        m_text.remove_prefix(literal.size());
        return true;
    }
    // A decimal number of 1 to 18 digits, no sign.
    bool Decimal(std::int64_t& value)
    {
        std::size_t n = 0;
        while (n < m_text.size() && m_text[n] >= '0' && m_text[n] <= '9')
            ++n;
        if (n == 0 || n > 18)
            return false;
        std::from_chars(m_text.data(), m_text.data() + n, value);
        m_text.remove_prefix(n);
        return true;
    }
    // from to to upper-case (or, with lower, lower-case) hexadecimal digits.
    bool Hex(std::size_t from, std::size_t to, std::uint64_t& value, bool lower = false)
    {
        std::size_t n = 0;
        while (n < m_text.size() && n < to && IsHexDigit(m_text[n], lower))
            ++n;
        if (n < from || (n < m_text.size() && IsHexDigit(m_text[n], lower)))
            return false;
        value = 0;
        for (std::size_t i = 0; i < n; ++i)
            value = value << 4 | static_cast<std::uint64_t>(DigitValue(m_text[i]));
        m_text.remove_prefix(n);
        return true;
    }
    std::string_view Rest() const { return m_text; }
    bool AtEnd() const { return m_text.empty(); }

    static bool IsHexDigit(char c, bool lower)
    {
        return (c >= '0' && c <= '9') || (lower ? c >= 'a' && c <= 'f' : c >= 'A' && c <= 'F');
    }
    static int DigitValue(char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; }

private:
    std::string_view m_text;
};

// "Length: N bytes; [Modified: time; ]Pages: a-b / n; SHA-256 of C bytes from offset O: hex";
// rest is what follows.
bool ParseSubjectFields(std::string_view text, RecordedFile& file, std::string_view& rest)
{
    CReader r(text);
    if (!r.Literal("Length: ") || !r.Decimal(file.length) || !r.Literal(" bytes; "))
        return false;
    if (r.Literal("Modified: ")) {
        const std::size_t end = r.Rest().find("; ");
        if (end == std::string_view::npos)
            return false;
        r = CReader(r.Rest().substr(end + 2));
    }
    std::uint64_t ignored = 0;
    if (!r.Literal("Pages: ") || !r.Decimal(file.firstPage) || !r.Literal("-") || !r.Decimal(file.lastPage) ||
        !r.Literal(" / ") || !r.Decimal(file.pageTotal) || !r.Literal("; SHA-256 of ") || !r.Decimal(file.count) ||
        !r.Literal(" bytes from offset ") || !r.Decimal(file.offset) || !r.Literal(": "))
        return false;
    file.sha256 = std::string(r.Rest().substr(0, 64));
    if (!r.Hex(64, 64, ignored, true))
        return false;
    rest = r.Rest();
    return true;
}

// One line: the fields, then "; File: " and the path, which may hold anything but a line
// break; or, as records printed before put it, "File: ", the path and then the fields,
// whose start is the last "; Length: " the fields follow.
bool ParseSubjectLine(std::string_view line, RecordedFile& file)
{
    std::string_view rest;
    if (line.starts_with("Length: ")) {
        if (!ParseSubjectFields(line, file, rest) || !rest.starts_with("; File: "))
            return false;
        file.path = std::string(rest.substr(8));
        return true;
    }
    const std::size_t tail = line.rfind("; Length: ");
    if (!line.starts_with("File: ") || tail == std::string_view::npos || tail < 6 ||
        !ParseSubjectFields(line.substr(tail + 2), file, rest) || !rest.empty())
        return false;
    file.path = std::string(line.substr(6, tail - 6));
    return true;
}

// The numbers of one file agree with one another as the dump makes them.
bool Consistent(const RecordedFile& f)
{
    if (f.length < 0 || f.pageTotal != PageCount(f.length) || f.firstPage < 1 || f.firstPage > f.lastPage ||
        f.lastPage > f.pageTotal)
        return false;
    const std::int64_t start = f.length == 0 ? 0 : (f.firstPage - 1) * kBytesPerPage;
    const std::int64_t end = f.lastPage * kBytesPerPage < f.length ? f.lastPage * kBytesPerPage : f.length;
    return f.offset == start && f.count == end - start;
}

}  // namespace

bool SameRecordedFile(const RecordedFile& a, const RecordedFile& b)
{
    return a.path == b.path && a.length == b.length && a.firstPage == b.firstPage && a.lastPage == b.lastPage &&
           a.pageTotal == b.pageTotal && a.offset == b.offset && a.count == b.count && a.sha256 == b.sha256;
}

std::vector<RecordedFile> ParseSubject(std::string_view subject, std::string& why, std::int64_t* more)
{
    std::vector<RecordedFile> files;
    if (more != nullptr)
        *more = 0;
    while (!subject.empty()) {
        const std::size_t end = subject.find('\n');
        const std::string_view line = subject.substr(0, end);
        subject = end == std::string_view::npos ? std::string_view() : subject.substr(end + 1);
        // What a Subject too long for a PDF/A string left out, on its last line.
        CReader cut(line);
        std::int64_t left = 0;
        if (subject.empty() && !files.empty() && cut.Literal("... ") && cut.Decimal(left) && cut.Literal(" more") &&
            cut.AtEnd() && more != nullptr) {
            *more = left;
            break;
        }
        RecordedFile file;
        if (!ParseSubjectLine(line, file)) {
            why = "Subject の行が Vantrel の形ではありません (a line of its Subject is not Vantrel's): " +
                  std::string(line.substr(0, 200));
            return {};
        }
        if (!Consistent(file)) {
            why = "Subject の数が食い違っています (the numbers of its Subject disagree): " +
                  std::string(line.substr(0, 200));
            return {};
        }
        files.push_back(std::move(file));
    }
    if (files.empty())
        why = "Subject が印刷したファイルを挙げていません (its Subject names no printed file)";
    return files;
}

std::string PageHeaderText(const PageHeader& header)
{
    char tail[128];
    std::snprintf(tail, sizeof tail, "  Length : %08llX(%lld)  Page : %lld / %lld",
                  static_cast<unsigned long long>(header.length), static_cast<long long>(header.length),
                  static_cast<long long>(header.page), static_cast<long long>(header.pageTotal));
    return "Name : " + header.path + tail;
}

std::string PageHeaderLines(const std::vector<std::string>& rows)
{
    // A row that begins with a field left the field's two blanks at the break.
    std::string header;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (r > 0 && (rows[r].starts_with("Length : ") || rows[r].starts_with("Page : ")))
            header += "  ";
        header += rows[r];
    }
    return header;
}

namespace {

// Whether rows from..end show logical from pos on, each row laid out on its own.
bool RowsShow(const std::vector<std::string>& rows, std::size_t r, std::string_view logical, std::size_t pos)
{
    if (r == rows.size())
        return pos == logical.size();
    const std::string& row = rows[r];
    const bool field = r > 0 && (row.starts_with("Length : ") || row.starts_with("Page : "));
    for (const std::size_t blanks : {std::size_t{0}, std::size_t{2}}) {
        if (blanks != 0 && (!field || logical.substr(pos, 2) != "  "))
            continue;
        const std::size_t at = pos + blanks;
        // The algorithm moves characters, never adds or drops one: a row's text is as long
        // as what it shows.
        if (at + row.size() <= logical.size() && VisualOrder(logical.substr(at, row.size())) == row &&
            RowsShow(rows, r + 1, logical, at + row.size()))
            return true;
    }
    return false;
}

}  // namespace

bool HeaderShows(const std::vector<std::string>& rows, const std::string& header)
{
    return !rows.empty() && RowsShow(rows, 0, header, 0);
}

namespace {

constexpr std::string_view kRecordNamespace = "http://ns.kovalmeret.invalid/vantrel/record/1.0/";
constexpr std::string_view kRdfNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// The prefix an XML document binds to a namespace; empty when none.
std::string PrefixOf(std::string_view xml, std::string_view uri)
{
    for (std::size_t at = xml.find("xmlns:"); at != std::string_view::npos; at = xml.find("xmlns:", at + 6)) {
        const std::size_t equals = xml.find('=', at);
        if (equals == std::string_view::npos || equals + 2 >= xml.size())
            break;
        const char quote = xml[equals + 1];
        const std::size_t end = xml.find(quote, equals + 2);
        if ((quote == '"' || quote == '\'') && end != std::string_view::npos &&
            xml.substr(equals + 2, end - equals - 2) == uri)
            return std::string(xml.substr(at + 6, equals - at - 6));
    }
    return {};
}

// XML character data with its references resolved.
std::string XmlText(std::string_view text)
{
    std::string out;
    while (!text.empty()) {
        const std::size_t amp = text.find('&');
        out += text.substr(0, amp);
        if (amp == std::string_view::npos)
            break;
        const std::size_t semi = text.find(';', amp);
        const std::string_view name = text.substr(amp + 1, semi == std::string_view::npos ? 0 : semi - amp - 1);
        // &#NN; and &#xHH; by their code points; the five named ones.
        const bool hex = name.size() > 2 && name[0] == '#' && (name[1] == 'x' || name[1] == 'X');
        const std::string_view digits = hex ? name.substr(2) : name.substr(name.empty() ? 0 : 1);
        std::uint32_t code = 0;
        const auto [stop, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), code, hex ? 16 : 10);
        if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos") {
            out += name == "amp" ? '&' : name == "lt" ? '<' : name == "gt" ? '>' : name == "quot" ? '"' : '\'';
        } else if (name.starts_with("#") && !digits.empty() && ec == std::errc() &&
                   stop == digits.data() + digits.size() && code <= 0x10FFFF) {
            AppendUtf8(static_cast<char32_t>(code), out);
        } else {
            out += '&';  // not a reference: taken as it stands
            text.remove_prefix(amp + 1);
            continue;
        }
        text.remove_prefix(semi + 1);
    }
    return out;
}

// The items of the sequence in the element prefix:name, in order; none when it is missing.
std::vector<std::string> SeqItems(std::string_view xml, const std::string& element, const std::string& rdf)
{
    std::vector<std::string> items;
    const std::string open = "<" + element, close = "</" + element + ">";
    std::size_t at = xml.find(open);
    while (at != std::string_view::npos && at + open.size() < xml.size() && xml[at + open.size()] != '>' &&
           xml[at + open.size()] != ' ')
        at = xml.find(open, at + 1);
    const std::size_t end = at == std::string_view::npos ? at : xml.find(close, at);
    if (end == std::string_view::npos)
        return items;
    std::string_view body = xml.substr(at, end - at);
    const std::string li = "<" + rdf + ":li", liEnd = "</" + rdf + ":li>";
    for (std::size_t from = body.find(li); from != std::string_view::npos; from = body.find(li, from)) {
        const std::size_t start = body.find('>', from);
        if (start == std::string_view::npos)
            break;
        if (body[start - 1] == '/') {  // <rdf:li/>: an empty item
            items.emplace_back();
            from = start;
            continue;
        }
        const std::size_t stop = body.find(liEnd, start);
        if (stop == std::string_view::npos)
            break;
        items.push_back(XmlText(body.substr(start + 1, stop - start - 1)));
        from = stop;
    }
    return items;
}

}  // namespace

std::vector<RecordedFile> ParseXmp(std::string_view xmp, std::string& why)
{
    why.clear();
    const std::string prefix = PrefixOf(xmp, kRecordNamespace);
    if (prefix.empty())
        return {};
    const std::string rdf = PrefixOf(xmp, kRdfNamespace);
    const char* fields[] = {"File", "Length", "FirstPage", "LastPage", "PageTotal", "FirstByte", "ByteCount", "SHA256"};
    std::vector<std::vector<std::string>> values;
    for (const char* field : fields)
        values.push_back(SeqItems(xmp, prefix + ":" + field, rdf));
    if (std::all_of(values.begin(), values.end(), [](const auto& column) { return column.empty(); }))
        return {};  // the namespace, but none of its fields
    std::vector<RecordedFile> files(values.front().size());
    const auto number = [](const std::string& text, std::int64_t& value) {
        CReader r(text);
        return r.Decimal(value) && r.AtEnd();
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        RecordedFile& f = files[i];
        bool ok = true;
        for (const auto& column : values)
            ok = ok && column.size() == files.size();
        ok = ok && number(values[1][i], f.length) && number(values[2][i], f.firstPage) &&
             number(values[3][i], f.lastPage) && number(values[4][i], f.pageTotal) && number(values[5][i], f.offset) &&
             number(values[6][i], f.count);
        std::uint64_t ignored = 0;
        CReader digest(values[7][i]);
        if (!ok || values[7][i].size() != 64 || !digest.Hex(64, 64, ignored, true) || !Consistent(f)) {
            why = "XMP の記録の欄が壊れているか食い違っています (the record's XMP fields are broken or disagree)";
            return {};
        }
        f.path = values[0][i];
        f.sha256 = values[7][i];
    }
    if (files.empty())
        why = "XMP の記録の欄が揃っていません (the record's XMP fields are incomplete)";
    return files;
}

bool ParsePageHeader(const std::vector<std::string>& lines, PageHeader& header)
{
    const std::string line = PageHeaderLines(lines);
    if (!line.starts_with("Name : "))
        return false;
    const std::size_t tail = line.rfind("  Length : ");
    if (tail == std::string::npos || tail < 7)
        return false;
    header.path = line.substr(7, tail - 7);
    CReader r(std::string_view(line).substr(tail));
    std::uint64_t hex = 0;
    return r.Literal("  Length : ") && r.Hex(8, 16, hex) && r.Literal("(") && r.Decimal(header.length) &&
           static_cast<std::uint64_t>(header.length) == hex && r.Literal(")  Page : ") && r.Decimal(header.page) &&
           r.Literal(" / ") && r.Decimal(header.pageTotal) && r.AtEnd();
}

bool IsColumnHeader(std::string_view line)
{
    return line == kDumpColumnHeader;
}

namespace {

// The value of each upper-case hexadecimal digit, -1 for any other byte.
struct HexValues {
    signed char value[256];
    constexpr HexValues() : value{}
    {
        for (int c = 0; c < 256; ++c)
            value[c] = c >= '0' && c <= '9'   ? static_cast<signed char>(c - '0')
                       : c >= 'A' && c <= 'F' ? static_cast<signed char>(c - 'A' + 10)
                                              : static_cast<signed char>(-1);
    }
};
constexpr HexValues kHex;

int HexValue(char c)
{
    return kHex.value[static_cast<unsigned char>(c)];
}

}  // namespace

bool ParseDumpLine(std::string_view line, DumpLine& dump)
{
    // The offset, as many digits as the writer gives it (8, more past 4 GiB), then the
    // bytes, each two digits after one space, a second space before the 1st and the 17th.
    std::size_t digits = 0;
    dump.offset = 0;
    for (; digits < line.size() && HexValue(line[digits]) >= 0; ++digits) {
        if (digits == 16)
            return false;
        dump.offset = dump.offset << 4 | static_cast<std::uint64_t>(HexValue(line[digits]));
    }
    if (static_cast<int>(digits) != dumptext::OffsetDigits(dump.offset))
        return false;
    const char* p = line.data() + digits;
    const char* end = line.data() + line.size();
    dump.count = 0;
    while (p < end && dump.count < kDumpBytesPerLine) {
        const bool wide = dump.count % 16 == 0;
        if (end - p < (wide ? 4 : 3) || *p++ != ' ' || (wide && *p++ != ' '))
            return false;
        const int high = HexValue(p[0]), low = HexValue(p[1]);
        if (high < 0 || low < 0)
            return false;
        dump.bytes[dump.count++] = static_cast<unsigned char>(high << 4 | low);
        p += 2;
    }
    return dump.count > 0 && p == end;
}

std::string DumpLineText(const DumpLine& dump)
{
    char text[16 + 3 * 32 + 4];
    int n = std::snprintf(text, sizeof text, "%0*llX ", dumptext::OffsetDigits(dump.offset),
                          static_cast<unsigned long long>(dump.offset));
    for (int i = 0; i < dump.count; ++i)
        n += std::snprintf(text + n, sizeof text - static_cast<std::size_t>(n), i == 16 ? "  %02X" : " %02X",
                           dump.bytes[i]);
    return std::string(text, static_cast<std::size_t>(n));
}

std::string NameFromPrinted(std::string_view printed)
{
    // "<" always begins a piece written out: <U+XXXX> a character, <XX> a byte.
    std::string name;
    while (!printed.empty()) {
        const std::size_t at = printed.find('<');
        name += printed.substr(0, at);
        if (at == std::string_view::npos)
            break;
        CReader r(printed.substr(at + 1));
        std::uint64_t c = 0;
        if (r.Literal("U+") && r.Hex(4, 6, c) && r.Literal(">") && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) {
            AppendUtf8(static_cast<char32_t>(c), name);
            printed = r.Rest();
            continue;
        }
        CReader byte(printed.substr(at + 1));
        if (byte.Hex(2, 2, c) && byte.Literal(">")) {
            name.push_back(static_cast<char>(c));
            printed = byte.Rest();
            continue;
        }
        name += '<';  // not written out by the record: taken as it stands
        printed.remove_prefix(at + 1);
    }
    return name;
}

std::string RestoredName(const std::string& path)
{
    // A Windows path: a drive letter and colon, or a share's two backslashes.
    const bool windows =
        (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) || path.starts_with("\\\\");
    const std::size_t cut = path.find_last_of(windows ? "/\\" : "/");
    std::string name = cut == std::string::npos ? path : path.substr(cut + 1);
    if (name.empty() || name == "." || name == ".." || name.find('\0') != std::string::npos)
        return {};
    return name;
}
