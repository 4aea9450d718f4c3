#pragma once

#include <string>
#include <string_view>

// What a killed run leaves behind (a work folder, a temporary output) and how a later run
// tells it from a look-alike of the user's: a sweep removes only what a run of this
// program made, and leaves anything else whole.

// One kind of leftover.
struct LeftoverForm {
    std::string_view prefix;  // then six letters or digits, as mkdtemp and mkstemp make them
    // A folder (mode 0700) that holds at most this one file (mode 0600); "" for a file
    // (mode 0600) of its own.
    std::string_view inner;
};

// name is prefix and six letters or digits.
bool HasLeftoverName(std::string_view name, std::string_view prefix);

// head, the first bytes of a file, are how the program's files start: a dump's text, a
// PDF, the CSV list. A file a kill cut short may hold only a part of such a start, or
// nothing at all: an empty file loses nobody anything.
bool IsProgramsContent(std::string_view head);
// The bytes IsProgramsContent needs.
inline constexpr std::size_t kContentHeadSize = 16;

#if !defined(_WIN32)
// Removes from folder what killed runs of this user left in the given form: the exact
// name, a real folder or file with no other link, the user's own, in its mode, with
// nobody holding its lock (flock), its file's content the program's. (Windows, whose
// leftovers are made and locked otherwise, has scans of its own.)
void RemoveLeftovers(const std::string& folder, const LeftoverForm& form);
#endif
