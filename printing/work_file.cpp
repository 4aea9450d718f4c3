#include "printing/work_file.h"

#include "printing/work_file_system.h"
#include "textfile/io_error.h"
#include "textfile/text_file_writer.h"

#include <cerrno>
#include <cstdio>

using namespace work_folder;

namespace {

// Digits grouped in threes: 3,758,096,384.
std::string Grouped(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    for (std::size_t i = digits.size(); i > 3; i -= 3)
        digits.insert(i - 3, 1, ',');
    return digits;
}

}  // namespace

CWorkFile::~CWorkFile()
{
    Remove();
}

void CWorkFile::Release()
{
    m_nLockFd = -1;
    m_strPath.clear();
    m_strFolder.clear();
}

std::string CWorkFile::Prepare()
{
    if (m_strFolder.empty() || !FolderIsOurs(m_strFolder)) {
        // Gone (a cleaner), or someone else's now: never used again, never removed by us.
        ReleaseFolder(m_strFolder, m_nLockFd, false);
        Release();
        m_strFolder = MakePrivateFolder(m_strBase, &m_nLockFd);
        if (m_strFolder.empty())
            return {};
        m_strPath = InFolder(m_strFolder, kWorkFileName);
    }
    RemoveFile();
    return m_strPath;
}

std::error_code CWorkFile::Create(CTextFileWriter& out)
{
    std::FILE* stream = nullptr;
    if (m_strPath.empty())
        return SystemError(ENOENT);
    if (const std::error_code error = CreateNewFile(m_strPath, &stream))
        return error;
    return out.Adopt(stream) ? std::error_code() : SystemError(EBADF);
}

std::int64_t CWorkFile::FreeBytes() const
{
    return FreeBytesIn(m_strFolder);
}

std::string CWorkFile::Where() const
{
    if (!m_strPath.empty())
        return m_strPath;
    return InFolder(InFolder(BaseForMessages(m_strBase), "vantrel-XXXXXX"), kWorkFileName);
}

void CWorkFile::RemoveFile()
{
    if (!m_strPath.empty() && FolderIsOurs(m_strFolder))
        RemoveFileAt(m_strPath);
}

void CWorkFile::Remove()
{
    RemoveFile();
    // Only the folder we made, and only once it is empty: never more than our own file.
    ReleaseFolder(m_strFolder, m_nLockFd, !m_strFolder.empty() && FolderIsOurs(m_strFolder));
    Release();
}

void CWorkFile::RemoveStaleFolders() const
{
    for (const std::string& base : SweptBases(m_strBase))
        if (!base.empty())
            RemoveStaleFoldersIn(base);
}

std::string NoRoomMessage(const std::string& workFile, std::uint64_t needed, std::uint64_t free)
{
    return "ワークファイルの空き容量が足りません[" + workFile + "]\n必要: " + Grouped(needed) +
           " バイト\n空き: " + Grouped(free) + " バイト";
}

std::string WorkFileFailedMessage(const std::string& workFile)
{
    return "ワークファイル書き込み失敗[" + workFile + "]";
}
