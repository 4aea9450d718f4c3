#pragma once

#include "record/pdf_cmap.h"

#include <qpdf/QPDFObjectHandle.hh>

#include <array>
#include <string>
#include <string_view>
#include <vector>

// A PDF font as a text reader takes it: a shown string split into codes by the font's
// encoding (one byte for a simple font; a composite font's CMap: Identity-H, or one
// embedded in the file), each code's text from its ToUnicode map (a simple font without
// one: the glyph names of its encoding), and each code's width, which places what
// follows the string.
class CPdfTextFont {
public:
    explicit CPdfTextFont(QPDFObjectHandle font);

    // Why the font's text cannot be read (an encoding no reader here knows); empty when
    // it can.
    const std::string& Problem() const { return m_problem; }

    struct Shown {
        double width = 0;  // the glyphs' widths, in text space units at a font size of 1
        int codes = 0;  // character spacing applies to each
        int spaces = 0;  // one-byte codes 32: word spacing applies to each
    };
    // Appends the text of the string's codes to text; a code without text reads as U+FFFD.
    Shown Show(std::string_view string, std::string& text) const;

private:
    void ReadComposite(QPDFObjectHandle font);
    void ReadSimple(QPDFObjectHandle font);
    double Width(std::uint32_t cid) const
    {
        return cid < m_widths.size() && m_widths[cid] >= 0 ? m_widths[cid] : m_defaultWidth;
    }
    void PrepareBytes();

    std::string m_problem;
    CPdfCMap m_encoding;
    CPdfCMap m_toUnicode;
    std::vector<std::string> m_simpleText;  // a simple font without ToUnicode: by code
    std::vector<float> m_widths;  // by CID (a simple font: by code), -1 when not given
    double m_defaultWidth = 0;
    double m_scale = 0.001;  // glyph space to text space
    // A font of one-byte codes only: each code's text and width at hand.
    bool m_oneByte = false;
    std::array<std::string, 256> m_byteText;
    // A code whose text is one byte (as on a dump line): that byte; else 0.
    std::array<char, 256> m_byteChar{};
    std::array<double, 256> m_byteWidth{};
};
