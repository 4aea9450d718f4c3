#include "textfile/visible_text.h"

#include <cstdio>

namespace {

void AppendCodePoint(std::string& out, char32_t c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "<U+%04X>", static_cast<unsigned>(c));
    out += buf;
}

#if !defined(_WIN32)
bool Acts(char32_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
           (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

// The code point of the UTF-8 sequence at text[i] and its length; 0 bytes when the
// sequence is not valid.
char32_t Decode(std::string_view text, std::size_t i, std::size_t* length)
{
    const auto byte = [&text](std::size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned char lead = byte(i);
    std::size_t n = lead < 0x80 ? 1 : lead >= 0xC2 && lead < 0xE0 ? 2 : lead >= 0xE0 && lead < 0xF0 ? 3
                                    : lead >= 0xF0 && lead < 0xF5 ? 4 : 0;
    if (n == 0 || i + n > text.size()) {
        *length = 0;
        return 0;
    }
    char32_t c = n == 1 ? lead : lead & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            *length = 0;
            return 0;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    *length = n;
    return c;
}
#endif

}  // namespace

std::string VisibleText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
#if defined(_WIN32)
        // A trail byte of code page 932 is never below 0x40 nor 0x7F itself.
        if (lead < 0x20 || lead == 0x7F)
            AppendCodePoint(out, lead);
        else
            out.push_back(static_cast<char>(lead));
        ++i;
#else
        std::size_t length = 1;
        const char32_t c = lead < 0x80 ? lead : Decode(text, i, &length);
        if (length > 0 && Acts(c)) {
            AppendCodePoint(out, c);
        } else {
            length = length > 0 ? length : 1;
            out.append(text.substr(i, length));
        }
        i += length;
#endif
    }
    return out;
}
