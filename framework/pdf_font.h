#pragma once

#include <QRawFont>

#include <cstdint>
#include <string>
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
// for one glyph shown as one character: a glyph shown as two characters (a missing one,
// say) gets two codes, so each extracts as itself.
class CPdfFont {
public:
    explicit CPdfFont(const QRawFont& face);

    // Faces without TrueType outlines, or whose licence forbids embedding, cannot be
    // embedded; their glyphs are drawn as outlines instead.
    bool IsEmbeddable() const { return m_bEmbeddable; }

    struct Code {
        std::uint16_t value = 0;
        bool wide = false;
    };
    // The code that shows glyph as ch (0 when unknown). False when the face has no code
    // left for another glyph.
    bool CodeFor(std::uint32_t glyph, char32_t ch, Code* code)
    {
        // A dump line's glyphs have their codes after the first line: the quick way.
        if (ch >= 0x20 && ch < 0x7F && m_narrow.glyphOfCid[ch] == glyph) {
            *code = Code{static_cast<std::uint16_t>(ch), false};
            return true;
        }
        return NewCodeFor(glyph, ch, code);
    }
    // The advance the width arrays give glyph, in thousandths of the em.
    double Width(std::uint32_t glyph) const
    {
        return glyph < static_cast<std::uint32_t>(m_nGlyphs) ? m_width[glyph] : 0;
    }

    bool Uses(bool wide) const { return wide ? m_wide.glyphOfCid.size() > 1 : m_bNarrowUsed; }

    // The parts of the document written once at its end, for the narrow or the wide font.
    std::string BaseFontName(bool wide) const;
    std::string DescriptorEntries() const;
    std::string WidthArray(bool wide) const;
    std::string ToUnicodeMap(bool wide) const;
    std::string FontProgram(bool wide) const;

    // The encoding of every narrow font of a document: one byte, the code is the CID.
    static std::string NarrowEncodingMap();
    static constexpr const char* kNarrowEncodingName = "Vantrel-OneByte-H";

private:
    static constexpr std::uint32_t kNoGlyph = 0xFFFFFFFF;
    // Wide codes stay below the UTF-16 surrogates, which some readers take them for, and
    // leave room below 65,535 glyphs for the parts that composites bring into a subset.
    static constexpr std::size_t kMaxWideCids = 0xD800;

    // The glyphs of one embedded font by CID, and the character each shows.
    struct Subset {
        std::vector<std::uint32_t> glyphOfCid;
        std::vector<char32_t> textOfCid;  // 0 when unknown
    };
    const Subset& SubsetOf(bool wide) const { return wide ? m_wide : m_narrow; }
    bool NewCodeFor(std::uint32_t glyph, char32_t ch, Code* code);
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
    std::unordered_map<std::uint64_t, std::uint16_t> m_wideCid;  // by glyph and character
    std::vector<std::uint16_t> m_advance;  // by glyph, in font units
    std::vector<double> m_width;  // by glyph, in thousandths of the em
    QByteArray m_head, m_hhea, m_maxp, m_os2, m_post, m_hmtx;
};
