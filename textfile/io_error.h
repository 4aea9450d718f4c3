#pragma once

#include <system_error>
#include <type_traits>

// How the core's file operations say they failed: a std::error_code, empty when nothing
// failed. Its category says whose reason it is (the system's errno, or the program's own
// below) and its value which, so a caller words every failure the same way (error_text.h).

// The program's own reasons a file is refused.
enum class IoReason {
    // A fifo, socket or device where only a regular file will do: one could block or never
    // end, and replacing one would replace a system's device.
    NotRegularFile = 1,
    // A link in a folder others may write that neither the user nor the folder's owner
    // owns: another user may have planted it to aim our output elsewhere.
    ForeignLink,
    // A file there that neither the user nor the folder's owner owns: another user may
    // have put it there to receive what we write.
    ForeignFile,
    // A folder where a file to read was expected.
    FolderInput,
};

template <> struct std::is_error_code_enum<IoReason> : std::true_type {
};

// std's name, found by argument lookup: lets an IoReason stand where an error code goes.
std::error_code make_error_code(IoReason reason);

// The errno of a failed call; 0 (a call that failed without saying why) becomes EIO.
std::error_code SystemError(int err);
