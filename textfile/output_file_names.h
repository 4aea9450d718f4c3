#pragma once

#include <cstddef>
#include <string_view>

// What the two halves of the output rules (POSIX and Windows) share.

// Then six letters or digits: the name of a temporary output.
inline constexpr char kTempPrefix[] = ".vantrel-";
