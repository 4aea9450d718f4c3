#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// File names as the program holds them: bytes in the system's encoding (UTF-8 on Linux;
// on Windows the ANSI code page, 932 on a Japanese system). On Windows every call that
// names a file goes to the system's wide function with the name read as the ANSI code
// page reads it, and every name the system hands back comes into the ANSI code page
// without best fit.

// fopen by such a name.
std::FILE* OpenStream(const std::string& path, const char* mode);

// Such a name as std::filesystem takes it, and back. Its own conversion of a narrow name
// on Windows reads the bytes one by one and writes UTF-8: a Japanese name would come back
// as another.
std::filesystem::path ToFileSystemPath(const std::string& name);
std::string FromFileSystemPath(const std::filesystem::path& path);

// Where the last component of a path begins: after its last slash; on Windows also after
// a backslash or a drive colon that is no trail byte of a double-byte character
// ("\x83\x5C" is one character).
std::size_t PathNameStart(const std::string& path);

// The program's arguments in place of main's argc and argv for as long as it lives: on
// Windows those of the wide command line (CommandLineToArgvW), each in the ANSI code page
// without best fit. The C runtime's own argv converts with best fit, so a name holding
// U+00A5 would reach the program holding a backslash, the name of another file. On Linux
// main's own are the system's.
class CAnsiArguments {
public:
    CAnsiArguments(int& argc, char**& argv);
    CAnsiArguments(const CAnsiArguments&) = delete;
    CAnsiArguments& operator=(const CAnsiArguments&) = delete;

private:
    std::vector<std::string> m_args;
    std::vector<char*> m_argv;
};

#if defined(_WIN32)

// The name as the wide functions take it: MultiByteToWideChar with CP_ACP, the reading
// the ANSI functions themselves give it.
std::wstring WideName(const std::string& name);

// A name the system gives as wide text, in the ANSI code page without best fit: a
// character the code page lacks becomes '?', which names no file. Best fit would make
// another name of it (U+00A5 becomes a backslash under code page 932).
std::string AnsiName(const wchar_t* name, std::size_t size);
std::string AnsiName(const std::wstring& name);

// Where each character of a text in the ANSI code page begins: a lead byte and the byte
// after it are one character.
std::vector<std::size_t> CharacterStarts(const std::string& text);

// The folder with a separator at its end, where a name can follow: added unless it ends
// in one already (not a trail byte that happens to be 0x5C).
std::string WithSeparator(const std::string& folder);

// The errno that stands for a system error code.
int ErrnoFromSystem(unsigned long error);

#endif
