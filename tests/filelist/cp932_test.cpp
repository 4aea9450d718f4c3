#include "filelist/cp932.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <string>

namespace {

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

// Every BMP character converts exactly as iconv converts it from UTF-8, '?' where iconv cannot.
TEST(Cp932, EveryBmpCodePointMatchesIconv)
{
    iconv_t cd = iconv_open("CP932", "UTF-8");
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    int mapped = 0;
    for (char32_t cp = 0; cp < 0x10000; ++cp) {
        if (cp >= 0xD800 && cp < 0xE000) continue;
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

TEST(Cp932, KnownValues)
{
    const struct {
        char32_t cp;
        std::int32_t value;
    } cases[] = {
        {U'A', 0x41},      {U'\\', 0x5C},     {U'\uFF71', 0xB1},  // half-width katakana
        {U'\u30BD', 0x835C},  // ソ: trail byte 0x5C
        {U'\u2460', 0x8740},  // ① only in the NEC row
        {U'\u2170', 0xFA40},  // ⅰ only in the IBM rows
        {U'\u2252', 0x81E0},  // ≒: JIS row wins over its NEC duplicate
        {U'\u20AC', -1},   {U'\U0001F600', -1}, {0x110000, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(Cp932Value(c.cp), c.value) << std::hex << static_cast<unsigned>(c.cp);
}

TEST(Cp932, InvalidUtf8BytesBecomeOneQuestionMarkEach)
{
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a\xE2\x82\xAC" "b", "a?b"},           // euro sign: not in code page 932
        {"\xF0\x9F\x98\x80", "?"},             // emoji: one character, one '?'
        {"\xFF\xC3(", "?" "?("},                  // stray byte, lead without trail
        {"\xE3\x81", "??"},                     // cut short at the end
        {"\xC0\xAF", "??"},                     // overlong '/'
        {"\xED\xA0\x80", "???"},                // surrogate
        {"\xF4\x90\x80\x80", "????"},           // beyond U+10FFFF
        {"\xE3\x82\xBD", "\x83\x5C"},           // ソ
    };
    for (const auto& c : cases) EXPECT_EQ(Utf8ToCp932(c.in), c.out) << c.in;
}

TEST(Cp932, DecodesToUtf8WithReplacement)
{
    EXPECT_EQ(Cp932ToUtf8("\x83t\x83H\x83\x8B\x83_"), "フォルダ");
    EXPECT_EQ(Cp932ToUtf8("a\x80" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(Cp932ToUtf8("x\x83"), "x\xEF\xBF\xBD");  // lead byte at the end
    EXPECT_EQ(Cp932ToUtf8(Utf8ToCp932("総印刷枚数 ｱ ①")), "総印刷枚数 ｱ ①");
}

}  // namespace
