#include "textfile/output_file.h"

#include "textfile/output_file_names.h"

// The rules' parts that are the same on every system; output_file_posix.cpp and
// output_file_windows.cpp hold the rest.

bool IsTempName(std::string_view name)
{
    constexpr std::size_t prefix = sizeof kTempPrefix - 1;
    if (name.size() != prefix + 6 || name.substr(0, prefix) != kTempPrefix)
        return false;
    for (const char ch : name.substr(prefix))
        if (!((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')))
            return false;
    return true;
}

std::string InputThatIs(const FileId& id, const std::vector<std::string>& inputs)
{
    for (const std::string& input : inputs) {
        const std::optional<FileId> other = FileIdOf(input);
        if (other && other->device == id.device && other->index == id.index)
            return input;
    }
    return {};
}

COutputFile::~COutputFile()
{
    Abandon();
}
