#pragma once

#include "filelist/file_entry.h"

#include <string>
#include <vector>

class CTextFileWriter;

// Writes the list as CSV lines (code page 932, CR LF, no byte-order mark).
// False when a write failed.
[[nodiscard]] bool WriteListCsv(CTextFileWriter& writer, const std::string& folder,
                                const std::vector<FileEntry>& files);

// Saves the CSV at path: written to a temporary file beside it and renamed over it
// only when complete, so a failure leaves an earlier file as it was. On failure
// returns false and puts a message naming the file in *error.
[[nodiscard]] bool SaveListAsCsv(const std::string& path, const std::string& folder,
                                 const std::vector<FileEntry>& files, std::string* error);
