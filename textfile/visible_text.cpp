#include "textfile/visible_text.h"

#include "textfile/cp932.h"

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

#endif

}  // namespace

std::string VisibleText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
#if defined(_WIN32)
    for (const char byte : text) {
        // A trail byte of code page 932 is never below 0x40 nor 0x7F itself.
        const auto c = static_cast<unsigned char>(byte);
        if (c < 0x20 || c == 0x7F)
            AppendCodePoint(out, c);
        else
            out.push_back(byte);
    }
#else
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char* start = p;
        const char32_t c = NextUtf8(p, end);
        if ((c & kUtf8Invalid) == 0 && Acts(c))
            AppendCodePoint(out, c);
        else
            out.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
    }
#endif
    return out;
}
