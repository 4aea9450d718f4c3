#include "textfile/output_file.h"

// The rules' parts that are the same on every system; output_file_posix.cpp and
// output_file_windows.cpp hold the rest.

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
