#include "printing/dump_pages.h"

#include "textfile/ansi_names.h"
#include "textfile/dump_format.h"
#include "textfile/system_calls.h"
#include "textfile/text_file_reader.h"

#include <cstdio>
#include <memory>

namespace {

constexpr std::uint64_t kLinesPerPage = kDumpLinesPerPage;
constexpr std::uint64_t kBytesPerLine = kDumpBytesPerLine;
constexpr std::uint64_t kFirstLine = 2;  // the empty line before page 1
constexpr std::uint64_t kAfterHeader = 4;  // the header's own CR LF and the empty line
constexpr std::uint64_t kColumnLine = kDumpColumnHeader.size() + 2;
constexpr std::uint64_t kFullLineBody = 98 + 2;  // a 32-byte line after its offset, CR LF

// Sum of the decimal digits of 1..k.
std::uint64_t SumOfPageDigits(std::uint64_t k)
{
    std::uint64_t sum = 0;
    std::uint64_t low = 1;
    for (int digits = 1; low <= k; ++digits, low *= 10) {
        const std::uint64_t high = low > k / 10 ? k : low * 10 - 1;
        sum += (high - low + 1) * static_cast<std::uint64_t>(digits);
        if (high == k) {
            break;
        }
    }
    return sum;
}

// Sum of the offset widths of dump lines 0..m-1: 8 each, one more per hex digit past 4 GiB.
std::uint64_t SumOfOffsetDigits(std::uint64_t m)
{
    std::uint64_t sum = 8 * m;
    for (int digits = 8; digits < 16; ++digits) {
        const std::uint64_t firstLine = (std::uint64_t{1} << (4 * digits)) / kBytesPerLine;
        if (m <= firstLine) {
            break;
        }
        sum += m - firstLine;
    }
    return sum;
}

struct Layout {
    std::uint64_t headerBase = 0;  // header line bytes without the page number's digits
    std::uint64_t length = 0;
    std::uint64_t fullPages = 0;  // pages with all 80 lines

    explicit Layout(const DumpGeometry& g)
    {
        length = g.length > 0 ? static_cast<std::uint64_t>(g.length) : 0;
        headerBase = dumptext::ToFileText(DumpPageHeader(g.path, g.length, 0, g.pageTotal)).size() - 1;
        fullPages = length / (kLinesPerPage * kBytesPerLine);
    }

    // Bytes of pages 1..k, all full.
    std::uint64_t FullPagesBytes(std::uint64_t k) const
    {
        const std::uint64_t lines = k * kLinesPerPage;
        return k * (headerBase + kAfterHeader + kColumnLine + 5 * 2) + SumOfPageDigits(k) + lines * kFullLineBody +
               SumOfOffsetDigits(lines);
    }

    // Bytes of the short last page, page fullPages + 1; 0 when there is none.
    std::uint64_t ShortPageBytes() const
    {
        std::uint64_t left = length - fullPages * kLinesPerPage * kBytesPerLine;
        if (left == 0) {
            return 0;
        }
        std::uint64_t bytes = headerBase + dumptext::DecimalDigits(fullPages + 1) + kAfterHeader + kColumnLine;
        std::uint64_t offset = fullPages * kLinesPerPage * kBytesPerLine;
        for (std::uint64_t line = 0; left > 0; ++line) {
            const std::uint64_t count = left < kBytesPerLine ? left : kBytesPerLine;
            if (line % 16 == 0) {
                bytes += 2;
            }
            bytes += dumptext::OffsetDigits(offset) + 3 * count + 1 + (count > 16 ? 1 : 0) + 2;
            offset += count;
            left -= count;
        }
        return bytes;
    }
};

}  // namespace

std::uint64_t PageHeaderOffset(const DumpGeometry& geometry, std::int64_t page)
{
    if (geometry.length <= 0) {
        return 0;
    }
    const Layout layout(geometry);
    const std::uint64_t before = page > 1 ? static_cast<std::uint64_t>(page - 1) : 0;
    if (before <= layout.fullPages) {
        return kFirstLine + layout.FullPagesBytes(before);
    }
    // Past the last page: where the dump ends.
    return kFirstLine + layout.FullPagesBytes(layout.fullPages) + layout.ShortPageBytes();
}

std::uint64_t DumpTextSize(const DumpGeometry& geometry, std::int64_t first, std::int64_t last)
{
    if (geometry.length <= 0) {
        return 0;  // an empty file writes nothing, not even the first line
    }
    const std::int64_t total = PageCount(geometry.length);
    if (first < 1) {
        first = 1;
    }
    if (last > total) {
        last = total;
    }
    if (first > last) {
        return kFirstLine;
    }
    return kFirstLine + PageHeaderOffset(geometry, last + 1) - PageHeaderOffset(geometry, first);
}

bool ReadDumpPage(const std::string& workFile, const DumpGeometry& geometry, std::int64_t page,
                  std::vector<std::string>& lines)
{
    lines.clear();
    const std::int64_t firstPage = geometry.firstPage < 1 ? 1 : geometry.firstPage;
    if (geometry.length <= 0 || page < firstPage || page > PageCount(geometry.length)) {
        return false;
    }
    // The work file starts with the empty first line, then page firstPage.
    const std::uint64_t skipped = PageHeaderOffset(geometry, firstPage) - kFirstLine;
    const std::uint64_t begin = PageHeaderOffset(geometry, page) - skipped;
    const std::uint64_t end = PageHeaderOffset(geometry, page + 1) - skipped;

    // The page is there only when its own header is: a preview, a cancelled dump or a
    // file that shrank leaves the later ones out.
    const std::string expected =
        dumptext::ToFileText(DumpPageHeader(geometry.path, geometry.length, page, geometry.pageTotal)) + "\r\n";
    {
        std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenStream(workFile, "rb"), &std::fclose);
        if (!file || SysFileSeek(file.get(), static_cast<std::int64_t>(begin)) != 0) {
            return false;
        }
        std::string found(expected.size(), '\0');
        if (std::fread(found.data(), 1, found.size(), file.get()) != found.size() || found != expected) {
            return false;
        }
    }

    CTextFileReader reader;
    if (!reader.Open(workFile) || !reader.Seek(begin)) {
        return false;
    }
    while (reader.Tell() < end && reader.ReadLine()) {
        reader.m_strLine.pop_back();  // ReadLine always ends it with one line feed
        lines.push_back(std::move(reader.m_strLine));
    }
    return !reader.HadError();
}
