#include "textfile/visible_text.h"

#include "textfile/cp932.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

struct CodeRange {
    char32_t first;
    char32_t last;
};

// Every character written out but "<", as Unicode 15 has them: Cc, Cf, Zl, Zp, the
// default-ignorable code points, Zs but U+0020 and U+3000, and U+2800. In order.
constexpr CodeRange kWrittenOut[] = {
    {0x0000, 0x001F},   {0x007F, 0x00A0},   {0x00AD, 0x00AD},   {0x034F, 0x034F},   {0x0600, 0x0605},
    {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},   {0x0890, 0x0891},   {0x08E2, 0x08E2},
    {0x115F, 0x1160},   {0x1680, 0x1680},   {0x17B4, 0x17B5},   {0x180B, 0x180F},   {0x2000, 0x200F},
    {0x2028, 0x202F},   {0x205F, 0x206F},   {0x2800, 0x2800},   {0x3164, 0x3164},   {0xFE00, 0xFE0F},
    {0xFEFF, 0xFEFF},   {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFFB},   {0x110BD, 0x110BD}, {0x110CD, 0x110CD},
    {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0000, 0xE0FFF},
};

constexpr char kLead = '<';

bool WrittenOut(char32_t c)
{
    if (c == static_cast<char32_t>(kLead))
        return true;
    const auto* after = std::upper_bound(std::begin(kWrittenOut), std::end(kWrittenOut), c,
                                         [](char32_t v, const CodeRange& r) { return v < r.first; });
    return after != std::begin(kWrittenOut) && c <= std::prev(after)->last;
}

void AppendCodePoint(std::string& out, char32_t c)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "<U+%04X>", static_cast<unsigned>(c));
    out += buf;
}

void AppendByte(std::string& out, unsigned char byte)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "<%02X>", static_cast<unsigned>(byte));
    out += buf;
}

#if defined(_WIN32)

// The character at p as the system reads code page 932 (so as Qt gets it), or
// kUtf8Invalid | byte for a byte it would not read: a lead byte cut short or with a trail
// the code page has no character for.
char32_t NextCp932(const unsigned char*& p, const unsigned char* end)
{
    const int length = ::IsDBCSLeadByteEx(932, *p) && end - p >= 2 ? 2 : 1;
    wchar_t wide = 0;
    if (::MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(p), length, &wide, 1) != 1)
        return kUtf8Invalid | *p++;
    p += length;
    return wide;
}

#endif

}  // namespace

std::string VisibleText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        const unsigned char* start = p;
#if defined(_WIN32)
        const char32_t c = *p < 0x80 ? *p++ : NextCp932(p, end);
#else
        const char32_t c = NextUtf8(p, end);
#endif
        if ((c & kUtf8Invalid) != 0)
            AppendByte(out, static_cast<unsigned char>(c));
        else if (WrittenOut(c))
            AppendCodePoint(out, c);
        else
            out.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
    }
    return out;
}
