#include "filelist/format_number.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(FormatNumber, Templates)
{
    const struct {
        double value;
        const char* tmpl;
        const char* expected;
    } cases[] = {
        {0, ",", "0"},
        {0, "\\,.-", "\\0.-"},
        {NAN, ",", "0"},
        {1, ",", "1"},
        {12, ",", "12"},
        {123, ",", "123"},
        {999, ",", "999"},
        {1000, ",", "1,000"},
        {1234, ",", "1,234"},
        {12345, ",", "12,345"},
        {123456, ",", "123,456"},
        {1000000, ",", "1,000,000"},
        {1234567, "", "1234567"},
        {12345, "\\,.-", "\\12,345.-"},
        {12345, "x.-y\\", "\\12345.-"},  // the three marks count wherever they stand
        {12345, ".", "12345"},  // "." alone is no suffix
        {2.5e9, ",", "2,500,000,000"},
        {6442450944.0, ",", "6,442,450,944"},
        {-1234, ",", "-1,234"},
        {-123, ",", "-123"},
        {1234.4, ",", "1,234"},
        {12345, "ソ,", "12,345"},  // ソ: on Windows its trail byte is 0x5C, still no prefix
        {12345, "表\\", "\\12345"},  // a backslash of its own after 表 (95 5C) counts
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatNumber(c.value, c.tmpl), c.expected) << c.value << " " << c.tmpl;
}

}  // namespace
