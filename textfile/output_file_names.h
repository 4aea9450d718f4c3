#pragma once

#include <cstddef>
#include <string_view>

// What the two halves of the output rules (POSIX and Windows) share.

inline constexpr char kTempPrefix[] = ".vantrel-";

// ".vantrel-" and six letters or digits: a name COutputFile makes, never a user's.
bool IsTempName(std::string_view name);
