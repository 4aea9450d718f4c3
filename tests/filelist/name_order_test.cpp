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
    if (std::lexicographical_compare(ka.begin(), ka.end(), kb.begin(), kb.end())) return -1;
    return ka == kb ? 0 : 1;
}

// Each name sorts strictly before every later one, by both the comparison and the keys.
TEST(NameOrder, AscendingSequence)
{
    const std::vector<std::string> names = {
        "",
        "1.txt",
        "a",
        "a.txt",            // a name that ends first sorts first
        "A.txt2",
        "b.txt",
        "Z",
        "_x.txt",           // '_' (0x5F) after every letter, folded or not
        "~",
        "\xEF\xBD\xB1",     // ｱ half-width katakana (0xB1): after all ASCII
        "\xEF\xBC\xA1" "b", // Ａb (0x8260)
        "\xEF\xBD\x81" "c", // ａc folds to Ａc
        "\xE3\x82\xA2",     // ア (0x8341)
        "\xE6\xBC\xA2",     // 漢 (0x8ABF)
        "\xE2\x85\xB0",     // ⅰ (0xFA40), IBM extension
        "\xE2\x82\xAC",     // € (code page 932 lacks it): after every character it holds
        "\x80",             // invalid UTF-8 bytes weigh as U+DC80..U+DCFF would
        "\xFF",
        "\xF0\x9F\x98\x80", // emoji, by its code point
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
        {"\xEF\xBD\x81\xEF\xBD\x9A", "\xEF\xBC\xA1\xEF\xBC\xBA"},  // ａｚ and ＡＺ
    };
    for (const auto& [a, b] : equal) {
        EXPECT_EQ(CompareNames(a, b), 0) << a;
        EXPECT_EQ(CompareKeys(a, b), 0) << a;
    }
    // Only a-z fold: Greek and accented letters keep their own values.
    EXPECT_NE(CompareNames("\xCE\xB1", "\xCE\x91"), 0);  // α, Α
}

TEST(NameOrder, InvalidBytesWeighAfterCharactersCodePage932Lacks)
{
    std::vector<std::uint32_t> key;
    AppendNameKey(std::string("a\xC3(\xE2\x82\xAC", 6), key);
    const std::vector<std::uint32_t> expected = {0x41, 0x10000 + 0xDC00 + 0xC3, 0x28, 0x10000 + 0x20AC};
    EXPECT_EQ(key, expected);
}

}  // namespace
