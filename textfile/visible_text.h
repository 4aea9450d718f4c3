#pragma once

#include <string>
#include <string_view>

// A name as a record shows it: what would act, show nothing or be lost on the way to the
// page is written out, so that two names never print alike and the printed text decodes
// back to the name's exact bytes. Text in the system's encoding: UTF-8 on Linux, the ANSI
// code page (932) on Windows.
//
// "<" always begins a written-out piece, which ends at the next ">":
//   <U+XXXX>  one character, by its code point (4 to 6 upper-case hex digits), standing
//             for its bytes in the system's encoding;
//   <XX>      one byte (2 upper-case hex digits) that is not part of a character of that
//             encoding (not valid UTF-8; on Windows not read by the code page);
// every other byte stands for itself. Written out are "<" itself (<U+003C>), the controls
// (C0, DEL, C1), the line and paragraph separators, the format characters (Cf: bidi
// marks, zero-width and invisible characters, soft hyphen, byte-order mark, tags), the
// other default-ignorable code points (variation selectors, the combining grapheme
// joiner, Hangul fillers), the spaces other than U+0020 and U+3000 (each looks like one
// of those or like nothing), and U+2800, the blank braille pattern. Text holding none of
// these comes back byte for byte.
std::string VisibleText(std::string_view text);
