// The text of CPdfEngine: shaped lines and runs of glyphs into the embedded fonts'
// strings, a glyph's character kept for its code so that the text reads back.

#include "pdf/pdf_engine.h"

#include "pdf/pdf_font.h"
#include "pdf/pdf_number.h"

#include <QGlyphRun>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>

namespace {

// How far a glyph may stand from where the widths put it before the string moves it:
// a hundredth of a printer pixel, far below what shows, so that rounded advances of
// proportional faces do not put a shift between every two glyphs.
constexpr double kDrift = 0.01;

// A glyph of a line as the layout gives it for a part of the line.
struct LineGlyph {
    QRawFont font;
    quint32 index;
    QPointF position;
    bool operator==(const LineGlyph&) const = default;
};

// Characters shown together, and their glyphs; hidden when none of them shows anything.
struct Cluster {
    std::u32string text;
    std::vector<LineGlyph> glyphs;
    bool hidden = true;
};

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
    const QList<uint> codePoints = text.toUcs4();
    const bool rightToLeft = std::any_of(codePoints.begin(), codePoints.end(), IsRightToLeft);
    bool simple = true;
    const std::vector<std::vector<GlyphText>> texts = GlyphTexts(codePoints, rightToLeft, line, runs, &simple);
    // The whole line in the order of its places, face after face as it needs them:
    // some readers take text in the order it is drawn, and a fresh start between two
    // faces for a gap between words.
    std::vector<GlyphPlace> places = GlyphPlaces(runs);
    if (rightToLeft) {
        // In reading order, each glyph where it shows: readers that take text in the
        // order it is drawn read it as written.
        std::stable_sort(places.begin(), places.end(), [&texts](const GlyphPlace& a, const GlyphPlace& b) {
            return texts[a.run][a.glyph].order < texts[b.run][b.glyph].order;
        });
    }
    std::vector<bool> boxes;
    const std::vector<QRawFont> faces = LineFaces(runs, font, &boxes);
    std::vector<GlyphSpan> spans;
    std::vector<quint32> glyphs;
    std::vector<QPointF> positions;
    std::vector<std::u32string> shown;
    double lastEnd = origin.x();  // where the last glyph with text on the baseline ends
    for (const GlyphPlace& place : places) {
        const QGlyphRun& run = runs[static_cast<qsizetype>(place.run)];
        const GlyphText& glyphText = texts[place.run][place.glyph];
        if (glyphText.hidden)
            continue;
        const auto i = static_cast<qsizetype>(place.glyph);
        if (spans.empty() || spans.back().font != &faces[place.run])
            spans.push_back({&faces[place.run], glyphs.size(), glyphs.size()});
        ++spans.back().to;
        // Boxes become the face's own box for a missing character, as wide as Qt's.
        const quint32 glyph = boxes[place.run] ? 0 : run.glyphIndexes()[i];
        const QPointF position = origin + QPointF(run.positions()[i].x(), run.positions()[i].y() - line.ascent());
        glyphs.push_back(glyph);
        positions.push_back(position);
        // A glyph off the baseline (a mark above its letter) is shown as its outline, its
        // characters on the baseline below it: readers take a glyph off the baseline for
        // another line.
        const bool offBaseline = std::abs(position.y() - origin.y()) > 0.01;
        shown.push_back(offBaseline ? std::u32string() : glyphText.text.substr(0, 1));
        // The other characters of its cluster, each on a glyph that shows nothing where
        // this one ends.
        QPointF carrier(position.x(), origin.y());
        if (!offBaseline && (glyphText.text.size() > 1 || !simple)) {
            const QList<QPointF> advance = faces[place.run].advancesForGlyphIndexes(QList<quint32>{glyph});
            carrier.rx() += advance.isEmpty() ? 0 : advance[0].x();
            lastEnd = carrier.x();
        } else if (offBaseline && lastEnd >= position.x() && lastEnd <= position.x() + faces[place.run].pixelSize()) {
            carrier.rx() = lastEnd;  // after the letter it stands on
        }
        for (std::size_t c = offBaseline ? 0 : 1; c < glyphText.text.size(); ++c) {
            ++spans.back().to;
            glyphs.push_back(CPdfFont::kCarrierGlyph);
            positions.push_back(carrier);
            shown.push_back(glyphText.text.substr(c, 1));
        }
    }
    if (!simple)
        SetAdvances(spans, glyphs, positions, shown);
    DrawLine(spans, glyphs, positions, shown, color);
}

std::vector<QRawFont> CPdfEngine::LineFaces(const QList<QGlyphRun>& runs, const QFont& font, std::vector<bool>* boxes)
{
    std::vector<QRawFont> faces;
    for (const QGlyphRun& run : runs) {
        faces.push_back(run.rawFont());
        boxes->push_back(faces.back().fontTable("head").isEmpty());
        if (boxes->back()) {
            // Drawn as the line's own face draws a character it lacks, every glyph of the
            // run, as Qt draws them all as boxes; each reads back as itself all the same.
            const QRawFont face = QRawFont::fromFont(QFont(font, paintDevice()));
            if (!face.fontTable("head").isEmpty())
                faces.back() = face;
            else
                boxes->back() = false;
        }
    }
    return faces;
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

namespace {

// Characters that show nothing (Unicode's default ignorables): a soft hyphen, zero-width
// spaces and joiners, the byte order mark, variation selectors, tags.
bool ShowsNothing(char32_t c)
{
    static constexpr std::pair<char32_t, char32_t> kRanges[] = {
        {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x061C, 0x061C}, {0x115F, 0x1160}, {0x17B4, 0x17B5},
        {0x180B, 0x180F},   {0x200B, 0x200F},   {0x202A, 0x202E}, {0x2060, 0x206F}, {0x3164, 0x3164},
        {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0}, {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3},
        {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
    };
    return std::any_of(std::begin(kRanges), std::end(kRanges),
                       [c](const auto& r) { return c >= r.first && c <= r.second; });
}

// A character shown with its neighbours, or not at all: then glyphs and characters do
// not pair off one to one.
bool JoinsOthers(char32_t c)
{
    const QChar::Category category = QChar::category(c);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing || ShowsNothing(c);
}

// A cluster's text stays within what a ToUnicode entry may hold (512 bytes).
constexpr std::size_t kMaxClusterText = 200;

// Characters the layout gives glyphs in common are one cluster. (The layout gives the
// glyphs of a part of a line inconsistently: one character of a cluster with all its
// glyphs, another with one, and places off by a character's advance after a soft hyphen.)
std::vector<Cluster> ClustersOf(const QList<uint>& codePoints, const QTextLine& line)
{
    std::vector<Cluster> clusters;
    std::vector<LineGlyph> glyphs;
    int at = 0;
    for (const uint c : codePoints) {
        const int length = c > 0xFFFF ? 2 : 1;
        glyphs.clear();
        for (const QGlyphRun& part : line.glyphRuns(at, length))
            for (qsizetype g = 0; g < part.glyphIndexes().size(); ++g)
                glyphs.push_back({part.rawFont(), part.glyphIndexes()[g], part.positions()[g]});
        at += length;
        const auto shared = [&glyphs](const LineGlyph& g) {
            return std::find(glyphs.begin(), glyphs.end(), g) != glyphs.end();
        };
        if (glyphs.empty() || clusters.empty() ||
            std::none_of(clusters.back().glyphs.begin(), clusters.back().glyphs.end(), shared)) {
            clusters.emplace_back();
        }
        Cluster& cluster = clusters.back();
        for (const LineGlyph& g : glyphs)
            if (std::find(cluster.glyphs.begin(), cluster.glyphs.end(), g) == cluster.glyphs.end())
                cluster.glyphs.push_back(g);
        cluster.text.push_back(c);
        cluster.hidden = cluster.hidden && ShowsNothing(c);
    }
    return clusters;
}

// The glyph of runs with glyph's face and number nearest where glyph stands, among those
// free says are free: its run and index, the number of runs when there is none.
std::pair<std::size_t, std::size_t> NearestGlyph(const QList<QGlyphRun>& runs, const LineGlyph& glyph,
                                                 const std::function<bool(std::size_t, std::size_t)>& free)
{
    std::pair<std::size_t, std::size_t> nearest{static_cast<std::size_t>(runs.size()), 0};
    double distance = 0;
    for (std::size_t r = 0; r < static_cast<std::size_t>(runs.size()); ++r) {
        const QGlyphRun& run = runs[static_cast<qsizetype>(r)];
        if (run.rawFont() != glyph.font)
            continue;
        for (std::size_t i = 0; i < static_cast<std::size_t>(run.glyphIndexes().size()); ++i) {
            const auto q = static_cast<qsizetype>(i);
            const double d = std::abs(run.positions()[q].x() - glyph.position.x());
            if (run.glyphIndexes()[q] == glyph.index && free(r, i) &&
                (nearest.first == static_cast<std::size_t>(runs.size()) || d < distance)) {
                nearest = {r, i};
                distance = d;
            }
        }
    }
    return nearest;
}

}  // namespace

bool CPdfEngine::IsRightToLeft(uint c)
{
    const QChar::Direction d = QChar::direction(c);
    return d == QChar::DirR || d == QChar::DirAL || d == QChar::DirAN || d == QChar::DirRLE || d == QChar::DirRLO ||
           d == QChar::DirRLI;
}

void CPdfEngine::SetAdvances(std::span<const GlyphSpan> spans, std::span<quint32> glyphs,
                             std::span<const QPointF> positions, std::span<const std::u32string> texts)
{
    // Each glyph with text advances to the next one on its baseline, when shaping put
    // that one well away from where the face's advance would (a quarter of the em).
    for (const GlyphSpan& span : spans) {
        const QRawFont& face = *span.font;
        const double size = face.pixelSize();
        for (std::size_t k = span.from; k < span.to; ++k) {
            if (texts[k].empty() || glyphs[k] == CPdfFont::kCarrierGlyph || size <= 0)
                continue;
            // The next glyph to its right (in the order drawn where two stand at one place):
            // right-to-left text is drawn in reading order.
            std::size_t next = glyphs.size();
            for (std::size_t j = 0; j < glyphs.size(); ++j) {
                const double x = positions[j].x();
                if (j != k && !texts[j].empty() && positions[j].y() == positions[k].y() &&
                    (x > positions[k].x() || (x == positions[k].x() && j > k)) &&
                    (next == glyphs.size() || x < positions[next].x()))
                    next = j;
            }
            if (next == glyphs.size())
                continue;
            const double distance = positions[next].x() - positions[k].x();
            const QList<QPointF> natural = face.advancesForGlyphIndexes(QList<quint32>{glyphs[k]});
            if (natural.isEmpty() || std::abs(distance - natural[0].x()) <= size / 4)
                continue;
            glyphs[k] =
                CPdfFont::WithAdvance(glyphs[k], static_cast<int>(std::lround(distance / size * face.unitsPerEm())));
        }
    }
}

std::vector<std::vector<CPdfEngine::GlyphText>> CPdfEngine::GlyphTexts(const QList<uint>& codePoints, bool rightToLeft,
                                                                       const QTextLine& line,
                                                                       const QList<QGlyphRun>& runs, bool* simple)
{
    // The text each glyph shows, so that it reads back as itself: also a glyph the faces
    // lack (.notdef, for every such character) or one from a fallback face.
    std::vector<std::vector<GlyphText>> texts;
    std::size_t glyphCount = 0;
    for (const QGlyphRun& run : runs) {
        texts.emplace_back(static_cast<std::size_t>(run.glyphIndexes().size()));
        glyphCount += texts.back().size();
    }
    if (!rightToLeft && glyphCount == static_cast<std::size_t>(codePoints.size()) &&
        std::none_of(codePoints.begin(), codePoints.end(), JoinsOthers)) {
        // A glyph a character, left to right: the glyphs by their places are the
        // characters in order, whichever face each came from.
        const std::vector<GlyphPlace> places = GlyphPlaces(runs);
        for (std::size_t k = 0; k < places.size(); ++k)
            texts[places[k].run][places[k].glyph].text.assign(1, codePoints[static_cast<qsizetype>(k)]);
        return texts;
    }
    *simple = false;
    // Else cluster by cluster (see ClustersOf): its characters go to its glyphs in order,
    // the last glyph taking those left over (DrawText puts them on glyphs that show
    // nothing). Characters that show nothing join the cluster before them (or after, at
    // the start), and their own glyphs are not drawn.
    const std::vector<Cluster> clusters = ClustersOf(codePoints, line);
    std::u32string* last = nullptr;  // the text of the last glyph that is drawn
    std::u32string pending;  // characters that show nothing before any such glyph
    GlyphText* spare = nullptr;  // a glyph not drawn that could carry them
    std::vector<GlyphText*> found;
    for (const Cluster& cluster : clusters) {
        found.clear();
        for (const LineGlyph& glyph : cluster.glyphs) {
            const auto [r, i] =
                NearestGlyph(runs, glyph, [&texts](std::size_t r, std::size_t i) { return !texts[r][i].taken; });
            if (r == static_cast<std::size_t>(runs.size()))
                continue;
            GlyphText* nearest = &texts[r][i];
            nearest->taken = true;
            nearest->hidden = cluster.hidden;
            nearest->order = static_cast<std::size_t>(&cluster - clusters.data());
            if (cluster.hidden && spare == nullptr)
                spare = nearest;
            if (!cluster.hidden)
                found.push_back(nearest);
        }
        if (cluster.hidden && last != nullptr && last->size() + cluster.text.size() <= kMaxClusterText) {
            for (const char32_t c : cluster.text)
                last->push_back(c);
            continue;
        }
        for (const char32_t c : cluster.text)
            pending.push_back(c);
        if (found.empty())
            continue;
        // The characters to the glyphs in order, the last glyph taking those left over;
        // glyphs left over read as nothing.
        for (std::size_t k = 0; k < found.size() && k < pending.size(); ++k) {
            const std::size_t count = k + 1 < found.size() ? 1 : std::min(pending.size() - k, kMaxClusterText);
            found[k]->text.assign(pending.begin() + static_cast<std::ptrdiff_t>(k),
                                  pending.begin() + static_cast<std::ptrdiff_t>(k + count));
            last = &found[k]->text;
        }
        pending.clear();
        spare = nullptr;
    }
    if (!pending.empty() && spare != nullptr) {
        // Nothing drawn after them to carry them: one of their own glyphs does.
        spare->hidden = false;
        spare->text.assign(pending.begin(),
                           pending.begin() + static_cast<std::ptrdiff_t>(std::min(pending.size(), kMaxClusterText)));
    }
    return texts;  // a glyph no character came to reads as nothing: each one has its own
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
        const char32_t text = ch;
        if (!pdf.CodeFor(glyph, std::u32string_view(&text, 1), &code) || code.wide || code.value != ch ||
            pdf.Width(glyph) != width)
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
                            std::span<const std::u32string> texts, const QColor& color)
{
    const GlyphSpan span{&font, 0, glyphs.size()};
    DrawLine(std::span<const GlyphSpan>(&span, 1), glyphs, positions, texts, color);
}

void CPdfEngine::DrawLine(std::span<const GlyphSpan> spans, std::span<const quint32> glyphs,
                          std::span<const QPointF> positions, std::span<const std::u32string> texts,
                          const QColor& color)
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
        const double size = span.font->pixelSize();
        m_outlineGlyphs.clear();
        m_outlinePositions.clear();
        for (std::size_t k = span.from; k < span.to; ++k) {
            if (k < texts.size() && texts[k].empty()) {
                // A glyph whose characters others stand for: shown, but not as text.
                m_outlineGlyphs.push_back(glyphs[k] & 0xFFFF);
                m_outlinePositions.push_back(positions[k]);
                continue;
            }
            anyText = true;
            m_lineFace[k] = index;
            m_lineSize[k] = size;
            m_lineAdvance[k] = pdf.Width(glyphs[k]) * size / 1000.0;
        }
        if (!m_outlineGlyphs.empty())
            DrawOutlines(*span.font, m_outlineGlyphs, m_outlinePositions, color);
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
        while (to < n && (m_lineFace[to] < 0 || positions[to].y() == positions[from].y()))
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
        ShowGlyphs(glyphs, positions, texts, from, to);
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
                            std::span<const std::u32string> texts, std::size_t from, std::size_t to)
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
        const std::u32string_view text = k < texts.size() ? std::u32string_view(texts[k]) : U"\uFFFD";
        if (!m_fonts[static_cast<std::size_t>(index)].font->CodeFor(glyphs[k], text, &code))
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
