#include "filelist/name_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

int Sign(int v)
{
    return (v > 0) - (v < 0);
}

int CompareKeys(const std::string& a, const std::string& b)
{
    std::vector<std::uint32_t> ka, kb;
    AppendNameKey(a, ka);
    AppendNameKey(b, kb);
    if (std::lexicographical_compare(ka.begin(), ka.end(), kb.begin(), kb.end()))
        return -1;
    return ka == kb ? 0 : 1;
}

// Each name sorts strictly before every later one, by both the comparison and the keys.
// The names are the program's strings: UTF-8 on Linux, code page 932 on Windows.
TEST(NameOrder, AscendingSequence)
{
    const std::vector<std::string> names = {
        "",
        "1.txt",
        "a",
        "a.txt",  // a name that ends first sorts first
        "A.txt2",
        "b.txt",
        "Z",
        "_x.txt",  // '_' (0x5F) after every letter, folded or not
        "~",
#if defined(_WIN32)
        "\x80",  // a single byte of code page 932's own, before the katakana
#endif
        "ｱ",  // half-width katakana (0xB1): after all ASCII
#if defined(_WIN32)
        "\xFC",  // a lead byte with no trail byte weighs its own value
#endif
        "Ａb",  // 0x8260
        "ａc",  // folds to Ａc
        "ア",  // 0x8341
        "ソ",  // 0x835C, its trail byte the backslash's
        "漢",  // 0x8ABF
        "表",  // 0x955C
        "ⅰ",  // 0xFA40, IBM extension
#if !defined(_WIN32)
        "€",  // code page 932 lacks it: after every character it holds
        "\x80",  // invalid UTF-8 bytes weigh as U+DC80..U+DCFF would
        "\xFF",
        "😀",  // emoji, by its code point
#endif
    };
    for (std::size_t i = 0; i < names.size(); ++i) {
        for (std::size_t j = 0; j < names.size(); ++j) {
            const int expected = i < j ? -1 : i > j ? 1 : 0;
            EXPECT_EQ(Sign(CompareNames(names[i], names[j])), expected) << i << " vs " << j;
            EXPECT_EQ(CompareKeys(names[i], names[j]), expected) << i << " vs " << j;
        }
    }
}

TEST(NameOrder, CaseFoldedNamesCompareEqual)
{
    const std::pair<std::string, std::string> equal[] = {
        {"readme.TXT", "README.txt"},
        {"ａｚ", "ＡＺ"},
    };
    for (const auto& [a, b] : equal) {
        EXPECT_EQ(CompareNames(a, b), 0) << a;
        EXPECT_EQ(CompareKeys(a, b), 0) << a;
    }
    // Only a-z fold: Greek and accented letters keep their own values.
    EXPECT_NE(CompareNames("α", "Α"), 0);
}

#if defined(_WIN32)
// Windows names are code page 932 bytes: a pair is one character, whatever its trail
// byte, and a lead byte left alone at the end is one byte.
TEST(NameOrder, CodePage932BytesWeighTheirOwnValues)
{
    std::vector<std::uint32_t> key;
    AppendNameKey(std::string("a\x83\x5C\\\x95\x5Cz\x83", 8), key);
    const std::vector<std::uint32_t> expected = {0x41, 0x835C, 0x5C, 0x955C, 0x5A, 0x83};
    EXPECT_EQ(key, expected);
}
#else
TEST(NameOrder, InvalidBytesWeighAfterCharactersCodePage932Lacks)
{
    std::vector<std::uint32_t> key;
    AppendNameKey(std::string("a\xC3(\xE2\x82\xAC", 6), key);
    const std::vector<std::uint32_t> expected = {0x41, 0x10000 + 0xDC00 + 0xC3, 0x28, 0x10000 + 0x20AC};
    EXPECT_EQ(key, expected);
}
#endif

}  // namespace
