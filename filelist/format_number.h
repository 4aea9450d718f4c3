#pragma once

#include <string>

// The list's number text: rounded to a whole number; the template's backslash adds a
// leading backslash, a comma groups digits in threes, ".-" adds a ".-" suffix.
std::string FormatNumber(double value, const std::string& strTemplate);
