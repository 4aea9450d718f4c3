#include "textfile/visible_text.h"

#include <gtest/gtest.h>

#include <map>

// What would act, show nothing or not be text is written out; everything else stays byte
// for byte.
TEST(VisibleText, ControlsAndBidiFormattingAreShown)
{
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"plain.bin", "plain.bin"},
        {"a\nb\rc\td\x7f", "a<U+000A>b<U+000D>c<U+0009>d<U+007F>"},
        {std::string("nul\0.bin", 8), "nul<U+0000>.bin"},
        // The lead of a written-out piece is one itself: no name spells another's.
        {"tab<U+0009>here.bin", "tab<U+003C>U+0009>here.bin"},
#if !defined(_WIN32)
        {"rtl_\u202Egnp.exe", "rtl_<U+202E>gnp.exe"},
        {"\u200E\u200F\u061C\u2066\u2069\u2028\u0085", "<U+200E><U+200F><U+061C><U+2066><U+2069><U+2028><U+0085>"},
        {"表ソ 한국어 😀 שלום　全角.bin", "表ソ 한국어 😀 שלום　全角.bin"},
        // Bytes that are not UTF-8 (a cut sequence, a surrogate, an overlong form), each apart.
        {"bad\xff\xfe_\xc3(.bin", "bad<FF><FE>_<C3>(.bin"},
        {"bad\xfe\xff_\xc3(.bin", "bad<FE><FF>_<C3>(.bin"},
        {"bad\xff\xe2\x80.bin\xed\xa0\x80\xc0\xaf", "bad<FF><E2><80>.bin<ED><A0><80><C0><AF>"},
        // What shows nothing, or only a blank like a space's.
        {"a\u200Bb\uFEFFc\u2060d\u034Fe\u00ADf", "a<U+200B>b<U+FEFF>c<U+2060>d<U+034F>e<U+00AD>f"},
        {"\u00A0\u200A\u2800\u3164\u180E\U000E0041\U000E0100",
         "<U+00A0><U+200A><U+2800><U+3164><U+180E><U+E0041><U+E0100>"},
        {"\u2764\uFE0F \U0001F468\u200D\U0001F469", "\u2764<U+FE0F> \U0001F468<U+200D>\U0001F469"},
        {"\uFFFF\U0010FFFD\uFFFD", "\uFFFF\U0010FFFD\uFFFD"},  // shown as missing, not as nothing
#else
        {"\x95\x5C\x83\x5C.txt", "\x95\x5C\x83\x5C.txt"},  // code page 932 trail bytes
        {"\x81\x40\x80", "\x81\x40<U+0080>"},  // the full-width space stays; a C1 control
        // Not read by the code page: a lead byte cut short, with a bad trail, unassigned.
        {"x\x81", "x<81>"},
        {"\x81\x20\x85\x40", "<81> <85>@"},
#endif
    };
    for (const auto& c : cases)
        EXPECT_EQ(VisibleText(c.text), c.shown) << c.shown;
}

// One name, one printed text: no two names of up to four of the pieces that could be
// mistaken for one another print alike.
TEST(VisibleText, NoTwoNamesPrintAlike)
{
    const std::string pieces[] = {"",   "<",    ">",    "U+",           "0",    "F",        " ",
                                  "\t", "\xff", "\xc3", "\xe2\x80\x8b", "\x81", "<U+0009>", "<FF>"};
    const std::size_t n = std::size(pieces);
    std::map<std::string, std::string> printed;
    for (std::size_t i = 0; i < n * n * n * n; ++i) {
        const std::string name = pieces[i % n] + pieces[i / n % n] + pieces[i / n / n % n] + pieces[i / n / n / n];
        ASSERT_EQ(printed.emplace(VisibleText(name), name).first->second, name) << VisibleText(name);
    }
}
