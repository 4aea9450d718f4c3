#pragma once

#include <QRawFont>

#include <algorithm>
#include <cmath>

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One face of a PDF document's text: the glyphs shown so far, the codes that show them,
// and at the end the embedded fonts: TrueType subsets of the face, the glyph widths and
// the text each code stands for.
//
// A face becomes up to two PDF fonts. The narrow one takes a glyph that shows a
// character from 0x20 to 0x7E as that character's one-byte code, so a dump line is
// written as its own characters. Every other glyph goes to the wide one, whose two-byte
// codes are CIDs of Identity-H: a text reader knows that encoding without reading ours,
// which mixed one- and two-byte codes in one font lost in some readers. A code stands
// for one glyph and the text it shows: one glyph shown for two different texts (a
// missing character, say) gets two codes, so each extracts as itself.
class CPdfFont {
public:
    explicit CPdfFont(const QRawFont& face);

    // Faces without TrueType outlines, or whose licence forbids embedding, cannot be
    // embedded; their glyphs are drawn as outlines instead.
    bool IsEmbeddable() const { return m_bEmbeddable; }

    // A glyph that shows nothing and takes no room: it carries a character of a cluster
    // that another glyph shows, so that each code stands for one character (Ghostscript
    // 10.0 garbles a code that stands for several).
    static constexpr std::uint32_t kCarrierGlyph = 0xFFFF;
    // glyph with an advance of its own, in font units, in place of the face's: where
    // shaping puts the next glyph (a combining mark on its letter, a cluster of several
    // boxes), so that readers see the characters side by side, neither overlapping nor
    // apart. The drawing is the same: every glyph is placed where shaping put it.
    static std::uint32_t WithAdvance(std::uint32_t glyph, int units)
    {
        return (glyph & 0xFFFF) | (static_cast<std::uint32_t>(std::clamp(units, 0, 0xFFFE) + 1) << 16);
    }
    int UnitsPerEm() const { return m_nUnitsPerEm; }

    struct Code {
        std::uint16_t value = 0;
        bool wide = false;
    };
    // The code that shows glyph as text: U+FFFD where unknown, empty for a glyph whose
    // characters other glyphs of its cluster stand for. False when the face has no code
    // left for another glyph.
    bool CodeFor(std::uint32_t glyph, std::u32string_view text, Code* code)
    {
        // A dump line's glyphs have their codes after the first line: the quick way.
        if (text.size() == 1 && text[0] >= 0x20 && text[0] < 0x7F && m_narrow.glyphOfCid[text[0]] == glyph) {
            *code = Code{static_cast<std::uint16_t>(text[0]), false};
            return true;
        }
        return NewCodeFor(glyph, text, code);
    }
    // The advance the width arrays give glyph, in thousandths of the em.
    double Width(std::uint32_t glyph) const
    {
        if (glyph < static_cast<std::uint32_t>(m_nGlyphs))
            return m_width[glyph];
        return glyph >> 16 != 0 && glyph != kNoGlyph ? WidthOfUnits(static_cast<int>(glyph >> 16) - 1) : 0;
    }

    bool Uses(bool wide) const { return wide ? m_wide.glyphOfCid.size() > 1 : m_bNarrowUsed; }

    // The parts of the document written once at its end, for the narrow or the wide font.
    std::string BaseFontName(bool wide) const;
    std::string DescriptorEntries() const;
    std::string WidthArray(bool wide) const;
    std::string ToUnicodeMap(bool wide) const;
    std::string FontProgram(bool wide) const;
    // The CIDs the subset holds, a bit each, the first the top bit of the first byte.
    std::string CidSet(bool wide) const;

    // The encoding of every narrow font of a document: one byte, the code is the CID.
    static std::string NarrowEncodingMap();
    // The name readers that know CMaps by name (pdfminer.six) take for this very map;
    // the others read the map itself.
    static constexpr const char* kNarrowEncodingName = "OneByteIdentityH";

private:
    static constexpr std::uint32_t kNoGlyph = 0xFFFFFFFF;
    // Three decimals, as the width array writes it.
    double WidthOfUnits(int units) const { return std::round(units * 1000.0 * 1000.0 / m_nUnitsPerEm) / 1000.0; }
    // The advance of a glyph of a subset in font units.
    std::uint16_t AdvanceOf(std::uint32_t glyph) const
    {
        return glyph >> 16 != 0 ? static_cast<std::uint16_t>((glyph >> 16) - 1) : m_advance[glyph & 0xFFFF];
    }
    // Wide codes stay below the UTF-16 surrogates, which some readers take them for, and
    // leave room below 65,535 glyphs for the parts that composites bring into a subset.
    static constexpr std::size_t kMaxWideCids = 0xD800;

    // The glyphs of one embedded font by CID, and the character each shows.
    struct Subset {
        std::vector<std::uint32_t> glyphOfCid;
        std::vector<std::u32string> textOfCid;
    };
    const Subset& SubsetOf(bool wide) const { return wide ? m_wide : m_narrow; }
    bool NewCodeFor(std::uint32_t glyph, std::u32string_view text, Code* code);
    // The glyf table of the glyphs in order (composites' parts added to it) and their
    // offsets, for loca.
    std::string SubsetGlyphs(std::vector<std::uint32_t>& order, std::vector<std::uint32_t>& offsets) const;

    QRawFont m_face;
    bool m_bEmbeddable = false;
    bool m_bNarrowUsed = false;
    int m_nUnitsPerEm = 1000;
    int m_nGlyphs = 0;
    Subset m_narrow;  // CIDs 0 to 0x7F, the codes themselves
    Subset m_wide;  // CID 0 is .notdef
    std::unordered_map<std::u32string, std::uint16_t> m_wideCid;  // by glyph, then the text
    std::vector<std::uint16_t> m_advance;  // by glyph, in font units
    std::vector<double> m_width;  // by glyph, in thousandths of the em
    QByteArray m_head, m_hhea, m_maxp, m_os2, m_post, m_hmtx;
};
