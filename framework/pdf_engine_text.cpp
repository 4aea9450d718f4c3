// The text of CPdfEngine: shaped lines and runs of glyphs into the embedded fonts'
// strings, a glyph's character kept for its code so that the text reads back.

#include "framework/pdf_engine.h"

#include "framework/pdf_font.h"
#include "framework/pdf_number.h"

#include <QGlyphRun>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// How far a glyph may stand from where the widths put it before the string moves it:
// a hundredth of a printer pixel, far below what shows, so that rounded advances of
// proportional faces do not put a shift between every two glyphs.
constexpr double kDrift = 0.01;

}  // namespace

void CPdfEngine::drawTextItem(const QPointF& p, const QTextItem& textItem)
{
    const QString text = textItem.text();
    if (!text.isEmpty()) {
        DrawText(p, text, textItem.font(), m_pen.color());
    } else if (!m_bWarnedGlyphRun) {
        // A glyph run carries no text to shape again and no glyphs this engine can reach.
        m_bWarnedGlyphRun = true;
        qWarning("Vantrel's PDF writer does not draw glyph runs without text (QPainter::drawGlyphRun)");
    }
}

void CPdfEngine::DrawText(const QPointF& origin, const QString& text, const QFont& font, const QColor& color)
{
    QTextLayout layout(text, font, paintDevice());
    // Left to right whatever the text begins with, as the painter lays it out.
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    const QList<QGlyphRun> runs = layout.glyphRuns();
    const std::vector<std::vector<char32_t>> chars = GlyphCharacters(text, line, runs);
    // The whole line in the order of its places, face after face as it needs them:
    // some readers take text in the order it is drawn, and a fresh start between two
    // faces for a gap between words.
    const std::vector<GlyphPlace> places = GlyphPlaces(runs);
    std::vector<QRawFont> faces;
    std::vector<GlyphSpan> spans;
    std::vector<quint32> glyphs;
    std::vector<QPointF> positions;
    std::vector<char32_t> shown;
    for (const QGlyphRun& run : runs)
        faces.push_back(run.rawFont());
    for (const GlyphPlace& place : places) {
        const QGlyphRun& run = runs[static_cast<qsizetype>(place.run)];
        const auto i = static_cast<qsizetype>(place.glyph);
        if (spans.empty() || spans.back().font != &faces[place.run])
            spans.push_back({&faces[place.run], glyphs.size(), glyphs.size()});
        ++spans.back().to;
        glyphs.push_back(run.glyphIndexes()[i]);
        positions.push_back(origin + QPointF(run.positions()[i].x(), run.positions()[i].y() - line.ascent()));
        shown.push_back(chars[place.run][place.glyph]);
    }
    DrawLine(spans, glyphs, positions, shown, color);
}

std::vector<CPdfEngine::GlyphPlace> CPdfEngine::GlyphPlaces(const QList<QGlyphRun>& runs)
{
    std::vector<GlyphPlace> places;
    for (std::size_t r = 0; r < static_cast<std::size_t>(runs.size()); ++r) {
        const QList<QPointF> positions = runs[static_cast<qsizetype>(r)].positions();
        for (std::size_t i = 0; i < static_cast<std::size_t>(positions.size()); ++i)
            places.push_back({positions[static_cast<qsizetype>(i)].x(), r, i});
    }
    std::stable_sort(places.begin(), places.end(), [](const GlyphPlace& a, const GlyphPlace& b) { return a.x < b.x; });
    return places;
}

std::vector<std::vector<char32_t>> CPdfEngine::GlyphCharacters(const QString& text, const QTextLine& line,
                                                               const QList<QGlyphRun>& runs)
{
    // The character each glyph shows, so that it reads back as itself: also a glyph the
    // faces lack (.notdef, for every such character) or one from a fallback face.
    std::vector<std::vector<char32_t>> chars;
    std::size_t glyphCount = 0;
    for (const QGlyphRun& run : runs) {
        chars.emplace_back(static_cast<std::size_t>(run.glyphIndexes().size()), 0);
        glyphCount += chars.back().size();
    }
    const QList<uint> codePoints = text.toUcs4();
    const bool leftToRight = std::none_of(codePoints.begin(), codePoints.end(), [](uint c) {
        const QChar::Direction d = QChar::direction(c);
        return d == QChar::DirR || d == QChar::DirAL || d == QChar::DirAN || d == QChar::DirRLE || d == QChar::DirRLO ||
               d == QChar::DirRLI;
    });
    if (leftToRight && glyphCount == static_cast<std::size_t>(codePoints.size())) {
        // A glyph a character, left to right: the glyphs by their places are the
        // characters in order, whichever face each came from.
        const std::vector<GlyphPlace> places = GlyphPlaces(runs);
        for (std::size_t k = 0; k < places.size(); ++k)
            chars[places[k].run][places[k].glyph] = codePoints[static_cast<qsizetype>(k)];
        return chars;
    }
    // Else character by character, through the glyphs the layout gives each; a glyph
    // that no character has to itself reads as the replacement character.
    int at = 0;
    for (const uint c : codePoints) {
        const int length = c > 0xFFFF ? 2 : 1;
        for (const QGlyphRun& part : line.glyphRuns(at, length)) {
            for (std::size_t r = 0; r < chars.size(); ++r) {
                const QGlyphRun& run = runs[static_cast<qsizetype>(r)];
                if (run.rawFont() != part.rawFont() || part.glyphIndexes().isEmpty())
                    continue;
                const QList<quint32> glyphs = run.glyphIndexes();
                const QList<QPointF> positions = run.positions();
                for (std::size_t i = 0; i < chars[r].size(); ++i) {
                    const auto q = static_cast<qsizetype>(i);
                    if (chars[r][i] == 0 && glyphs[q] == part.glyphIndexes()[0] &&
                        positions[q] == part.positions()[0]) {
                        chars[r][i] = c;
                        break;
                    }
                }
            }
        }
        at += length;
    }
    return chars;
}

void CPdfEngine::DrawOutlines(const QRawFont& font, std::span<const quint32> glyphs, std::span<const QPointF> positions,
                              const QColor& color)
{
    QPainterPath outlines;
    for (std::size_t i = 0; i < glyphs.size() && i < positions.size(); ++i)
        outlines.addPath(font.pathForGlyph(glyphs[i]).translated(positions[i]));
    QPen pen = m_pen;
    QBrush brush = m_brush;
    m_pen = Qt::NoPen;
    m_brush = color;
    Paint(outlines, true);
    m_pen = pen;
    m_brush = brush;
}

void CPdfEngine::BeginText(const QColor& color)
{
    BeginClip();
    if (!m_bInText) {
        m_content += "BT\n";
        m_bInText = true;
        m_nTextFont = -1;  // a text object starts with no font chosen
    }
    SetFill(color);
}

bool CPdfEngine::DrawAsciiLine(const QRawFont& font, const std::array<quint32, 128>& glyphOf, const QPointF& origin,
                               double advance, std::string_view text, const QColor& color)
{
    if (m_state != QPrinter::Active || text.empty() || color.alpha() == 0)
        return true;
    if (state != nullptr)
        syncState();
    const int index = FontIndex(font);
    FontEntry& entry = m_fonts[static_cast<std::size_t>(index)];
    CPdfFont& pdf = *entry.font;
    if (!pdf.IsEmbeddable())
        return false;
    // Each glyph must be its character's own one-byte code, all of one width: then the
    // line is its text, spaced evenly. A character is checked once for its glyph.
    const double width = pdf.Width(glyphOf[static_cast<unsigned char>(text.front())]);
    for (const char c : text) {
        const auto ch = static_cast<unsigned char>(c);
        const quint32 glyph = glyphOf[ch];
        if (entry.asciiGlyph[ch] == glyph && pdf.Width(glyph) == width)
            continue;
        CPdfFont::Code code;
        if (!pdf.CodeFor(glyph, ch, &code) || code.wide || code.value != ch || pdf.Width(glyph) != width)
            return false;
        entry.asciiGlyph[ch] = glyph;
    }
    if (AllClipped())
        return true;
    BeginText(color);
    const double size = font.pixelSize();
    if (m_nTextFont != 2 * index || m_textSize != size) {
        m_content += "/F" + std::to_string(UseFont(index, false)) + " ";
        AppendPdfNumber(m_content, size);
        m_content += " Tf\n";
        m_nTextFont = 2 * index;
        m_textSize = size;
    }
    // A line under the one before moves from it; the first of a text object is placed.
    if (m_bLineOrigin && m_lineMatrix == m_matrix) {
        AppendPdfNumber(m_content, origin.x() - m_lineOrigin.x());
        m_content += ' ';
        AppendPdfNumber(m_content, m_lineOrigin.y() - origin.y());
        m_content += " Td\n";
    } else {
        AppendPdfMatrix(m_content, QTransform(1, 0, 0, -1, origin.x(), origin.y()) * m_matrix);
        m_content += "Tm\n";
    }
    m_bLineOrigin = true;
    m_lineOrigin = origin;
    m_lineMatrix = m_matrix;
    if (text.size() > 1) {
        double tc = std::round((advance - width * size / 1000.0) * 1e6) / 1e6;
        if (std::abs(tc) < 1e-6)
            tc = 0;
        if (tc != m_tc) {
            AppendPdfNumber(m_content, tc);
            m_content += " Tc\n";
            m_tc = tc;
        }
    }
    m_content += '(';
    if (std::none_of(text.begin(), text.end(), [](char c) { return c == '(' || c == ')' || c == '\\'; })) {
        m_content += text;
    } else {
        for (const char c : text) {
            if (c == '(' || c == ')' || c == '\\')
                m_content += '\\';
            m_content += c;
        }
    }
    m_content += ") Tj\n";
    if (m_bClip)
        EndText();
    EndClip();
    return true;
}

void CPdfEngine::DrawGlyphs(const QRawFont& font, std::span<const quint32> glyphs, std::span<const QPointF> positions,
                            std::span<const char32_t> chars, const QColor& color)
{
    const GlyphSpan span{&font, 0, glyphs.size()};
    DrawLine(std::span<const GlyphSpan>(&span, 1), glyphs, positions, chars, color);
}

void CPdfEngine::DrawLine(std::span<const GlyphSpan> spans, std::span<const quint32> glyphs,
                          std::span<const QPointF> positions, std::span<const char32_t> chars, const QColor& color)
{
    if (m_state != QPrinter::Active || glyphs.empty() || positions.size() < glyphs.size() || color.alpha() == 0)
        return;
    if (state != nullptr)
        syncState();
    // Each glyph's face (-1: drawn as outlines), its size and its advance as the width
    // arrays give it.
    m_lineFace.assign(glyphs.size(), -1);
    m_lineSize.resize(glyphs.size());
    m_lineAdvance.resize(glyphs.size());
    bool anyText = false;
    for (const GlyphSpan& span : spans) {
        const int index = FontIndex(*span.font);
        const CPdfFont& pdf = *m_fonts[static_cast<std::size_t>(index)].font;
        if (!pdf.IsEmbeddable()) {
            DrawOutlines(*span.font, glyphs.subspan(span.from, span.to - span.from),
                         positions.subspan(span.from, span.to - span.from), color);
            continue;
        }
        anyText = true;
        const double size = span.font->pixelSize();
        for (std::size_t k = span.from; k < span.to; ++k) {
            m_lineFace[k] = index;
            m_lineSize[k] = size;
            m_lineAdvance[k] = pdf.Width(glyphs[k]) * size / 1000.0;
        }
    }
    if (!anyText || AllClipped())
        return;
    BeginText(color);
    const std::size_t n = glyphs.size();
    for (std::size_t from = 0; from < n;) {
        if (m_lineFace[from] < 0) {
            ++from;
            continue;
        }
        // One row of strings for the glyphs on one baseline.
        std::size_t to = from + 1;
        while (to < n && positions[to].y() == positions[from].y())
            ++to;
        AppendPdfMatrix(m_content, QTransform(1, 0, 0, -1, positions[from].x(), positions[from].y()) * m_matrix);
        m_content += "Tm\n";
        m_bLineOrigin = false;
        const double tc = CharacterSpacing(positions, from, to);
        if (tc != m_tc) {
            AppendPdfNumber(m_content, tc);
            m_content += " Tc\n";
            m_tc = tc;
        }
        ShowGlyphs(glyphs, positions, chars, from, to);
        from = to;
    }
    if (m_bClip)
        EndText();
    EndClip();
}

double CPdfEngine::CharacterSpacing(std::span<const QPointF> positions, std::size_t from, std::size_t to)
{
    // Glyphs a fixed distance apart beyond their widths (fixed-pitch text whose advances
    // were rounded to pixels) take that distance as character spacing.
    if (to - from == 1)
        return m_tc;
    const double first = positions[from + 1].x() - positions[from].x() - m_lineAdvance[from];
    for (std::size_t k = from; k + 1 < to; ++k) {
        if (m_lineFace[k] < 0 || m_lineFace[k + 1] < 0 ||
            std::abs(positions[k + 1].x() - positions[k].x() - m_lineAdvance[k] - first) >= 1e-4)
            return 0;
    }
    const double tc = std::round(first * 1e6) / 1e6;
    return std::abs(tc) < 1e-6 ? 0 : tc;
}

void CPdfEngine::ShowGlyphs(std::span<const quint32> glyphs, std::span<const QPointF> positions,
                            std::span<const char32_t> chars, std::size_t from, std::size_t to)
{
    // The strings of one font in a row; a glyph not where the widths put it is moved by
    // a shift in the string, and a glyph of another font starts a new row.
    std::string& run = m_codes;
    run.clear();
    bool shifted = false;  // the row needs TJ
    bool open = false;  // a string is open
    const auto flush = [&] {
        if (run.empty())
            return;
        if (open)
            run += ')';
        if (shifted) {
            m_content += '[';
            m_content += run;
            m_content += "] TJ\n";
        } else {
            m_content += run;
            m_content += " Tj\n";
        }
        run.clear();
        shifted = false;
        open = false;
    };
    const auto put = [&run](char c) {
        switch (c) {
        case '(':
        case ')':
        case '\\':
            run += '\\';
            break;
        case '\r':
            run += "\\r";
            return;
        default:
            break;
        }
        run += c;
    };
    double pen = positions[from].x();
    for (std::size_t k = from; k < to; ++k) {
        if (m_lineFace[k] < 0)
            continue;  // drawn as outlines: the next glyph's shift steps over it
        const int index = m_lineFace[k];
        CPdfFont::Code code;
        if (!m_fonts[static_cast<std::size_t>(index)].font->CodeFor(glyphs[k], k < chars.size() ? chars[k] : 0, &code))
            code = CPdfFont::Code{0, true};  // more glyphs of one face than codes: .notdef
        const int resource = 2 * index + (code.wide ? 1 : 0);
        const double size = m_lineSize[k];
        if (resource != m_nTextFont || size != m_textSize) {
            UseFont(index, code.wide);
            flush();
            m_content += "/F" + std::to_string(resource) + " ";
            AppendPdfNumber(m_content, size);
            m_content += " Tf\n";
            m_nTextFont = resource;
            m_textSize = size;
        }
        const double off = positions[k].x() - pen;
        if (k > from && std::abs(off) > kDrift) {
            const double shift = std::round(-off / size * 1000 * 1000) / 1000;
            if (open)
                run += ')';
            open = false;
            AppendPdfNumber(run, shift, 3);
            pen -= shift * size / 1000.0;
            shifted = true;
        }
        if (!open)
            run += '(';
        open = true;
        if (code.wide)
            put(static_cast<char>(code.value >> 8));
        put(static_cast<char>(code.value & 0xFF));
        pen += m_lineAdvance[k] + m_tc;
    }
    flush();
}

void CPdfEngine::EndText()
{
    if (m_bInText)
        m_content += "ET\n";
    m_bInText = false;
    m_bLineOrigin = false;
}
