#include "textfile/cp932.h"

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstdint>
#include <string>
#include <string_view>

namespace {

// UTF-8 text whatever the compiler's execution character set (code page 932 on Windows).
std::string U8(std::u8string_view text)
{
    return std::string(text.begin(), text.end());
}

std::string Utf8Of(char32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | cp >> 6);
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        s += static_cast<char>(0xE0 | cp >> 12);
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xF0 | cp >> 18);
        s += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

// Each converter converts these, the other does not. iconv maps look-alikes one way
// (the yen sign to the backslash's byte); Windows gives four single bytes of its own.
struct OneSided {
    char32_t cp;
    std::int32_t value;
};
constexpr OneSided kIconvOnly[] = {
    {0x00A2, 0x8191}, {0x00A3, 0x8192}, {0x00A5, 0x5C},   {0x00AC, 0x81CA}, {0x2014, 0x815C},
    {0x2016, 0x8161}, {0x203E, 0x7E},   {0x2212, 0x817C}, {0x301C, 0x8160},
};
constexpr OneSided kWindowsOnly[] = {
    {0x0080, 0x80}, {0xF8F0, 0xA0}, {0xF8F1, 0xFD}, {0xF8F2, 0xFE}, {0xF8F3, 0xFF},
};

bool OneSidedCodePoint(char32_t cp)
{
    for (const OneSided& c : kIconvOnly)
        if (c.cp == cp)
            return true;
    for (const OneSided& c : kWindowsOnly)
        if (c.cp == cp)
            return true;
    return false;
}

class Fnv {
public:
    void Add(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            m_hash ^= (v >> (8 * i)) & 0xFF;
            m_hash *= 0x100000001B3ULL;
        }
    }
    void Add(const std::string& bytes)
    {
        Add(static_cast<std::uint32_t>(bytes.size()));
        for (const char c : bytes)
            Add(static_cast<unsigned char>(c));
    }
    std::uint64_t Value() const { return m_hash; }

private:
    std::uint64_t m_hash = 0xCBF29CE484222325ULL;
};

// Fingerprints of the mapping both converters share, taken from either: one per 4096
// code points, and one per range of lead bytes for the decoding of every pair.
constexpr std::uint64_t kEncodePrints[16] = {
    0x24161864b3f725d6, 0xd6c9e423cdf86b25, 0xb70916f137698088, 0xcca7d22a1dbba88a,
    0x19b694a8368f951e, 0x85934d32c9b29171, 0x774543975ebac3a7, 0x64bd5d7169f56664,
    0x89ce4a3c48d681a5, 0xcdaae81685e35956, 0xac147e695fab7525, 0xc8a5f1b582c70525,
    0x724808c4b116ed25, 0x28dbdd5c675a9325, 0x92b685a09af9ec35, 0x132c594c658b72ee,
};
constexpr std::uint64_t kDecodePrints[4] = {
    0xf6f20ba1a95ea9bd,
    0x02cdafc4e1deb7a4,
    0x1645e0edf11bbd3a,
    0x92d12259e3131793,
};

}  // namespace

// The two converters give the same bytes for every BMP code point both convert, and
// decode every byte and pair alike, but for the one-sided characters above. One test on
// both systems: each compares its own converter with the fingerprints of the other's.
TEST(Cp932, BothSystemsConvertAlike)
{
#if defined(_WIN32)
    const auto& own = kWindowsOnly;
    const auto& other = kIconvOnly;
    const std::string decoded80 = "\xC2\x80";  // byte 0x80 is U+0080
#else
    const auto& own = kIconvOnly;
    const auto& other = kWindowsOnly;
    const std::string decoded80 = "\xEF\xBF\xBD";
#endif
    for (const OneSided& c : own)
        EXPECT_EQ(Cp932Value(c.cp), c.value) << std::hex << static_cast<unsigned>(c.cp);
    for (const OneSided& c : other)
        EXPECT_EQ(Cp932Value(c.cp), -1) << std::hex << static_cast<unsigned>(c.cp);
    EXPECT_EQ(Cp932ToUtf8("\x80"), decoded80);

    Fnv encode[16];
    int shared = 0;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if ((cp >= 0xD800 && cp < 0xE000) || OneSidedCodePoint(cp))
            continue;
        const std::int32_t value = Cp932Value(cp);
        encode[cp >> 12].Add(cp);
        encode[cp >> 12].Add(static_cast<std::uint32_t>(value));
        shared += value >= 0;
    }
    EXPECT_EQ(shared, 9397);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(encode[i].Value(), kEncodePrints[i])
            << "U+" << std::hex << i * 0x1000 << "..: 0x" << encode[i].Value();

    // Every single byte and every lead byte with every trail byte but 0x80, whose own
    // reading differs (above).
    Fnv decode[4];
    for (int b = 1; b < 256; ++b)
        if (b != 0x80)
            decode[0].Add(Cp932ToUtf8(std::string(1, static_cast<char>(b))));
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
        if (!IsCp932LeadByte(static_cast<unsigned char>(lead)))
            continue;
        Fnv& print = decode[lead < 0xA0 ? 0 : lead < 0xF0 ? 1 : lead < 0xFA ? 2 : 3];
        for (int trail = 1; trail < 256; ++trail) {
            if (trail == 0x80)
                continue;
            const char pair[] = {static_cast<char>(lead), static_cast<char>(trail)};
            print.Add(Cp932ToUtf8(std::string(pair, 2)));
        }
    }
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(decode[i].Value(), kDecodePrints[i]) << i << ": 0x" << std::hex << decode[i].Value();
}

#if !defined(_WIN32)
// Every BMP character converts exactly as iconv converts it from UTF-8, '?' where iconv cannot.
TEST(Cp932, EveryBmpCodePointMatchesIconv)
{
    iconv_t cd = iconv_open("CP932", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int mapped = 0;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp < 0xE000)
            continue;
        std::string in = Utf8Of(cp);
        char* inPtr = in.data();
        std::size_t inLeft = in.size();
        char out[8];
        char* outPtr = out;
        std::size_t outLeft = sizeof out;
        std::string expected = "?";
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1)) {
            expected.assign(out, outPtr);
            ++mapped;
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        ASSERT_EQ(Utf8ToCp932(in), expected) << "U+" << std::hex << static_cast<unsigned>(cp);
        const std::int32_t value = Cp932Value(cp);
        if (expected == "?" && cp != U'?') {
            ASSERT_EQ(value, -1);
        } else {
            const auto b0 = static_cast<unsigned char>(expected[0]);
            ASSERT_EQ(value, expected.size() == 1 ? b0 : b0 * 256 + static_cast<unsigned char>(expected[1]));
        }
    }
    iconv_close(cd);
    EXPECT_GT(mapped, 9000);  // JIS X 0208 with the NEC and IBM extensions
}
#else
// Every BMP character converts exactly as the system converts it without best fit, '?'
// where it cannot.
TEST(Cp932, EveryBmpCodePointMatchesTheSystem)
{
    int mapped = 0;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp < 0xE000)
            continue;
        const wchar_t in = static_cast<wchar_t>(cp);
        char out[4];
        BOOL usedDefault = FALSE;
        const int n = ::WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &in, 1, out, sizeof out, nullptr, &usedDefault);
        const std::string expected = n > 0 && !usedDefault ? std::string(out, static_cast<std::size_t>(n)) : "?";
        mapped += expected != "?" || cp == U'?';
        ASSERT_EQ(Utf8ToCp932(Utf8Of(cp)), expected) << "U+" << std::hex << static_cast<unsigned>(cp);
    }
    EXPECT_GT(mapped, 9000);  // JIS X 0208 with the NEC and IBM extensions
}

// The Windows cases of 0x5C trail bytes need a Japanese system; the program's own texts
// are code page 932 too.
TEST(Cp932, WindowsAnsiCodePageIs932)
{
    EXPECT_EQ(::GetACP(), 932u) << "under Wine: LANG=ja_JP.UTF-8";
    EXPECT_EQ(std::string("ソ表"), "\x83\x5C\x95\x5C");
}
#endif

TEST(Cp932, KnownValues)
{
    const struct {
        char32_t cp;
        std::int32_t value;
    } cases[] = {
        {U'A', 0x41},        {U'\\', 0x5C},       {U'\uFF71', 0xB1},  // half-width katakana
        {U'\u30BD', 0x835C},  // ソ: trail byte 0x5C
        {U'\u8868', 0x955C},  // 表: trail byte 0x5C
        {U'\u2460', 0x8740},  // ① only in the NEC row
        {U'\u2170', 0xFA40},  // ⅰ only in the IBM rows
        {U'\u2252', 0x81E0},  // ≒: JIS row wins over its NEC duplicate
        {U'\uFFE2', 0x81CA},  // ￢: JIS row wins over its NEC and IBM duplicates
        {U'\u20AC', -1},     {U'\U0001F600', -1}, {0x110000, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Cp932Value(c.cp), c.value) << std::hex << static_cast<unsigned>(c.cp);
}

TEST(Cp932, InvalidUtf8BytesBecomeOneQuestionMarkEach)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\xE2\x82\xAC"
         "b",
         "a?b"},  // euro sign: not in code page 932
        {"\xF0\x9F\x98\x80", "?"},  // emoji: one character, one '?'
        {"\xFF\xC3(", "?"
                      "?("},  // stray byte, lead without trail
        {"\xE3\x81", "??"},  // cut short at the end
        {"\xC0\xAF", "??"},  // overlong '/'
        {"\xED\xA0\x80", "???"},  // surrogate
        {"\xF4\x90\x80\x80", "????"},  // beyond U+10FFFF
        {"\xE3\x82\xBD", "\x83\x5C"},  // ソ
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8ToCp932(c.in), c.out) << c.in;
}

TEST(Cp932, DecodesToUtf8WithReplacement)
{
    EXPECT_EQ(Cp932ToUtf8("\x83t\x83H\x83\x8B\x83_"), U8(u8"フォルダ"));
    EXPECT_EQ(Cp932ToUtf8("a\x85\x40"
                          "b"),
              "a\xEF\xBF\xBD@b");  // an unassigned pair: one byte replaced
    EXPECT_EQ(Cp932ToUtf8("x\x83"), "x\xEF\xBF\xBD");  // lead byte at the end
    EXPECT_EQ(Cp932ToUtf8("\x87\x40\xFA\x40\xEE\xEF"), U8(u8"①ⅰⅰ"));  // NEC-selected IBM duplicate too
    EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932(U8(u8"総印刷枚数 ｱ ①"))), U8(u8"総印刷枚数 ｱ ①"));
}
