#pragma once

#include <cstdint>
#include <string>

// Opens path for reading only when it is a regular file: looked at first (a link
// followed), so that a device, fifo or socket named as an input is never opened (a tape
// would rewind, a watchdog arm, a fifo's writer wake), then checked again on the open
// descriptor, which names what was really opened. 0 with *fd open for reading and
// *length its length (*modified its modification time in seconds, when asked), else the errno: kErrFolderInput for a
// folder, kErrNotRegularFile for anything else that is no regular file.
[[nodiscard]] int OpenInputFile(const std::string& path, int* fd, std::int64_t* length,
                                std::int64_t* modified = nullptr);
void CloseInputFile(int fd);
