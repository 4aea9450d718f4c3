#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The list's name order: _mbsicmp under code page 932. Each character weighs its
// code page 932 value (lead x 256 + trail for a double-byte one) after folding a-z
// and full-width a-z to upper case. Names in UTF-8 (Linux): a character code page 932
// lacks weighs 0x10000 + its code point; a byte that is not valid UTF-8 weighs
// 0x10000 + 0xDC00 + byte. Names in code page 932 (Windows) are weighed by their bytes.

// Appends one weight per character of name.
void AppendNameKey(const std::string& name, std::vector<std::uint32_t>& key);
void AppendNameKey(const char* name, std::size_t size, std::vector<std::uint32_t>& key);

// Negative, zero or positive as a sorts before, with or after b.
int CompareNames(const std::string& a, const std::string& b);
