#pragma once

#include <QString>

#include <string>
#include <string_view>

// The program's strings hold the system's multibyte text: UTF-8 on Linux, the ANSI code
// page on Windows (932 on a Japanese system), its own texts compiled so too. They meet
// Qt only through these, never through UTF-8 on Windows.
QString ToQt(std::string_view text);
// On Windows without best fit: a character the code page lacks becomes '?', which names
// no file, where best fit would make another name of it (U+00A5 becomes a backslash).
std::string FromQt(const QString& text);
