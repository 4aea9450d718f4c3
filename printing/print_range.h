#pragma once

#include <cstdint>
#include <string>

// The page-range dialog's check on OK.
struct PageRangeCheck {
    bool ok = false;
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::string message;  // the message to show when not ok
};

// allPages: the "全ページ印刷" choice; the edits are then not read.
PageRangeCheck CheckPageRange(bool allPages, const std::string& fromText, const std::string& toText,
                              std::int64_t totalPages);

// atoi of an edit's text; empty gives 0.
std::int64_t ParsePageNumber(const std::string& text);

// Digits the range edits accept: as many as the total has, at least 4.
int RangeEditDigits(std::int64_t totalPages);
