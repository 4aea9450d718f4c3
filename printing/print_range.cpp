#include "printing/print_range.h"

#include <cstdint>
#include <limits>

namespace {

bool IsSpace(char ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}

}  // namespace

std::int64_t ParsePageNumber(const std::string& text)
{
    std::size_t pos = 0;
    while (pos < text.size() && IsSpace(text[pos])) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Accumulate toward the sign's side so that INT64_MIN is reachable; saturate, never wrap.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        const int digit = text[pos] - '0';
        if (negative) {
            value = value < (kMin + digit) / 10 ? kMin : value * 10 - digit;
        } else {
            value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
        }
    }
    return value;
}

PageRangeCheck CheckPageRange(bool allPages, const std::string& fromText, const std::string& toText,
                              std::int64_t totalPages)
{
    PageRangeCheck check;
    if (allPages) {
        check.ok = true;
        check.from = 1;
        check.to = totalPages;
        return check;
    }
    check.from = ParsePageNumber(fromText);
    check.to = ParsePageNumber(toText);
    if (check.from > check.to) {
        check.message = "範囲が間違っています";
    } else if (check.from < 1 || check.to < 1) {
        // A negative page is as invalid as page 0.
        check.message = "0ページは無効です";
    } else if (check.from > totalPages || check.to > totalPages) {
        check.message = "ページ数を超えています";
    } else {
        check.ok = true;
    }
    return check;
}

int RangeEditDigits(std::int64_t totalPages)
{
    int digits = 1;
    for (std::int64_t value = totalPages; value >= 10; value /= 10) {
        ++digits;
    }
    return digits < 4 ? 4 : digits;
}
