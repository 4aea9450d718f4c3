#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

// What the two halves of the work file (POSIX and Windows) give the class: where its
// private folder goes, how it is made, locked, checked and removed.
namespace work_folder {

inline constexpr char kWorkFileName[] = "WkFile.txt";
inline constexpr char kFolderPrefix[] = "vantrel-";

std::string InFolder(const std::string& folder, const std::string& name);
// A new private folder under given (the system's place when empty), locked while lockFd
// stays open; "" when none can be made.
std::string MakePrivateFolder(const std::string& given, int* lockFd);
// Removes the folder (when remove) while still holding its lock, then lets the lock go.
void ReleaseFolder(const std::string& folder, int lockFd, bool remove);
// The bases a run cleans, and what a killed run left in one of them.
std::vector<std::string> SweptBases(const std::string& given);
void RemoveStaleFoldersIn(const std::string& base);
// A real folder (no link), ours, that nobody else may enter.
bool FolderIsOurs(const std::string& folder);
void RemoveFileAt(const std::string& path);
// Where a folder would be made, for messages.
std::string BaseForMessages(const std::string& given);
// A new file at path, never through a link, open for writing in *stream.
std::error_code CreateNewFile(const std::string& path, std::FILE** stream);
// Bytes free in folder; -1 when that cannot be told.
std::int64_t FreeBytesIn(const std::string& folder);

}  // namespace work_folder
