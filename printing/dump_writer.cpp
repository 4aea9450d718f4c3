#include "printing/dump_writer.h"

#include "printing/dump_pages.h"
#include "textfile/dump_format.h"
#include "textfile/error_text.h"
#include "textfile/input_file.h"
#include "textfile/sha256.h"
#include "textfile/system_calls.h"
#include "textfile/text_file_writer.h"
#include "textfile/visible_text.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

constexpr int kLinesPerPage = kDumpLinesPerPage;
constexpr int kLinesPerGroup = kDumpLinesPerGroup;
constexpr int kBytesPerLine = kDumpBytesPerLine;

// Whole pages per read, about 1 MiB, so a page never straddles two reads but for the
// carry of a short one.
constexpr std::size_t kReadSize = static_cast<std::size_t>(kBytesPerPage) * 410;
// Formatted text is handed to the writer in chunks of about this size.
constexpr std::size_t kOutChunk = std::size_t{1} << 20;

// " XY" for every byte value; the fourth byte is slack for a 4-byte store.
struct ByteTable {
    char entry[256][4];
    constexpr ByteTable() : entry{}
    {
        constexpr char kHex[] = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            entry[b][0] = ' ';
            entry[b][1] = kHex[b >> 4];
            entry[b][2] = kHex[b & 15];
            entry[b][3] = ' ';
        }
    }
};
constexpr ByteTable kBytes;

char* PutOffset(char* p, std::uint64_t offset)
{
    constexpr char kHex[] = "0123456789ABCDEF";
    const int digits = dumptext::OffsetDigits(offset);
    for (int i = digits - 1; i >= 0; --i) {
        p[i] = kHex[offset & 15];
        offset >>= 4;
    }
    return p + digits;
}

// One dump line of count (1..32) bytes, with its CR LF.
char* PutLine(char* p, std::uint64_t offset, const unsigned char* bytes, int count)
{
    p = PutOffset(p, offset);
    *p++ = ' ';
    const int first = count < 16 ? count : 16;
    for (int j = 0; j < first; ++j) {
        std::memcpy(p, kBytes.entry[bytes[j]], 4);
        p += 3;
    }
    if (count > 16) {
        *p++ = ' ';
        for (int j = 16; j < count; ++j) {
            std::memcpy(p, kBytes.entry[bytes[j]], 4);
            p += 3;
        }
    }
    p[0] = '\r';
    p[1] = '\n';
    return p + 2;
}

class CSourceFile {
public:
    ~CSourceFile()
    {
        if (m_fd >= 0) {
            CloseInputFile(m_fd);
        }
    }

    // Regular files only: a fifo or device could block the dump or never end, and is
    // not even opened.
    std::error_code Open(const std::string& path, std::int64_t& length, std::int64_t& modified)
    {
        return OpenInputFile(path, &m_fd, &length, &modified);
    }

    // Where reading starts: the first byte of the first page asked for.
    bool SeekTo(std::int64_t offset) { return SysSeekTo(m_fd, offset); }

    // Reads until size bytes are in, the file ends or a read fails (Error() then says why).
    std::size_t Read(unsigned char* buffer, std::size_t size)
    {
        std::size_t got = 0;
        while (got < size && !m_bEnd) {
            const auto r = SysRead(m_fd, buffer + got, size - got);
            if (r > 0) {
                got += static_cast<std::size_t>(r);
            } else if (r < 0 && errno == EINTR) {
                continue;
            } else {
                m_nError = r < 0 ? errno : 0;
                m_bEnd = true;
            }
        }
        return got;
    }
    // Nothing when the file just ended early.
    std::error_code Error() const { return m_nError != 0 ? SystemError(m_nError) : std::error_code(); }

private:
    int m_fd = -1;
    bool m_bEnd = false;
    int m_nError = 0;
};

}  // namespace

DumpRecord DumpRecordOf(const std::string& path, const DumpResult& result)
{
    DumpRecord record;
    record.path = VisibleText(path);
    record.length = result.length;
    record.modified = IsoLocalTime(result.modified);
    record.firstPage = result.firstPage;
    record.lastPage = result.lastPage;
    record.pageTotal = result.pageTotal;
    record.firstByte = result.firstByte;
    record.byteCount = result.endByte - result.firstByte;
    record.sha256 = result.sha256;
    return record;
}

std::string DumpSubject(const DumpRecord& record)
{
    char text[320];
    std::snprintf(text, sizeof text,
                  "Length: %lld bytes; Modified: %s; Pages: %lld-%lld / %lld; SHA-256 of %lld bytes from offset %lld: ",
                  static_cast<long long>(record.length), record.modified.c_str(),
                  static_cast<long long>(record.firstPage), static_cast<long long>(record.lastPage),
                  static_cast<long long>(record.pageTotal), static_cast<long long>(record.byteCount),
                  static_cast<long long>(record.firstByte));
    return text + record.sha256 + "; File: " + record.path;
}

std::string IsoLocalTime(std::int64_t seconds)
{
    std::tm local{};
    if (!SysLocalTime(seconds, &local))
        return {};
    std::tm copy = local;
    const long long offset = static_cast<long long>(SysTimeGm(&copy)) - seconds;
    const long long minutes = (offset < 0 ? -offset : offset) / 60;
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02lld:%02lld", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return text;
}

std::string FileOpenFailedMessage(const std::string& path, std::error_code err)
{
    return "ファイルオープン失敗[" + path + "]" + (err ? "\n" + SystemErrorText(err) : std::string());
}

std::string FileReadFailedMessage(const std::string& path, std::error_code err)
{
    return "ファイル読み込み失敗[" + path + "]" + (err ? "\n" + SystemErrorText(err) : std::string());
}

DumpResult WriteDumpFile(const std::string& path, CTextFileWriter& out, int preview, const DumpHooks& hooks)
{
    DumpPages pages;
    if (preview != 0) {
        pages.last = kPreviewPages;
    }
    return WriteDumpFile(path, out, pages, hooks);
}

namespace {

// One dump being written: whole pages of the source in the read buffer, their text in
// the text buffer, handed to the writer in large pieces.
class CDumpRun {
public:
    CDumpRun(CSourceFile& source, CTextFileWriter& out, CSha256* digest, const std::string& path, std::int64_t length,
             std::int64_t pageTotal, std::int64_t start, std::int64_t end, std::uint64_t textSize)
        : m_source(source), m_out(out), m_pDigest(digest),
          m_remaining(start < end ? static_cast<std::uint64_t>(end - start) : 0),
          m_offset(static_cast<std::uint64_t>(start))
    {
        // The header's fixed parts; only the page number changes from page to page.
        const std::string header = dumptext::ToFileText(DumpPageHeader(path, length, 0, 0));
        m_headHead = header.substr(0, header.rfind("Page : ") + 7);
        m_headTail = " / " + std::to_string(pageTotal) + "\r\n\r\n" + std::string(kDumpColumnHeader) + "\r\n";
        // Header, its tail, page number, 5 group breaks and 80 lines of up to 16 + 106 bytes.
        m_pageMax = m_headHead.size() + m_headTail.size() + 20 + 5 * 2 + 80 * 124 + 8;
        // No larger than the dump needs, and not cleared first: a job of many small files
        // would otherwise get two fresh megabytes, zeroed, for each.
        m_outCap = static_cast<std::size_t>(std::min<std::uint64_t>(kOutChunk, textSize)) + m_pageMax;
        const std::uint64_t pages = (m_remaining + kBytesPerPage - 1) / kBytesPerPage;
        m_inCap = static_cast<std::size_t>(std::clamp<std::uint64_t>(pages, 1, kReadSize / kBytesPerPage)) *
                  static_cast<std::size_t>(kBytesPerPage);
        m_outBuf = std::make_unique_for_overwrite<char[]>(m_outCap);
        m_inBuf = std::make_unique_for_overwrite<unsigned char[]>(m_inCap);
        m_outBuf[m_used++] = '\r';  // the empty first line
        m_outBuf[m_used++] = '\n';
    }

    // Keeps a whole page in the read buffer, carrying a partial one to the front. False
    // when the source yields fewer bytes than it should: it shrank or could not be read.
    bool Refill()
    {
        if (m_inEnd - m_inPos >= static_cast<std::size_t>(kBytesPerPage) || m_remaining == 0)
            return true;
        std::memmove(m_inBuf.get(), m_inBuf.get() + m_inPos, m_inEnd - m_inPos);
        m_inEnd -= m_inPos;
        m_inPos = 0;
        std::size_t want = m_inCap - m_inEnd;
        if (want > m_remaining)
            want = static_cast<std::size_t>(m_remaining);
        const std::size_t got = m_source.Read(m_inBuf.get() + m_inEnd, want);
        // Read once: the digest is of exactly the bytes the pages show.
        if (m_pDigest != nullptr)
            m_pDigest->Update(m_inBuf.get() + m_inEnd, got);
        m_inEnd += got;
        m_remaining -= got;
        return got == want;
    }

    bool HasBytes() const { return m_inPos < m_inEnd; }

    // The text of page `page`, from the read position, into the text buffer; a full
    // text buffer goes to the writer first. False when that write failed.
    bool Page(std::int64_t page)
    {
        if (m_used + m_pageMax > m_outCap - 8 && !Write(m_used))
            return false;
        char* p = m_outBuf.get() + m_used;
        std::memcpy(p, m_headHead.data(), m_headHead.size());
        p += m_headHead.size();
        p += std::snprintf(p, 24, "%lld", static_cast<long long>(page));
        std::memcpy(p, m_headTail.data(), m_headTail.size());
        p += m_headTail.size();

        std::size_t pageBytes = m_inEnd - m_inPos;
        if (pageBytes > static_cast<std::size_t>(kBytesPerPage))
            pageBytes = static_cast<std::size_t>(kBytesPerPage);
        const unsigned char* bytes = m_inBuf.get() + m_inPos;
        char* lastLine = p;
        for (int line = 0; line * kBytesPerLine < static_cast<int>(pageBytes); ++line) {
            if (line % kLinesPerGroup == 0) {
                p[0] = '\r';
                p[1] = '\n';
                p += 2;
            }
            const int left = static_cast<int>(pageBytes) - line * kBytesPerLine;
            lastLine = p;
            p = PutLine(p, m_offset, bytes, left < kBytesPerLine ? left : kBytesPerLine);
            bytes += kBytesPerLine;
            m_offset += kBytesPerLine;
        }
        static_assert(kLinesPerPage * kBytesPerLine == kBytesPerPage);
        m_pendingStart = static_cast<std::size_t>(lastLine - m_outBuf.get());
        m_used = static_cast<std::size_t>(p - m_outBuf.get());
        m_inPos += pageBytes;
        return true;
    }

    // Everything written so far, to the system. False when the writer failed.
    bool Flush() { return Write(m_used) && m_out.Flush(); }
    // What a dump stopped at a page start leaves: all but the line still pending,
    // which the page after it would have written.
    bool FlushStopped() { return Write(m_pendingStart); }

private:
    bool Write(std::size_t size)
    {
        if (!m_out.WriteRaw(m_outBuf.get(), size))
            return false;
        // What follows size (the pending line) moves to the front.
        std::memmove(m_outBuf.get(), m_outBuf.get() + size, m_used - size);
        m_pendingStart -= m_pendingStart >= size ? size : m_pendingStart;
        m_used -= size;
        return true;
    }

    CSourceFile& m_source;
    CTextFileWriter& m_out;
    CSha256* m_pDigest;
    std::string m_headHead;
    std::string m_headTail;
    std::size_t m_pageMax = 0;
    std::size_t m_outCap = 0;
    std::size_t m_inCap = 0;
    std::unique_ptr<char[]> m_outBuf;
    std::unique_ptr<unsigned char[]> m_inBuf;
    std::size_t m_used = 0;
    std::size_t m_pendingStart = 0;  // where the last line written so far begins
    std::size_t m_inPos = 0;
    std::size_t m_inEnd = 0;
    std::uint64_t m_remaining = 0;
    std::uint64_t m_offset = 0;
};

}  // namespace

DumpResult WriteDumpFile(const std::string& path, CTextFileWriter& out, DumpPages pages, const DumpHooks& hooks)
{
    DumpResult result;
    CSourceFile source;
    if (const std::error_code error = source.Open(path, result.length, result.modified)) {
        result.status = DumpStatus::SourceOpenFailed;
        result.error = error;
        return result;
    }
    const std::int64_t length = result.length;
    result.pageTotal = PageCount(length);
    const std::int64_t firstPage = pages.first < 1 ? 1 : pages.first;
    const std::int64_t lastPage = pages.last < result.pageTotal ? pages.last : result.pageTotal;
    // The bytes of the pages asked for, from the first one's first byte.
    const std::int64_t start = firstPage <= lastPage ? (firstPage - 1) * kBytesPerPage : length;
    const std::int64_t end = lastPage * kBytesPerPage < length ? lastPage * kBytesPerPage : length;
    result.firstPage = firstPage;
    result.lastPage = lastPage;
    result.firstByte = start < end ? start : 0;
    result.endByte = start < end ? end : 0;
    std::unique_ptr<CSha256> digest = hooks.digest ? std::make_unique<CSha256>() : nullptr;
    const auto finish = [&digest, &result] {
        if (digest != nullptr)
            result.sha256 = CSha256::Hex(digest->Final());
        return result;
    };
    if (length <= 0) {
        return finish();  // an empty file leaves the output empty, first line included
    }
    // The text's size is known from the length: the room it needs is checked first.
    result.textSize = DumpTextSize(DumpGeometry{path, length, result.pageTotal}, firstPage, lastPage);
    if (hooks.available >= 0 && result.textSize > static_cast<std::uint64_t>(hooks.available)) {
        result.status = DumpStatus::NoRoom;
        return result;
    }
    if (start < end && start > 0 && !source.SeekTo(start)) {
        result.status = DumpStatus::ReadFailed;
        result.error = SystemError(errno);
        return result;
    }

    auto fail = [&](DumpStatus status, std::error_code error) {
        result.status = status;
        result.error = error;
        return result;
    };
    const auto writeError = [&out] { return out.Failed() ? out.Error() : SystemError(EIO); };

    CDumpRun run(source, out, digest.get(), path, length, result.pageTotal, start, end, result.textSize);
    for (std::int64_t page = firstPage; page <= lastPage; ++page) {
        if (!run.Refill()) {
            // What the file holds now is not what the headers say: nothing of it may
            // pass for its dump.
            return fail(DumpStatus::ReadFailed, source.Error());
        }
        if (!run.HasBytes())
            break;
        if (hooks.pump)
            hooks.pump();
        if (hooks.cancelRequested && hooks.cancelRequested()) {
            if (!run.FlushStopped())
                return fail(DumpStatus::WriteFailed, writeError());
            return fail(DumpStatus::Cancelled, {});
        }
        if (!run.Page(page))
            return fail(DumpStatus::WriteFailed, writeError());
        ++result.pagesWritten;
    }
    if (!run.Flush())
        return fail(DumpStatus::WriteFailed, writeError());
    return finish();
}
