#include "printing/print_range.h"

#include <gtest/gtest.h>

#include <limits>

TEST(PrintRange, ParsePageNumberLikeAtoi)
{
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    const struct {
        const char* text;
        std::int64_t value;
    } cases[] = {
        {"", 0},
        {"12", 12},
        {"  \t12", 12},
        {"+7", 7},
        {"-3", -3},
        {"12abc", 12},
        {"abc", 0},
        {"1 2", 1},
        {"- 3", 0},
        {"０", 0},
        {"007", 7},
        {"9223372036854775807", kMax},
        {"99999999999999999999", kMax},
        {"-9223372036854775808", kMin},
        {"-99999999999999999999", kMin},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParsePageNumber(c.text), c.value) << '"' << c.text << '"';
    }
}

TEST(PrintRange, CheckOnOk)
{
    const std::string kOrder = "範囲が間違っています";
    const std::string kZero = "0ページは無効です";
    const std::string kBeyond = "ページ数を超えています";
    const struct {
        bool all;
        const char* from;
        const char* to;
        std::int64_t total;
        std::string message;  // "" = accepted
        std::int64_t wantFrom, wantTo;
    } cases[] = {
        {true, "1", "12", 12, "", 1, 12},
        {true, "9", "x", 12, "", 1, 12},  // the edits are not read
        {false, "3", "5", 12, "", 3, 5},
        {false, "12", "12", 12, "", 12, 12},
        {false, "5", "3", 12, kOrder, 0, 0},
        {false, "0", "3", 12, kZero, 0, 0},
        {false, "", "3", 12, kZero, 0, 0},
        {false, "3", "0", 12, kOrder, 0, 0},  // the order test comes first
        {false, "5", "", 12, kOrder, 0, 0},
        {false, "3", "13", 12, kBeyond, 0, 0},
        {false, "13", "14", 12, kBeyond, 0, 0},
        {false, "-2", "3", 12, kZero, 0, 0},  // negative pages are as invalid as 0
        {false, "-5", "-2", 12, kZero, 0, 0},
        {false, "1", "99999999999999999999", 12, kBeyond, 0, 0},
        {false, "65536", "65537", 2097152, "", 65536, 65537},  // no 16-bit cut
    };
    for (const auto& c : cases) {
        const PageRangeCheck check = CheckPageRange(c.all, c.from, c.to, c.total);
        EXPECT_EQ(check.ok, c.message.empty()) << c.from << "-" << c.to;
        EXPECT_EQ(check.message, c.message) << c.from << "-" << c.to;
        if (check.ok) {
            EXPECT_EQ(check.from, c.wantFrom);
            EXPECT_EQ(check.to, c.wantTo);
        }
    }
}

TEST(PrintRange, EditDigits)
{
    const struct {
        std::int64_t total;
        int digits;
    } cases[] = {
        {0, 4}, {1, 4}, {12, 4}, {9999, 4}, {10000, 5}, {2097152, 7}, {std::numeric_limits<std::int64_t>::max(), 19}};
    for (const auto& c : cases) {
        EXPECT_EQ(RangeEditDigits(c.total), c.digits) << c.total;
    }
}
