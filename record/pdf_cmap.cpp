#include "record/pdf_cmap.h"

#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <algorithm>
#include <memory>

namespace {

std::uint32_t CodeValue(const std::string& bytes)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i)
        value = value << 8 | static_cast<unsigned char>(bytes[i]);
    return value;
}

std::u16string Utf16Units(const std::string& bytes)
{
    std::u16string units;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) << 8 |
                                              static_cast<unsigned char>(bytes[i + 1])));
    if (bytes.size() % 2 != 0)  // a lone byte: its own value
        units.push_back(static_cast<unsigned char>(bytes.back()));
    return units;
}

// The tokens of a CMap program one after another; the end gives tt_eof.
class CTokens {
public:
    explicit CTokens(std::string_view program)
        : m_input(std::make_shared<BufferInputSource>("CMap", std::string(program)))
    {
        m_tokenizer.allowEOF();
    }
    QPDFTokenizer::Token Next() { return m_tokenizer.readToken(m_input, "CMap", true); }

private:
    std::shared_ptr<InputSource> m_input;
    QPDFTokenizer m_tokenizer;
};

bool Ends(const QPDFTokenizer::Token& token)
{
    return token.getType() == QPDFTokenizer::tt_eof || token.getType() == QPDFTokenizer::tt_bad ||
           (token.getType() == QPDFTokenizer::tt_word && token.getValue().starts_with("end"));
}

}  // namespace

void AppendUtf8(char32_t c, std::string& utf8)
{
    if (c < 0x80) {
        utf8.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        utf8.push_back(static_cast<char>(0xC0 | c >> 6));
        utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        utf8.push_back(static_cast<char>(0xE0 | c >> 12));
        utf8.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        utf8.push_back(static_cast<char>(0xF0 | c >> 18));
        utf8.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

void AppendUtf16AsUtf8(std::u16string_view units, std::string& utf8)
{
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        AppendUtf8(c, utf8);
    }
}

CPdfCMap CPdfCMap::Identity()
{
    CPdfCMap map;
    map.m_spaces.push_back({2, 0, 0xFFFF});
    map.Finish();
    return map;
}

CPdfCMap CPdfCMap::OneByte()
{
    CPdfCMap map;
    map.m_spaces.push_back({1, 0, 0xFF});
    map.Finish();
    return map;
}

CPdfCMap CPdfCMap::Parse(std::string_view program)
{
    CPdfCMap map;
    CTokens tokens(program);
    using T = QPDFTokenizer;
    for (T::Token token = tokens.Next(); token.getType() != T::tt_eof && token.getType() != T::tt_bad;
         token = tokens.Next()) {
        if (token.getType() != T::tt_word)
            continue;
        const std::string& op = token.getValue();
        if (op == "begincodespacerange") {
            for (T::Token low = tokens.Next(); !Ends(low); low = tokens.Next()) {
                const T::Token high = tokens.Next();
                if (low.getType() == T::tt_string && high.getType() == T::tt_string && !low.getValue().empty() &&
                    low.getValue().size() <= 4)
                    map.m_spaces.push_back({static_cast<int>(low.getValue().size()), CodeValue(low.getValue()),
                                            CodeValue(high.getValue())});
            }
        } else if (op == "begincidrange" || op == "begincidchar") {
            const bool range = op == "begincidrange";
            for (T::Token low = tokens.Next(); !Ends(low); low = tokens.Next()) {
                const T::Token high = range ? tokens.Next() : low;
                const T::Token cid = tokens.Next();
                if (low.getType() == T::tt_string && high.getType() == T::tt_string && cid.isInteger())
                    map.m_cids.push_back({CodeValue(low.getValue()), CodeValue(high.getValue()),
                                          static_cast<std::uint32_t>(std::stoul(cid.getValue()))});
            }
        } else if (op == "beginbfchar") {
            for (T::Token code = tokens.Next(); !Ends(code); code = tokens.Next()) {
                const T::Token text = tokens.Next();
                if (code.getType() == T::tt_string && text.getType() == T::tt_string)
                    map.AddText(CodeValue(code.getValue()), Utf16Units(text.getValue()));
            }
        } else if (op == "beginbfrange") {
            for (T::Token low = tokens.Next(); !Ends(low); low = tokens.Next()) {
                const T::Token high = tokens.Next();
                const std::uint32_t from = CodeValue(low.getValue());
                const std::uint32_t to = CodeValue(high.getValue());
                T::Token text = tokens.Next();
                if (text.getType() == T::tt_array_open) {
                    // One text for each code in turn.
                    std::uint32_t code = from;
                    for (text = tokens.Next(); text.getType() == T::tt_string; text = tokens.Next())
                        map.AddText(code++, Utf16Units(text.getValue()));
                } else if (text.getType() == T::tt_string && from <= to && !text.getValue().empty()) {
                    map.m_textRanges.push_back({from, to, Utf16Units(text.getValue())});
                    map.m_hasText = true;
                }
            }
        }
    }
    map.Finish();
    return map;
}

void CPdfCMap::AddText(std::uint32_t code, const std::u16string& text)
{
    std::string utf8;
    AppendUtf16AsUtf8(text, utf8);
    m_text[code] = std::move(utf8);
    m_hasText = true;
}

void CPdfCMap::Finish()
{
    std::sort(m_textRanges.begin(), m_textRanges.end(),
              [](const TextRange& a, const TextRange& b) { return a.low < b.low; });
    const auto [shortest, longest] = std::minmax_element(
        m_spaces.begin(), m_spaces.end(), [](const Space& a, const Space& b) { return a.length < b.length; });
    if (!m_spaces.empty()) {
        m_shortest = shortest->length;
        m_longest = longest->length;
    }
    // The codes a dump line is made of are looked up once here, not for every glyph.
    for (std::uint32_t code = 0; code < 256; ++code) {
        m_small[code].clear();
        m_smallKnown[code] = false;
        std::string text;
        if (AppendText(code, text)) {
            m_small[code] = std::move(text);
            m_smallKnown[code] = true;
        }
    }
    m_finished = true;
}

int CPdfCMap::CodeLength(const unsigned char* p, std::size_t left) const
{
    std::uint32_t code = 0;
    for (int length = 1; length <= 4 && static_cast<std::size_t>(length) <= left; ++length) {
        code = code << 8 | p[length - 1];
        for (const Space& space : m_spaces)
            if (space.length == length && code >= space.low && code <= space.high)
                return length;
    }
    return std::min<int>(m_shortest, static_cast<int>(left));
}

std::uint32_t CPdfCMap::Cid(std::uint32_t code) const
{
    for (const CidRange& range : m_cids)
        if (code >= range.low && code <= range.high)
            return range.cid + (code - range.low);
    return code;
}

bool CPdfCMap::AppendText(std::uint32_t code, std::string& utf8) const
{
    if (code < 256 && m_finished) {
        utf8 += m_small[code];
        return m_smallKnown[code];
    }
    if (const auto it = m_text.find(code); it != m_text.end()) {
        utf8 += it->second;
        return true;
    }
    auto it = std::upper_bound(m_textRanges.begin(), m_textRanges.end(), code,
                               [](std::uint32_t c, const TextRange& r) { return c < r.low; });
    // The nearest range that starts at or below code.
    if (it == m_textRanges.begin() || code > (--it)->high)
        return false;
    std::u16string text = it->first;
    text.back() = static_cast<char16_t>(text.back() + (code - it->low));
    AppendUtf16AsUtf8(text, utf8);
    return true;
}
