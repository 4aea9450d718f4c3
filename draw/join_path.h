#pragma once

#include <cstddef>
#include <string>

// The two rule sets for joining a folder and a name.
enum class PathRules {
    Windows,  // backslash, drive colon, code page 932 lead bytes, 260-byte budget
    Posix,  // slash, 4096-byte budget
};

// The rules of the platform the program runs on.
PathRules NativePathRules();

// Folder and name joined into one validated path, or "" when either is rejected.
std::string JoinPath(const std::string& folder, const std::string& name, PathRules rules);
inline std::string JoinPath(const std::string& folder, const std::string& name)
{
    return JoinPath(folder, name, NativePathRules());
}

// The most bytes a path joined under rules may take: a longer one names no file or folder.
std::size_t PathBudget(PathRules rules);
