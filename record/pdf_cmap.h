#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// A CMap as a PDF reader uses it: its code space says how many bytes each code of a
// string takes, an encoding's CID ranges give each code its CID (and so its width), and
// a ToUnicode map's bfchar and bfrange entries give each code its text. Codes are taken
// by their value: a ToUnicode map may write a one-byte code with two bytes, as
// Ghostscript's do.
class CPdfCMap {
public:
    // A CMap program (PostScript syntax), read for whatever of the three it holds.
    static CPdfCMap Parse(std::string_view program);
    // Identity-H and Identity-V: two-byte codes, each its own CID.
    static CPdfCMap Identity();
    // One-byte codes, each its own CID: the code space of a simple font.
    static CPdfCMap OneByte();

    bool HasCodeSpace() const { return !m_spaces.empty(); }
    bool OneByteOnly() const { return m_shortest == 1 && m_longest == 1; }
    // How many bytes (1 to 4) the code at p takes, as the code space ranges say; the
    // shortest code space's length when none matches.
    int CodeLength(const unsigned char* p, std::size_t left) const;
    // The CID of code; the code itself when the map names none.
    std::uint32_t Cid(std::uint32_t code) const;
    // Appends the text of code in UTF-8; false when the map has none for it.
    bool AppendText(std::uint32_t code, std::string& utf8) const;
    bool HasText() const { return m_hasText; }

private:
    struct Space {
        int length;
        std::uint32_t low, high;
    };
    struct CidRange {
        std::uint32_t low, high, cid;
    };
    struct TextRange {
        std::uint32_t low, high;
        std::u16string first;  // the text of low; the last unit counts up with the code
    };
    void AddText(std::uint32_t code, const std::u16string& text);
    void Finish();

    std::vector<Space> m_spaces;
    int m_shortest = 1;
    int m_longest = 1;
    std::vector<CidRange> m_cids;
    // The text of every code below 256 at hand, the rest by code or by range.
    std::string m_small[256];
    bool m_smallKnown[256] = {};
    std::unordered_map<std::uint32_t, std::string> m_text;
    std::vector<TextRange> m_textRanges;  // sorted by low
    bool m_hasText = false;
    bool m_finished = false;
};

// A code point as UTF-8.
void AppendUtf8(char32_t c, std::string& utf8);
// UTF-16 units as UTF-8; a lone surrogate becomes U+FFFD.
void AppendUtf16AsUtf8(std::u16string_view units, std::string& utf8);
