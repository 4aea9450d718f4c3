#pragma once

#include <cstdint>
#include <string>

// Code page 932 through iconv ("CP932", with the NEC and IBM extensions).

// UTF-8 text as code page 932 bytes; each character code page 932 lacks, and each
// byte that is not valid UTF-8, becomes '?'.
std::string Utf8ToCp932(const std::string& utf8);

// Code page 932 bytes as UTF-8 (for program texts and tests); undecodable bytes become U+FFFD.
std::string Cp932ToUtf8(const std::string& cp932);

// The code page 932 value of one Unicode code point: a byte, lead x 256 + trail, or -1.
std::int32_t Cp932Value(char32_t codePoint);
