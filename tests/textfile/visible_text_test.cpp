#include "textfile/visible_text.h"

#include <gtest/gtest.h>

// What would act rather than show is written out; everything else stays byte for byte.
TEST(VisibleText, ControlsAndBidiFormattingAreShown)
{
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain.bin", "plain.bin"},
        {"a\nb\rc\td\x7f", "a<U+000A>b<U+000D>c<U+0009>d<U+007F>"},
        {std::string("nul\0.bin", 8), "nul<U+0000>.bin"},
#if !defined(_WIN32)
        {"rtl_\u202Egnp.exe", "rtl_<U+202E>gnp.exe"},
        {"\u200E\u200F\u061C\u2066\u2069\u2028\u0085", "<U+200E><U+200F><U+061C><U+2066><U+2069><U+2028><U+0085>"},
        {"表ソ 한국어 😀 שלום", "表ソ 한국어 😀 שלום"},
        {"bad\xff\xe2\x80.bin", "bad\xff\xe2\x80.bin"},  // not UTF-8: left as it is
#else
        {"\x95\x5C\x83\x5C.txt", "\x95\x5C\x83\x5C.txt"},  // code page 932 trail bytes
#endif
    };
    for (const auto& c : cases)
        EXPECT_EQ(VisibleText(c.text), c.shown) << c.shown;
}
