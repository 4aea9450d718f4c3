#include "record/pdf_text_font.h"

#include <qpdf/QPDFObjectHandle.hh>

#include <algorithm>
#include <charconv>

namespace {

constexpr const char* kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The glyph names of the printable ASCII characters, 0x20 to 0x7E, as the standard
// encodings name them.
constexpr const char* kAsciiNames[95] = {"space",       "exclam",
                                         "quotedbl",    "numbersign",
                                         "dollar",      "percent",
                                         "ampersand",   "quotesingle",
                                         "parenleft",   "parenright",
                                         "asterisk",    "plus",
                                         "comma",       "hyphen",
                                         "period",      "slash",
                                         "zero",        "one",
                                         "two",         "three",
                                         "four",        "five",
                                         "six",         "seven",
                                         "eight",       "nine",
                                         "colon",       "semicolon",
                                         "less",        "equal",
                                         "greater",     "question",
                                         "at",          "A",
                                         "B",           "C",
                                         "D",           "E",
                                         "F",           "G",
                                         "H",           "I",
                                         "J",           "K",
                                         "L",           "M",
                                         "N",           "O",
                                         "P",           "Q",
                                         "R",           "S",
                                         "T",           "U",
                                         "V",           "W",
                                         "X",           "Y",
                                         "Z",           "bracketleft",
                                         "backslash",   "bracketright",
                                         "asciicircum", "underscore",
                                         "grave",       "a",
                                         "b",           "c",
                                         "d",           "e",
                                         "f",           "g",
                                         "h",           "i",
                                         "j",           "k",
                                         "l",           "m",
                                         "n",           "o",
                                         "p",           "q",
                                         "r",           "s",
                                         "t",           "u",
                                         "v",           "w",
                                         "x",           "y",
                                         "z",           "braceleft",
                                         "bar",         "braceright",
                                         "asciitilde"};

// The text a glyph name stands for: an ASCII name, uniXXXX or uXXXX; else U+FFFD.
std::string GlyphNameText(std::string_view name)
{
    for (int i = 0; i < 95; ++i)
        if (name == kAsciiNames[i])
            return std::string(1, static_cast<char>(0x20 + i));
    unsigned value = 0;
    const std::size_t skip = name.substr(0, 3) == "uni" ? 3 : name.substr(0, 1) == "u" ? 1 : 0;
    if (skip != 0 && name.size() >= skip + 4 && name.size() <= skip + 6) {
        const auto [end, ec] = std::from_chars(name.data() + skip, name.data() + name.size(), value, 16);
        if (ec == std::errc() && end == name.data() + name.size() && value <= 0x10FFFF &&
            (value < 0xD800 || value > 0xDFFF)) {
            std::string text;
            AppendUtf8(static_cast<char32_t>(value), text);
            return text;
        }
    }
    return kReplacement;
}

std::string StreamText(QPDFObjectHandle stream)
{
    const std::shared_ptr<Buffer> data = stream.getStreamData(qpdf_dl_generalized);
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

double Number(QPDFObjectHandle object, double otherwise)
{
    return object.isNumber() ? object.getNumericValue() : otherwise;
}

}  // namespace

CPdfTextFont::CPdfTextFont(QPDFObjectHandle font)
{
    if (!font.isDictionary()) {
        m_problem = "フォントがありません (no font)";
        return;
    }
    if (font.getKey("/Subtype").isNameAndEquals("/Type0"))
        ReadComposite(font);
    else
        ReadSimple(font);
    if (QPDFObjectHandle map = font.getKey("/ToUnicode"); map.isStream())
        m_toUnicode = CPdfCMap::Parse(StreamText(map));
    if (m_problem.empty() && !m_toUnicode.HasText() && m_simpleText.empty())
        m_problem = "フォントに文字の対応表 (ToUnicode) がありません (the font has no ToUnicode map)";
    PrepareBytes();
}

void CPdfTextFont::ReadComposite(QPDFObjectHandle font)
{
    QPDFObjectHandle encoding = font.getKey("/Encoding");
    if (encoding.isStream()) {
        m_encoding = CPdfCMap::Parse(StreamText(encoding));
    } else if (encoding.isNameAndEquals("/Identity-H") || encoding.isNameAndEquals("/Identity-V")) {
        m_encoding = CPdfCMap::Identity();
    } else {
        m_problem = "フォントの符号化 " + (encoding.isName() ? encoding.getName() : std::string("(なし)")) +
                    " は読めません (an encoding this reader does not know)";
        return;
    }
    if (!m_encoding.HasCodeSpace())
        m_encoding = CPdfCMap::Identity();
    QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
    QPDFObjectHandle cidFont = descendants.isArray() ? descendants.getArrayItem(0) : QPDFObjectHandle();
    if (!cidFont.isDictionary())
        return;
    m_defaultWidth = Number(cidFont.getKey("/DW"), 1000) * m_scale;
    // [c [w1 w2 ...]] or [cFirst cLast w], as often as needed.
    QPDFObjectHandle w = cidFont.getKey("/W");
    const int n = w.isArray() ? w.getArrayNItems() : 0;
    const auto set = [this](long long cid, double width) {
        if (cid < 0 || cid > 0xFFFF)
            return;
        if (static_cast<std::size_t>(cid) >= m_widths.size())
            m_widths.resize(static_cast<std::size_t>(cid) + 1, -1);
        m_widths[static_cast<std::size_t>(cid)] = static_cast<float>(width * m_scale);
    };
    for (int i = 0; i + 1 < n;) {
        const long long first = w.getArrayItem(i).isInteger() ? w.getArrayItem(i).getIntValue() : -1;
        QPDFObjectHandle next = w.getArrayItem(i + 1);
        if (next.isArray()) {
            for (int k = 0; k < next.getArrayNItems(); ++k)
                set(first + k, Number(next.getArrayItem(k), 0));
            i += 2;
        } else if (i + 2 < n) {
            const long long last = next.isInteger() ? next.getIntValue() : -1;
            for (long long cid = first; cid <= last && cid - first <= 0xFFFF; ++cid)
                set(cid, Number(w.getArrayItem(i + 2), 0));
            i += 3;
        } else {
            break;
        }
    }
}

void CPdfTextFont::ReadSimple(QPDFObjectHandle font)
{
    m_encoding = CPdfCMap::OneByte();
    if (font.getKey("/Subtype").isNameAndEquals("/Type3")) {
        QPDFObjectHandle matrix = font.getKey("/FontMatrix");
        m_scale = matrix.isArray() ? Number(matrix.getArrayItem(0), 0.001) : 0.001;
    }
    QPDFObjectHandle widths = font.getKey("/Widths");
    const long long first = font.getKey("/FirstChar").isInteger() ? font.getKey("/FirstChar").getIntValue() : 0;
    m_widths.assign(256, -1);
    for (int i = 0; widths.isArray() && i < widths.getArrayNItems(); ++i)
        if (first + i >= 0 && first + i < 256)
            m_widths[static_cast<std::size_t>(first + i)] =
                static_cast<float>(Number(widths.getArrayItem(i), 0) * m_scale);
    QPDFObjectHandle descriptor = font.getKey("/FontDescriptor");
    m_defaultWidth = descriptor.isDictionary() ? Number(descriptor.getKey("/MissingWidth"), 0) * m_scale : 0;
    if (font.getKey("/ToUnicode").isStream())
        return;
    // No ToUnicode: the printable ASCII codes as the standard encodings have them,
    // with the glyph names of /Differences over them.
    m_simpleText.assign(256, kReplacement);
    for (int code = 0x20; code < 0x7F; ++code)
        m_simpleText[static_cast<std::size_t>(code)] = std::string(1, static_cast<char>(code));
    QPDFObjectHandle encoding = font.getKey("/Encoding");
    QPDFObjectHandle differences = encoding.isDictionary() ? encoding.getKey("/Differences") : QPDFObjectHandle();
    long long code = 0;
    for (int i = 0; differences.isArray() && i < differences.getArrayNItems(); ++i) {
        QPDFObjectHandle item = differences.getArrayItem(i);
        if (item.isInteger())
            code = item.getIntValue();
        else if (item.isName() && code >= 0 && code < 256)
            m_simpleText[static_cast<std::size_t>(code++)] = GlyphNameText(item.getName().substr(1));
    }
}

void CPdfTextFont::PrepareBytes()
{
    m_oneByte = m_encoding.OneByteOnly();
    if (!m_oneByte)
        return;
    for (std::uint32_t code = 0; code < 256; ++code) {
        std::string& text = m_byteText[code];
        if (!m_simpleText.empty())
            text = m_simpleText[code];
        else if (!m_toUnicode.AppendText(code, text))
            text = kReplacement;
        m_byteWidth[code] = Width(m_encoding.Cid(code));
    }
    for (std::size_t code = 0; code < 256; ++code)
        m_byteChar[code] = m_byteText[code].size() == 1 ? m_byteText[code][0] : '\0';
}

CPdfTextFont::Shown CPdfTextFont::Show(std::string_view string, std::string& text) const
{
    Shown shown;
    const auto* p = reinterpret_cast<const unsigned char*>(string.data());
    const auto* end = p + string.size();
    if (m_oneByte) {
        text.reserve(text.size() + string.size());
        for (; p < end; ++p) {
            if (const char c = m_byteChar[*p]; c != '\0')
                text.push_back(c);
            else
                text += m_byteText[*p];
            shown.width += m_byteWidth[*p];
            shown.spaces += *p == 32 ? 1 : 0;
        }
        shown.codes = static_cast<int>(string.size());
        return shown;
    }
    while (p < end) {
        const int length = m_encoding.CodeLength(p, static_cast<std::size_t>(end - p));
        std::uint32_t code = 0;
        for (int i = 0; i < length; ++i)
            code = code << 8 | p[i];
        if (!m_toUnicode.AppendText(code, text))
            text += kReplacement;
        shown.width += Width(m_encoding.Cid(code));
        shown.spaces += length == 1 && code == 32 ? 1 : 0;
        ++shown.codes;
        p += length;
    }
    return shown;
}
