#pragma once

#include "textfile/io_error.h"

#include <cstdint>
#include <string>

// Opens path for reading only when it is a regular file: looked at first (a link
// followed), so that a device, fifo or socket named as an input is never opened (a tape
// would rewind, a watchdog arm, a fifo's writer wake), then checked again on the open
// descriptor, which names what was really opened. Nothing failed: *fd is open for reading,
// *length its length (*modified its modification time in seconds, when asked). Else why:
// the system's, IoReason::FolderInput for a folder, IoReason::NotRegularFile for anything
// else that is no regular file.
[[nodiscard]] std::error_code OpenInputFile(const std::string& path, int* fd, std::int64_t* length,
                                            std::int64_t* modified = nullptr);
void CloseInputFile(int fd);
