#pragma once

#include "textfile/io_error.h"

#include <string>

// Japanese wording for the common reasons a file operation fails (no space, no
// permission, read-only file system, not found, quota, I/O error) and for the
// program's own reasons; the system's own text for any other errno.
std::string SystemErrorText(std::error_code err);

// The reason at the end of a command-line message: the system's own text, the
// program's own reasons in Japanese with English beside them.
std::string CommandLineErrorText(std::error_code err);

// The print spooler's answer (lp, lpstat) in Japanese where it names a common cause
// (scheduler not running, printer missing, queue refusing jobs); otherwise the answer
// as the spooler wrote it, trimmed.
std::string SpoolerErrorText(const std::string& answer);
