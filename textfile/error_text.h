#pragma once

#include <string>

// Reasons of the program's own, passed along like errno values and far above them.
// A fifo, socket or device where only a regular file will do: one could block or
// never end, and replacing one would replace a system's device.
inline constexpr int kErrNotRegularFile = 0x10001;
// A link in a sticky folder anyone may write (/tmp) that neither the user nor the
// folder's owner owns: another user may have planted it to aim our output elsewhere.
inline constexpr int kErrForeignLink = 0x10002;
// A file in such a folder that neither the user nor the folder's owner owns: another
// user may have put it there to receive what we write.
inline constexpr int kErrForeignFile = 0x10003;
// A folder where a file to read was expected.
inline constexpr int kErrFolderInput = 0x10004;

// Japanese wording for the common reasons a file operation fails (no space, no
// permission, read-only file system, not found, quota, I/O error) and for the
// program's own reasons; the system's own text for any other errno.
std::string SystemErrorText(int err);

// The reason at the end of a command-line message: the system's own text, the
// program's own reasons in Japanese with English beside them.
std::string CommandLineErrorText(int err);

// The print spooler's answer (lp, lpstat) in Japanese where it names a common cause
// (scheduler not running, printer missing, queue refusing jobs); otherwise the answer
// as the spooler wrote it, trimmed.
std::string SpoolerErrorText(const std::string& answer);
