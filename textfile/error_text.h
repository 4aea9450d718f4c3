#pragma once

#include <string>

// Japanese wording for the common reasons a file operation fails (no space, no
// permission, read-only file system, not found, quota, I/O error); the system's own
// text for any other errno.
std::string SystemErrorText(int err);

// The print spooler's answer (lp, lpstat) in Japanese where it names a common cause
// (scheduler not running, printer missing, queue refusing jobs); otherwise the answer
// as the spooler wrote it, trimmed.
std::string SpoolerErrorText(const std::string& answer);
