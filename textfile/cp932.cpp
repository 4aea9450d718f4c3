#include "textfile/cp932.h"

#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>

#include <bit>
#include <cerrno>
#endif

namespace {

#if defined(_WIN32)

constexpr UINT kCodePage932 = 932;

// The system's own code page 932, as WideCharToMultiByte gives it. Without best fit:
// a best fit is another character (U+00A5 would become the backslash 0x5C).
std::vector<std::uint16_t> BuildTable()
{
    std::vector<std::uint16_t> table(0x10000, kNoCp932);
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp < 0xE000)
            continue;
        const wchar_t in = static_cast<wchar_t>(cp);
        unsigned char out[4];
        BOOL usedDefault = FALSE;
        const int n = ::WideCharToMultiByte(kCodePage932, WC_NO_BEST_FIT_CHARS, &in, 1, reinterpret_cast<char*>(out),
                                            sizeof out, nullptr, &usedDefault);
        if (usedDefault)
            continue;
        if (n == 1)
            table[cp] = out[0];
        else if (n == 2)
            table[cp] = static_cast<std::uint16_t>(out[0] << 8 | out[1]);
    }
    return table;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

#else

const char* Utf32Native()
{
    return std::endian::native == std::endian::little ? "UTF-32LE" : "UTF-32BE";
}

// One iconv call per BMP code point (about 64,000, a few milliseconds once) gives
// exactly iconv's own choice, including its one-way mappings (U+00A5 to 0x5C,
// U+2212 to 0x817C) and its pick among the NEC and IBM duplicates.
std::vector<std::uint16_t> BuildTable()
{
    std::vector<std::uint16_t> table(0x10000, kNoCp932);
    iconv_t cd = iconv_open("CP932", Utf32Native());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return table;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp < 0xE000)
            continue;
        char32_t in = cp;
        char* inPtr = reinterpret_cast<char*>(&in);
        std::size_t inLeft = sizeof in;
        unsigned char out[8];
        char* outPtr = reinterpret_cast<char*>(out);
        std::size_t outLeft = sizeof out;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            continue;
        }
        const std::size_t n = sizeof out - outLeft;
        if (n == 1)
            table[cp] = out[0];
        else if (n == 2)
            table[cp] = static_cast<std::uint16_t>(out[0] << 8 | out[1]);
    }
    iconv_close(cd);
    return table;
}

#endif

}  // namespace

const std::uint16_t* Cp932Table()
{
    static const std::vector<std::uint16_t> table = BuildTable();
    return table.data();
}

std::int32_t Cp932Value(char32_t codePoint)
{
    if (codePoint >= 0x10000)
        return -1;  // code page 932 holds nothing beyond the BMP
    const std::uint16_t v = Cp932Table()[codePoint];
    return v == kNoCp932 ? -1 : v;
}

std::string Utf8ToCp932(const std::string& utf8)
{
    const std::uint16_t* table = Cp932Table();
    std::string out;
    out.reserve(utf8.size());
    auto p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto end = p + utf8.size();
    while (p < end) {
        const char32_t cp = NextUtf8(p, end);
        const std::uint16_t v = cp < 0x10000 ? table[cp] : kNoCp932;
        if (v == kNoCp932)
            out += '?';
        else if (v > 0xFF) {
            out += static_cast<char>(v >> 8);
            out += static_cast<char>(v & 0xFF);
        } else
            out += static_cast<char>(v);
    }
    return out;
}

#if defined(_WIN32)

std::string Cp932ToUtf8(const std::string& cp932)
{
    std::string out;
    out.reserve(cp932.size() * 3 / 2);
    const std::size_t size = cp932.size();
    for (std::size_t i = 0; i < size;) {
        const auto lead = static_cast<BYTE>(cp932[i]);
        const int length = ::IsDBCSLeadByteEx(kCodePage932, lead) && i + 1 < size ? 2 : 1;
        wchar_t wide = 0;
        if (::MultiByteToWideChar(kCodePage932, MB_ERR_INVALID_CHARS, cp932.data() + i, length, &wide, 1) == 1) {
            AppendUtf8(out, wide);
            i += static_cast<std::size_t>(length);
        } else {
            // Not a character, or a lead byte cut short: replace one byte and go on.
            AppendUtf8(out, 0xFFFD);
            ++i;
        }
    }
    return out;
}

#else

std::string Cp932ToUtf8(const std::string& cp932)
{
    std::string out;
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return out;
    char* in = const_cast<char*>(cp932.data());
    std::size_t inLeft = cp932.size();
    std::vector<char> buf(cp932.size() * 3 + 16);
    while (inLeft > 0) {
        char* outPtr = buf.data();
        std::size_t outLeft = buf.size();
        const std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buf.data(), outPtr);
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or a lead byte cut short: replace one byte and go on.
            out += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

#endif
