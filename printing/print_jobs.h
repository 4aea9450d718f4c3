#pragma once

#include "filelist/file_list_model.h"
#include "textfile/output_file.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// One file of a print command, fixed when the command starts: whatever happens to the
// list while the jobs run, each job prints this file whole and flags it by its name.
struct PrintJobFile {
    std::string strFolder;
    std::string strName;
    std::string strPath;  // folder and name joined; "" when the join was refused
    std::int64_t lSize = 0;
    std::int64_t nPages = 0;
};

// The marked entries of the list, in list order.
std::vector<PrintJobFile> MarkedJobFiles(const CFileListModel& model);

// The file one job of a chain writes when the printer prints to a file. A chain of one
// job writes the chosen name itself; with several jobs each gets a file of its own, the
// printed file's name put between the chosen name's stem and its extension:
// "out.pdf" with "a.bin" gives "out_a.bin.pdf" (".pdf" when the chosen name has none).
std::string JobOutputFile(const std::string& chosen, const std::string& printedName, std::size_t jobCount);

// What the files of one print chain are (device and inode), so that no job writes into a
// file the chain prints or into an earlier job's output, under any name: the inputs are
// looked at once, when the chain starts, so an output costs one look and one lookup
// however many files are marked.
class CChainFiles {
public:
    CChainFiles() = default;
    explicit CChainFiles(const std::vector<PrintJobFile>& jobs);

    // The marked file that output is (itself, a link, a hard link); "" when none is.
    const std::string& InputThatIs(const FileId& output) const;
    // True when output is a file an earlier job of the chain wrote.
    bool WrittenByChain(const FileId& output) const { return m_outputs.count(Key(output)) != 0; }
    void AddOutput(const FileId& output) { m_outputs.insert(Key(output)); }

private:
    struct KeyHash {
        std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& k) const
        {
            return std::hash<std::uint64_t>()(k.first * 0x9E3779B97F4A7C15ull ^ k.second);
        }
    };
    using FileKey = std::pair<std::uint64_t, std::uint64_t>;
    static FileKey Key(const FileId& id) { return {id.device, id.index}; }

    std::unordered_map<FileKey, std::string, KeyHash> m_inputs;  // the first job's path for each file
    std::unordered_set<FileKey, KeyHash> m_outputs;
};
