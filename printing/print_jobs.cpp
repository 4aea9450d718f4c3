#include "printing/print_jobs.h"

#include "draw/join_path.h"

std::vector<PrintJobFile> MarkedJobFiles(const CFileListModel& model)
{
    std::vector<PrintJobFile> jobs;
    for (const FileEntry& e : model.m_aFiles) {
        if (e.nMark != 1)
            continue;
        jobs.push_back(PrintJobFile{model.m_strFolder, e.strName, JoinPath(model.m_strFolder, e.strName),
                                    e.lSize, e.nPages});
    }
    return jobs;
}

namespace {

// Where the last component of a path begins. On Windows a code page 932 trail byte may
// be 0x5C: only a backslash that is no trail byte separates.
std::size_t NameStart(const std::string& path)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        const auto c = static_cast<unsigned char>(path[i]);
#ifdef _WIN32
        if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
            ++i;
            continue;
        }
        if (c == '\\' || c == '/' || c == ':')
            start = i + 1;
#else
        if (c == '/')
            start = i + 1;
#endif
    }
    return start;
}

}  // namespace

std::string JobOutputFile(const std::string& chosen, const std::string& printedName, std::size_t jobCount)
{
    if (jobCount <= 1)
        return chosen;
    const std::size_t nameStart = NameStart(chosen);
    // A leading dot names a hidden file, not an extension.
    const std::size_t dot = chosen.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    const std::string stem = hasExtension ? chosen.substr(0, dot) : chosen;
    const std::string extension = hasExtension ? chosen.substr(dot) : std::string(".pdf");
    return stem + "_" + printedName + extension;
}
