#include "draw/join_path.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

struct JoinCase {
    std::string folder;
    std::string name;
    std::string expected;  // "" when rejected
};

void PrintTo(const JoinCase& c, std::ostream* os)
{
    *os << c.folder.size() << "+" << c.name.size() << " bytes";
}

class WindowsJoin : public ::testing::TestWithParam<JoinCase> {};
class PosixJoin : public ::testing::TestWithParam<JoinCase> {};

TEST_P(WindowsJoin, Joins)
{
    EXPECT_EQ(JoinPath(GetParam().folder, GetParam().name, PathRules::Windows), GetParam().expected);
}

TEST_P(PosixJoin, Joins)
{
    EXPECT_EQ(JoinPath(GetParam().folder, GetParam().name, PathRules::Posix), GetParam().expected);
}

// The folder "C:\" followed by n 'x' bytes: 3 + n bytes.
std::string WinFolder(std::size_t n)
{
    return "C:\\" + std::string(n, 'x');
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowsJoin,
    ::testing::Values(JoinCase{"C:\\data", "a.bin", "C:\\data\\a.bin"}, JoinCase{"C:\\", "a.bin", "C:\\a.bin"},
                      JoinCase{"C:\\data", "*.*", "C:\\data\\*.*"}, JoinCase{"", "a.bin", "a.bin"},
                      JoinCase{"C:\\data", "", "C:\\data\\"}, JoinCase{"", "", ""}, JoinCase{"C:", "a.bin", "C:a.bin"},
                      // Network share: two leading backslashes only.
                      JoinCase{"\\\\server\\share", "a.bin", "\\\\server\\share\\a.bin"},
                      JoinCase{"\\\\\\server", "a.bin", ""},
                      // Rejected characters, in either part.
                      JoinCase{"C:\\data", "a,b", ""}, JoinCase{"C:\\data", "a;b", ""}, JoinCase{"C:\\da\"ta", "a", ""},
                      JoinCase{"C:\\data", "a/b", ""}, JoinCase{"C:\\data", "a<b", ""}, JoinCase{"C:\\data", "a>b", ""},
                      JoinCase{"C:\\data", "a|b", ""},
                      // Doubled separators, also the one formed with the inserted separator.
                      JoinCase{"C:\\data\\", "\\a.bin", ""}, JoinCase{"C:\\data", "\\a.bin", ""},
                      JoinCase{"C:\\data\\\\x", "a", ""}, JoinCase{"C:\\data\\", "a.bin", "C:\\data\\a.bin"},
                      // Colon only as the drive's.
                      JoinCase{"1:\\data", "a", ""}, JoinCase{"C:\\data", "a:b", ""}, JoinCase{"", "C:x", "C:x"},
                      JoinCase{"CD:\\", "a", ""},
                      // Control characters and bytes outside the code page are refused, blanks pass.
                      JoinCase{"C:\\data",
                               "a\x01"
                               "b",
                               ""},
                      JoinCase{"C:\\data", "a\x7F", ""}, JoinCase{"C:\\data", std::string("a\0b", 3), ""},
                      JoinCase{"C:\\data", "\xA0", ""}, JoinCase{"C:\\data", "a b\t", "C:\\data\\a b\t"},
                      // Half-width katakana; double-byte names whose trail byte is 0x5C or 0x7C stay intact.
                      JoinCase{"C:\\data", "\xB1\xDF", "C:\\data\\\xB1\xDF"},
                      JoinCase{"C:\\\x83\x5C", "\x83\x5C.bin", "C:\\\x83\x5C\\\x83\x5C.bin"},
                      JoinCase{"C:\\data", "\x95\x7C", "C:\\data\\\x95\x7C"},
                      JoinCase{"C:\\data", "\xE0\x5C\\x", "C:\\data\\\xE0\x5C\\x"},
                      // A part ending right after a lead byte.
                      JoinCase{"C:\\data", "a\x83", ""}, JoinCase{"C:\\data\x83", "a", ""},
                      // Budget: 260 stored bytes, the inserted separator included.
                      JoinCase{WinFolder(251), "a.bin", WinFolder(251) + "\\a.bin"},
                      JoinCase{WinFolder(252), "a.bin", ""}, JoinCase{WinFolder(257), "", ""},
                      JoinCase{WinFolder(256), "", WinFolder(256) + "\\"},
                      // A pair needs both of its units.
                      JoinCase{WinFolder(252), "ab\x83\x5C", WinFolder(252) + "\\ab\x83\x5C"},
                      JoinCase{WinFolder(252), "abc\x83\x5C", ""}));

INSTANTIATE_TEST_SUITE_P(
    Cases, PosixJoin,
    ::testing::Values(JoinCase{"/data", "a.bin", "/data/a.bin"}, JoinCase{"/", "a.bin", "/a.bin"},
                      JoinCase{"/data/", "a.bin", "/data/a.bin"}, JoinCase{"", "a.bin", "a.bin"},
                      JoinCase{"/data", "", "/data/"}, JoinCase{"/data", "*.*", "/data/*.*"},
                      JoinCase{"/data", "a/b", ""}, JoinCase{"/data", "/a", ""},
                      // A doubled separator in the folder is the system's business, as it names the
                      // same folder there.
                      JoinCase{"//data", "a", "//data/a"}, JoinCase{"/da//ta", "a", "/da//ta/a"},
                      JoinCase{"/data//", "a", "/data//a"}, JoinCase{"dir//sub", "*.*", "dir//sub/*.*"},
                      JoinCase{"/data", std::string("a\0b", 3), ""},
                      // Any other byte is the file system's business.
                      JoinCase{"/data", "line\nbreak", "/data/line\nbreak"},
                      JoinCase{"/data", "\xFF\xFE\x83\x5C", "/data/\xFF\xFE\x83\x5C"},
                      JoinCase{"/data", "a,b;c\\d:e|\x01", "/data/a,b;c\\d:e|\x01"},
                      JoinCase{"/data", "\xF0\x9F\x98\x80", "/data/\xF0\x9F\x98\x80"},
                      // Budget: 4096 bytes.
                      JoinCase{"/" + std::string(4090, 'd'), "abcd", "/" + std::string(4090, 'd') + "/abcd"},
                      JoinCase{"/" + std::string(4090, 'd'), "abcde", ""}));

// The bounds of the code page 932 byte classes: lead bytes 81-9F and E0-FC take the
// next byte with them, whatever it is; A1-DF are single half-width katakana; 80, A0
// and FD are none of these and are refused. A byte alone at the end of the name, and
// the byte before two backslashes, tell the three classes apart: a lead byte alone is
// cut short, and it takes the first backslash as its trail byte.
TEST(JoinPath, WindowsByteClassBounds)
{
    enum Class { Lead, Kana, Refused };
    const struct {
        unsigned char byte;
        Class kind;
    } cases[] = {{0x80, Refused}, {0x81, Lead}, {0x9F, Lead}, {0xA0, Refused}, {0xA1, Kana},
                 {0xDF, Kana},    {0xE0, Lead}, {0xFC, Lead}, {0xFD, Refused}};
    for (const auto& c : cases) {
        const std::string b(1, static_cast<char>(c.byte));
        const std::string alone = JoinPath("C:\\d", b, PathRules::Windows);
        const std::string beforeTwo = JoinPath("C:\\d", b + "\\\\x", PathRules::Windows);
        EXPECT_EQ(alone, c.kind == Kana ? "C:\\d\\" + b : "") << std::hex << int(c.byte);
        EXPECT_EQ(beforeTwo, c.kind == Lead ? "C:\\d\\" + b + "\\\\x" : "") << std::hex << int(c.byte);
    }
}

TEST(JoinPath, NativeRules)
{
#if defined(_WIN32)
    EXPECT_EQ(NativePathRules(), PathRules::Windows);
#else
    EXPECT_EQ(NativePathRules(), PathRules::Posix);
    EXPECT_EQ(JoinPath("/data", "a.bin"), "/data/a.bin");
#endif
}

}  // namespace
