#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What a record says, read from its text: the files its metadata names, and each page's
// header, column header and dump lines. Each part of the format is read in one place.

// One printed file as the record's metadata names it.
struct RecordedFile {
    std::string path;  // as printed, in its visible form
    std::int64_t length = 0;  // the file's length
    std::int64_t firstPage = 1;
    std::int64_t lastPage = 1;
    std::int64_t pageTotal = 1;
    std::int64_t offset = 0;  // of the first byte the pages show
    std::int64_t count = 0;  // the bytes the pages show
    std::string sha256;  // of those bytes, 64 lower-case hexadecimal digits

    std::int64_t Pages() const { return lastPage - firstPage + 1; }
    bool IsRange() const { return firstPage != 1 || lastPage != pageTotal; }
};

// The files a record's /Subject names, a line each. Empty, with why, when a line is
// not one Vantrel writes or its numbers disagree with one another. A Subject of many files
// is cut and ends "... N more": *more is N (0 for a whole one).
std::vector<RecordedFile> ParseSubject(std::string_view subject, std::string& why, std::int64_t* more = nullptr);
// The same file named alike.
bool SameRecordedFile(const RecordedFile& a, const RecordedFile& b);

// The same files from the record's own fields in its XMP metadata, where no name can reach
// another field. Empty with why empty when the metadata holds no such fields; empty with
// why when they are there but broken.
std::vector<RecordedFile> ParseXmp(std::string_view xmp, std::string& why);

// A page's header: the file's path, its length and the page's number.
struct PageHeader {
    std::string path;
    std::int64_t length = 0;
    std::int64_t page = 0;
    std::int64_t pageTotal = 0;
};
// The header from the page's lines above the column header. False when it is not one.
[[nodiscard]] bool ParsePageHeader(const std::vector<std::string>& lines, PageHeader& header);
// The header a page of this file shows, as it is written.
std::string PageHeaderText(const PageHeader& header);
// The header from its rows: one line, or a long one broken into rows over the header's
// line and the empty line under it (a field that begins a row leaves its two blanks at
// the break).
std::string PageHeaderLines(const std::vector<std::string>& rows);
// Whether the rows show header, each row laid out left to right on its own (a name in
// Arabic, say, reads in another order on the page: see VisualOrder).
bool HeaderShows(const std::vector<std::string>& rows, const std::string& header);

// "Position  00 01 ... 1F"
bool IsColumnHeader(std::string_view line);

// One dump line: its offset and the 1 to 32 bytes it shows.
struct DumpLine {
    std::uint64_t offset = 0;
    int count = 0;
    unsigned char bytes[32] = {};
};
[[nodiscard]] bool ParseDumpLine(std::string_view line, DumpLine& dump);
// The line as the dump prints it, for a message.
std::string DumpLineText(const DumpLine& dump);

// The name's bytes from its printed form, written out one to one: "<U+XXXX>" a character,
// "<XX>" a byte that is no part of one.
std::string NameFromPrinted(std::string_view printed);
// The last component of a recorded path, the name a file is restored under: after the
// last slash (after a backslash too in a Windows path). Empty when it cannot name a
// file inside a folder ("", ".", "..", a NUL).
std::string RestoredName(const std::string& path);
