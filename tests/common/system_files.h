#pragma once

// What the tests ask of the file system, by the program's own strings (UTF-8 on Linux,
// the ANSI code page on Windows) and on both systems. The bodies live in
// system_files.cpp: <windows.h>, whose GDI names (TextOut, RGB, COLORREF) clash with
// CDC's own, stays out of every test that includes this.

#include <cstdint>
#include <filesystem>
#include <string>

namespace sysfiles {

#if defined(_WIN32)
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

int ProcessId();

// folder and name with the system's separator, byte for byte: a code page 932 name goes
// through untouched, as std::filesystem would not take it on Windows.
inline std::string Join(const std::string& folder, const std::string& name)
{
    return folder + kSeparator + name;
}

// Writes bytes at offset, leaving what lies before it (a hole in a new file).
bool WriteAt(const std::string& path, std::uint64_t offset, const std::string& bytes);

// A file of size bytes that holds no data: sparse where the file system allows.
bool MakeSizedFile(const std::string& path, std::int64_t size);

// No write for anyone: mode 0444 on Linux, the read-only attribute on Windows.
bool MakeReadOnly(const std::string& path);

#if !defined(_WIN32)
// A socket of the test's own at path, left bound (its descriptor closed): a file that is
// no file, as a device is, without touching one of the system's.
int BindSocket(const std::string& path);
#endif

// Removes a test's folder with all it holds; on Windows read-only files too, which
// refuse to go while the attribute is set.
void RemoveTree(const std::filesystem::path& folder);

}  // namespace sysfiles
