#include "textfile/text_file_reader.h"

#include "textfile/ansi_names.h"
#include "textfile/system_calls.h"

#include <cstdint>
#include <cstdlib>

namespace {

constexpr char kLineFeed = 10;
constexpr char kCarriageReturn = 13;
constexpr char kSpace = 32;

// The line's bytes are compared as signed values against the unsigned setting, so
// no byte of 128 or above (Shift-JIS trail bytes among them) ever matches.
bool Matches(char byte, char setting)
{
    return static_cast<unsigned char>(byte) < 128 && byte == setting;
}

std::string TrimTrailingSpaces(const std::string& line, std::size_t begin, std::size_t end)
{
    while (end > begin && line[end - 1] == kSpace) {
        --end;
    }
    return line.substr(begin, end - begin);
}

}  // namespace

CTextFileReader::CTextFileReader() = default;

CTextFileReader::~CTextFileReader()
{
    CTextFileReader::Close();
    std::free(m_pLineBuffer);
}

bool CTextFileReader::Open(const std::string& path)
{
    if (m_bOpen == 1) {
        Close();
    }
    m_bError = false;
    m_pFile = OpenStream(path, "rb");
    if (m_pFile == nullptr) {
        return false;
    }
    m_bOpen = 1;
    return true;
}

void CTextFileReader::Close()
{
    if (m_bOpen == 1 && m_pFile != nullptr) {
        std::fclose(m_pFile);
    }
    m_pFile = nullptr;
    m_bOpen = 0;
}

void CTextFileReader::SetDelimiter(char ch)
{
    m_chDelimiter = ch;
}

bool CTextFileReader::ReadLine()
{
    m_strLine.clear();
    bool bRead = false;
    if (m_pFile != nullptr) {
        bRead = ReadRawLine();
        if (!bRead) {
            m_strLine.clear();
            m_bError = m_bError || std::ferror(m_pFile) != 0;
        }
    }
    if (!m_strLine.empty() && m_strLine.back() == kCarriageReturn) {
        m_strLine.back() = kLineFeed;
    } else {
        m_strLine.push_back(kLineFeed);
    }
    return bRead;
}

// The next line up to its line feed, which is dropped; lines may hold NUL bytes, which
// fgets could not tell from the line's end.
bool CTextFileReader::ReadRawLine()
{
#if defined(_WIN32)
    char block[4096];
    std::size_t used = 0;
    bool bRead = false;
    int ch = EOF;
    _lock_file(m_pFile);
    for (;;) {
        ch = _getc_nolock(m_pFile);
        if (ch == EOF) {
            break;
        }
        bRead = true;
        if (ch == kLineFeed) {
            break;
        }
        block[used++] = static_cast<char>(ch);
        if (used == sizeof block) {
            m_strLine.append(block, used);
            used = 0;
        }
    }
    const bool bCut = ch != kLineFeed && std::ferror(m_pFile) != 0;
    _unlock_file(m_pFile);
    m_strLine.append(block, used);
    return bRead && !bCut;
#else
    const ssize_t got = ::getdelim(&m_pLineBuffer, &m_nLineBufferSize, kLineFeed, m_pFile);
    if (got <= 0) {
        return false;
    }
    std::size_t size = static_cast<std::size_t>(got);
    if (m_pLineBuffer[size - 1] == kLineFeed) {
        --size;
    } else if (std::ferror(m_pFile) != 0) {
        return false;  // cut short by a read error, not by the end of the file
    }
    m_strLine.assign(m_pLineBuffer, size);
    return true;
#endif
}

std::string CTextFileReader::GetField(std::int16_t n) const
{
    // The field being collected is always one run of the line: it starts at its first
    // byte that is not a skipped leading space and runs up to the current position.
    std::uint16_t counter = 0;
    std::size_t begin = 0;
    bool bCollecting = false;
    const std::size_t size = m_strLine.size();
    for (std::size_t pos = 0; pos < size; ++pos) {
        const char ch = m_strLine[pos];
        if (ch == kCarriageReturn || ch == kLineFeed) {
            if (static_cast<std::int16_t>(counter) == n && bCollecting) {
                return TrimTrailingSpaces(m_strLine, begin, pos);
            }
            return {};
        }
        if (Matches(ch, m_chDelimiter)) {
            if (static_cast<std::int16_t>(counter) == n) {
                return bCollecting ? TrimTrailingSpaces(m_strLine, begin, pos) : std::string();
            }
            ++counter;
            bCollecting = false;
            continue;
        }
        if (!bCollecting) {
            if (Matches(ch, m_chComment)) {
                return {};
            }
            if (ch == kSpace) {
                continue;
            }
            bCollecting = true;
            begin = pos;
        }
    }
    // A string without a line end (set by a caller) ends like a line.
    if (static_cast<std::int16_t>(counter) == n && bCollecting) {
        return TrimTrailingSpaces(m_strLine, begin, size);
    }
    return {};
}

bool CTextFileReader::Seek(std::uint64_t offset)
{
    if (m_pFile == nullptr || offset > static_cast<std::uint64_t>(INT64_MAX)) {
        return false;
    }
    std::clearerr(m_pFile);
    return SysFileSeek(m_pFile, static_cast<std::int64_t>(offset)) == 0;
}

std::uint64_t CTextFileReader::Tell() const
{
    if (m_pFile == nullptr) {
        return 0;
    }
    const auto pos = SysFileTell(m_pFile);
    return pos < 0 ? 0 : static_cast<std::uint64_t>(pos);
}
