#pragma once

#include <QRawFont>

#include <cstdint>
#include <string>
#include <vector>

// One face of a PDF document's text: the glyphs shown so far, the codes that show them,
// and at the end the embedded font: a TrueType subset of the face, the glyph widths and the
// text each glyph stands for.
//
// A glyph that shows a character from 0x20 to 0x7E gets that character as its one-byte
// code (when no other glyph took it first), so a dump line is written as its own
// characters; every other glyph gets a two-byte code from 0x8000 up. One encoding map
// for the whole document says so.
class CPdfFont {
public:
    explicit CPdfFont(const QRawFont& face);

    // Faces without TrueType outlines, or whose licence forbids embedding, cannot be
    // embedded; their glyphs are drawn as outlines instead.
    bool IsEmbeddable() const { return m_bEmbeddable; }

    // Appends the code of glyph to out; ch is the character it shows, 0 when unknown.
    // False when the face has no code left for another glyph.
    bool AppendCode(std::uint32_t glyph, char32_t ch, std::string& out);
    // True once the glyph has a code and its character is known.
    bool KnowsText(std::uint32_t glyph) const;
    // The advance the width array gives glyph, in thousandths of the em.
    double Width(std::uint32_t glyph) const;

    // The parts of the document written once at its end.
    std::string BaseFontName(int index) const;
    std::string DescriptorEntries() const;
    std::string WidthArray() const;
    std::string ToUnicodeMap() const;
    std::string FontProgram() const;

    // The encoding map every embedded font of a document uses.
    static std::string EncodingMap();
    static constexpr const char* kEncodingName = "Vantrel-OneOrTwoByte-H";

private:
    static constexpr std::uint16_t kNoCode = 0xFFFF;
    static constexpr std::uint32_t kNoGlyph = 0xFFFFFFFF;
    static constexpr int kWideBase = 128;        // first two-byte CID
    static constexpr int kMaxCid = 128 + 0x8000; // one past the last

    QRawFont m_face;
    bool m_bEmbeddable = false;
    int m_nUnitsPerEm = 1000;
    int m_nGlyphs = 0;
    int m_nNextWide = kWideBase;
    std::vector<std::uint16_t> m_cidOfGlyph;  // by glyph of the face
    std::vector<std::uint32_t> m_glyphOfCid;  // by CID
    std::vector<char32_t> m_textOfCid;        // by CID, 0 when unknown
    std::vector<std::uint16_t> m_advance;     // by glyph, in font units
    std::vector<double> m_width;              // by glyph, in thousandths of the em
    QByteArray m_head, m_hhea, m_maxp, m_os2, m_post;
};
