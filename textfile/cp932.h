#pragma once

#include <cstdint>
#include <string>

// Code page 932 with the NEC and IBM extensions: on Windows the system's own
// (WideCharToMultiByte and MultiByteToWideChar without best fit), elsewhere iconv's
// "CP932". The two give the same bytes for every character both convert.

// A byte that begins a double-byte character; its trail byte may be any of 0x40-0xFC,
// the backslash's 0x5C among them.
constexpr bool IsCp932LeadByte(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// UTF-8 text as code page 932 bytes; each character code page 932 lacks, and each
// byte that is not valid UTF-8, becomes '?'.
std::string Utf8ToCp932(const std::string& utf8);

// Code page 932 bytes as UTF-8 (for program texts and tests); undecodable bytes become U+FFFD.
std::string Cp932ToUtf8(const std::string& cp932);

// The code page 932 value of one Unicode code point: a byte, lead x 256 + trail, or -1.
std::int32_t Cp932Value(char32_t codePoint);

// The code page 932 value of every BMP code point, kNoCp932 where it has none.
// Built once, on first use, from the converter's own Unicode-to-CP932 conversion.
inline constexpr std::uint16_t kNoCp932 = 0xFFFF;  // no trail byte reaches 0xFF
const std::uint16_t* Cp932Table();

// What NextUtf8 returns for a byte that does not begin a valid sequence, or'ed with the byte.
inline constexpr char32_t kUtf8Invalid = 0x80000000u;

// Decodes the character at p (p < end) and advances p past it. Overlong forms,
// surrogates, values above U+10FFFF and cut-short sequences are invalid: each of their
// bytes yields kUtf8Invalid | byte on its own, so no byte is lost.
inline char32_t NextUtf8(const unsigned char*& p, const unsigned char* end)
{
    const unsigned char b0 = *p;
    if (b0 < 0x80) {
        ++p;
        return b0;
    }
    int need;
    char32_t cp;
    char32_t lo = 0x80;
    char32_t hi = 0xBF;  // bounds of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        need = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        need = 2;
        cp = b0 & 0x0F;
        if (b0 == 0xE0)
            lo = 0xA0;
        if (b0 == 0xED)
            hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        need = 3;
        cp = b0 & 0x07;
        if (b0 == 0xF0)
            lo = 0x90;
        if (b0 == 0xF4)
            hi = 0x8F;
    } else {
        ++p;
        return kUtf8Invalid | b0;
    }
    if (end - p <= need) {
        ++p;
        return kUtf8Invalid | b0;
    }
    if (p[1] < lo || p[1] > hi) {
        ++p;
        return kUtf8Invalid | b0;
    }
    for (int i = 1; i <= need; ++i) {
        if ((p[i] & 0xC0) != 0x80) {
            ++p;
            return kUtf8Invalid | b0;
        }
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    p += need + 1;
    return cp;
}
