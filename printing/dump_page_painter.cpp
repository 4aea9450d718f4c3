#include "printing/dump_page_painter.h"

#include "framework/qt_text.h"

#include <QFontMetricsF>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>
#include <string_view>

namespace {

constexpr double kLeftMm = 15.0;
constexpr double kTopMm = 8.0;
constexpr double kPitchMm = 3.0;
// The header keeps the left margin on the right of the A4 sheet too: beyond it a printer
// may lose the text at the paper's edge.
constexpr double kHeaderWidthMm = 210.0 - 2 * kLeftMm;

constexpr std::string_view kHead = "Name : ";
constexpr std::string_view kLengthField = "  Length : ";
constexpr std::string_view kPageField = "  Page : ";

// A page header in the pieces it may wrap between: the path's (a character with its
// marks, or a written-out "<...>"), then the two fields, each without its two blanks.
struct HeaderPieces {
    QStringList pieces;
    qsizetype fields = 0;  // index of the "Length" field
    QString widestPage;  // "Page : n / n": the widest the page field gets in this file
};

bool IsBlank(const QString& piece)
{
    return piece == QLatin1String(" ") || piece == QChar(0x3000);
}

bool EndsFolder(const QString& piece)
{
    return piece == QLatin1String("/") || piece == QLatin1String("\\");
}

// False for a line that is no page header. The fields are the last "Length" and what
// follows it: whatever a name holds comes before them.
bool SplitHeader(const std::string& line, HeaderPieces& header)
{
    const std::size_t lengthAt = line.rfind(kLengthField);
    const std::size_t pageAt = lengthAt == std::string::npos ? lengthAt : line.find(kPageField, lengthAt);
    if (line.rfind(kHead, 0) != 0 || lengthAt < kHead.size() || pageAt == std::string::npos)
        return false;
    const QString path = ToQt(std::string_view(line).substr(kHead.size(), lengthAt - kHead.size()));
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, path);
    for (qsizetype start = 0; start < path.size();) {
        qsizetype end = graphemes.toNextBoundary();
        // A written-out piece is one, with any marks its ">" carries.
        if (path[start] == QLatin1Char('<')) {
            const qsizetype close = path.indexOf(QLatin1Char('>'), start);
            while (end >= 0 && end <= close)
                end = graphemes.toNextBoundary();
        }
        if (end < 0)
            end = path.size();
        header.pieces << path.mid(start, end - start);
        start = end;
    }
    header.fields = header.pieces.size();
    const QString page = ToQt(std::string_view(line).substr(pageAt + 2));
    header.pieces << ToQt(std::string_view(line).substr(lengthAt + 2, pageAt - lengthAt - 2)) << page;
    const QString total = page.section(QLatin1String(" / "), -1);
    header.widestPage = QLatin1String("Page : ") + total + QLatin1String(" / ") + total;
    return true;
}

// The rows a header takes: the piece each row begins with, and the cell of their font.
struct HeaderRows {
    std::vector<qsizetype> starts;
    int cell = 0;
};

// The pieces' widths in the page's font; a smaller font scales them.
struct PieceWidths {
    std::vector<double> widths;  // the page field at its widest
    double blanks = 0;  // the two before a field
};

// The pieces from..to as a row shows them, with page as the page field.
QString RowText(const HeaderPieces& header, qsizetype from, qsizetype to, const QString& page)
{
    QString text;
    for (qsizetype i = from; i < to; ++i) {
        if (i >= header.fields && i > from)
            text += QLatin1String("  ");
        text += i + 1 == header.pieces.size() ? page : header.pieces[i];
    }
    return text;
}

// Breaks the pieces into at most maxRows rows of width `room` (after "Name : " on the
// first, under the path on the others): never after a blank, which would vanish at a
// row's end; after a folder's separator, when asked, if that keeps the row at least half
// full. Empty when they need more rows.
std::vector<qsizetype> BreakRows(const HeaderPieces& header, const PieceWidths& base, double scale,
                                 const QFontMetricsF& fm, double room, int maxRows, bool atFolders)
{
    const qsizetype n = header.pieces.size();
    std::vector<qsizetype> starts;
    for (qsizetype from = 0; from < n;) {
        if (static_cast<int>(starts.size()) == maxRows)
            return {};
        starts.push_back(from);
        qsizetype to = from;
        for (double x = 0; to < n; ++to) {
            x += (base.widths[to] + (to >= header.fields && to > from ? base.blanks : 0)) * scale;
            if (x > room)
                break;
        }
        // Measured whole, as it is drawn: shaping across pieces (joined Arabic letters, say)
        // makes a row narrower or wider than its pieces.
        const auto fits = [&](qsizetype end) {
            return fm.horizontalAdvance(RowText(header, from, end, header.widestPage)) <= room;
        };
        while (to < n && fits(to + 1))
            ++to;
        if (to == from)
            return {};  // one piece wider than a row
        if (to < n) {
            qsizetype cut = to;
            while (cut > from + 1 && cut <= header.fields && IsBlank(header.pieces[cut - 1]))
                --cut;
            for (qsizetype j = cut; atFolders && j > from + (to - from) / 2 && j <= header.fields; --j) {
                if (EndsFolder(header.pieces[j - 1])) {
                    cut = j;
                    break;
                }
            }
            to = cut;
        }
        while (to > from + 1 && !fits(to))
            --to;
        from = to;
    }
    return starts;
}

// The rows of a header too long for one line, on the header's line and the empty line
// under it: two rows of the page's font when they hold it, else more and smaller rows in
// the same band, so that every character and both fields stay on the page.
HeaderRows LayOutHeader(CDC* pDC, const DumpPageLayout& layout, const HeaderPieces& header, double width)
{
    HeaderRows rows;
    CLogFont lf = layout.font;
    PieceWidths base;
    const QFontMetricsF fm(FontCellForLogFont(lf, pDC->AttribDevice()).font, pDC->AttribDevice());
    for (qsizetype i = 0; i < header.pieces.size(); ++i)
        base.widths.push_back(fm.horizontalAdvance(RowText(header, i, i + 1, header.widestPage)));
    const double total =
        fm.horizontalAdvance(ToQt(kHead) + RowText(header, 0, header.pieces.size(), header.widestPage));
    base.blanks = fm.horizontalAdvance(QLatin1String("  "));
    // count rows, each 2 / count of the page's font, hold about count * count / 2 lines:
    // start at the fewest that may hold the header.
    for (int count = std::max(2, static_cast<int>(std::sqrt(2 * total / width))); rows.starts.empty(); ++count) {
        lf.lfHeight = layout.h * 2 / count;
        if (lf.lfHeight < 1) {
            lf.lfHeight = layout.h;  // no font is small enough: the header as it is
            rows.starts = {0};
            break;
        }
        const QFontMetricsF small(FontCellForLogFont(lf, pDC->AttribDevice()).font, pDC->AttribDevice());
        const double room = width - small.horizontalAdvance(ToQt(kHead));
        const double scale = static_cast<double>(lf.lfHeight) / layout.h;
        rows.starts = BreakRows(header, base, scale, small, room, count, true);
        if (rows.starts.empty())
            rows.starts = BreakRows(header, base, scale, small, room, count, false);
    }
    rows.cell = lf.lfHeight;
    return rows;
}

// What the pages of a file share: their headers differ in the page number only, so the
// rest is measured, and laid out when it does not fit, on the first of them.
struct HeaderCache {
    std::string key;  // the header without its page number, the font's cell, the resolution
    double rest = 0;  // its width, and each digit's
    double digits[10] = {};
    bool laidOut = false;  // header and rows hold it
    HeaderPieces header;
    HeaderRows rows;  // none: it is no page header
};

// Draws the header when it is too long for its line; false when it fits, or is none,
// and is drawn as it is.
bool DrawLongHeader(CDC* pDC, const DumpPageLayout& layout, const std::vector<std::string>& lines)
{
    if (lines.empty() || (lines.size() > 1 && !lines[1].empty()))
        return false;
    const std::string& line = lines[0];
    const std::size_t pageAt = line.rfind(kPageField);
    const std::size_t from = pageAt == std::string::npos ? pageAt : pageAt + kPageField.size();
    const std::size_t to = from == std::string::npos ? from : line.find(' ', from);
    if (to == std::string::npos || to == from || line.find_first_not_of("0123456789", from) != to)
        return false;
    const double width = MmToPixels(pDC, kHeaderWidthMm);
    thread_local HeaderCache cache;
    std::string key = line.substr(0, from) + line.substr(to);
    key += "|" + std::to_string(layout.h) + "|" + std::to_string(pDC->GetDeviceCaps(LOGPIXELSY));
    if (key != cache.key) {
        const QFontMetricsF fm(pDC->CurrentFont().font, pDC->AttribDevice());
        cache.rest = fm.horizontalAdvance(ToQt(line.substr(0, from) + line.substr(to)));
        for (int d = 0; d < 10; ++d)
            cache.digits[d] = fm.horizontalAdvance(QChar('0' + d));
        cache.laidOut = false;
        cache.key = std::move(key);
    }
    double w = cache.rest;
    for (std::size_t i = from; i < to; ++i)
        w += cache.digits[line[i] - '0'];
    if (w <= width)
        return false;
    if (!cache.laidOut) {
        cache.header = HeaderPieces();
        cache.rows = SplitHeader(line, cache.header) ? LayOutHeader(pDC, layout, cache.header, width) : HeaderRows();
        cache.laidOut = true;
    }
    const HeaderPieces& header = cache.header;
    const HeaderRows& rows = cache.rows;
    if (rows.starts.empty())
        return false;
    CLogFont lf = layout.font;
    lf.lfHeight = rows.cell;
    CFont font;
    font.CreateFontIndirect(lf);
    CFont* oldFont = pDC->SelectObject(&font);
    const int indent = pDC->GetTextExtent(std::string(kHead)).cx;
    const QString page = ToQt(std::string_view(line).substr(pageAt + 2));
    for (std::size_t r = 0; r < rows.starts.size(); ++r) {
        const qsizetype first = rows.starts[r];
        const qsizetype end = r + 1 < rows.starts.size() ? rows.starts[r + 1] : header.pieces.size();
        const QString text = (r == 0 ? ToQt(kHead) : QString()) + RowText(header, first, end, page);
        pDC->TextOutAscii(layout.x + (r == 0 ? 0 : indent), layout.y0 + static_cast<int>(r) * rows.cell, FromQt(text));
    }
    pDC->SelectObject(oldFont);
    return true;
}

}  // namespace

double MmToPixels(CDC* pDC, double mm)
{
    return pDC->GetDeviceCaps(LOGPIXELSY) * mm * 0.03937007874015748;
}

DumpPageLayout DumpPageLayoutFor(CDC* pDC)
{
    DumpPageLayout layout;
    layout.x = static_cast<int>(MmToPixels(pDC, kLeftMm));
    layout.y0 = static_cast<int>(MmToPixels(pDC, kTopMm));
    layout.h = static_cast<int>(MmToPixels(pDC, kPitchMm));
    layout.font.lfHeight = layout.h;
    layout.font.lfCharSet = DEFAULT_CHARSET;
    layout.font.lfFaceName = "ＭＳ 明朝";
    return layout;
}

void CDumpPagePainter::Prepare(CDC* pDC)
{
    m_layout = DumpPageLayoutFor(pDC);
    m_font.CreateFontIndirect(m_layout.font);
    m_bPrepared = true;
}

void CDumpPagePainter::Draw(CDC* pDC, const std::vector<std::string>& lines)
{
    CFont* oldFont = pDC->SelectObject(&m_font);
    // Every line lies on blank paper, so the opaque box TextOut would fill under it
    // paints nothing new.
    const int oldMode = pDC->SetBkMode(TRANSPARENT);
    const bool wrapped = DrawLongHeader(pDC, m_layout, lines);
    int y = m_layout.y0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lines[i].empty() && !(i == 0 && wrapped))
            pDC->TextOutAscii(m_layout.x, y, lines[i]);
        y += m_layout.h;
    }
    pDC->SetBkMode(oldMode);
    pDC->SelectObject(oldFont);
}

void DrawDumpPage(CDC* pDC, const std::vector<std::string>& lines)
{
    CDumpPagePainter painter;
    painter.Prepare(pDC);
    painter.Draw(pDC, lines);
}
