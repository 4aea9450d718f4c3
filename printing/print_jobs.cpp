#include "printing/print_jobs.h"

#include "draw/join_path.h"
#include "textfile/ansi_names.h"

std::vector<PrintJobFile> MarkedJobFiles(const CFileListModel& model)
{
    std::vector<PrintJobFile> jobs;
    for (const FileEntry& e : model.m_aFiles) {
        if (e.nMark != 1)
            continue;
        jobs.push_back(
            PrintJobFile{model.m_strFolder, e.strName, JoinPath(model.m_strFolder, e.strName), e.lSize, e.nPages});
    }
    return jobs;
}

std::string JobOutputFile(const std::string& chosen, const std::string& printedName, std::size_t jobCount)
{
    if (jobCount <= 1)
        return chosen;
    const std::size_t nameStart = PathNameStart(chosen);
    // A leading dot names a hidden file, not an extension.
    const std::size_t dot = chosen.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    const std::string stem = hasExtension ? chosen.substr(0, dot) : chosen;
    const std::string extension = hasExtension ? chosen.substr(dot) : std::string(".pdf");
    return stem + "_" + printedName + extension;
}

CChainFiles::CChainFiles(const std::vector<PrintJobFile>& jobs)
{
    m_inputs.reserve(jobs.size());
    for (const PrintJobFile& job : jobs)
        if (const std::optional<FileId> id = FileIdOf(job.strPath))
            m_inputs.emplace(Key(*id), job.strPath);  // the first keeps its place
}

const std::string& CChainFiles::InputThatIs(const FileId& output) const
{
    static const std::string none;
    const auto found = m_inputs.find(Key(output));
    return found != m_inputs.end() ? found->second : none;
}
