#pragma once

#include <string>
#include <string_view>

// text with every character that would act rather than show written out as "<U+XXXX>":
// control characters (a line break would split a line) and the bidirectional
// formatting characters (an override would reorder what follows it). Text in the
// system's encoding, UTF-8 on Linux; on Windows code page 932 holds only the controls.
// Everything else, also bytes that are not valid UTF-8, stays as it is.
std::string VisibleText(std::string_view text);
