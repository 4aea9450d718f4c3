#pragma once

#include "record/record_format.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Where a file first differs from what a record shows.
struct Difference {
    std::int64_t pdfPage = 0;  // the PDF's page, from 1
    std::int64_t page = 0;  // the dump's page
    int line = 0;  // the dump line on the page, from 1
    std::uint64_t offset = 0;  // of the first byte that differs
    DumpLine shown;  // the line as the record shows it
    DumpLine found;  // the file's bytes at the same offsets, as many as it has
};

// What reading one printed file of a record found.
struct FileCheck {
    RecordedFile recorded;
    std::int64_t firstPdfPage = 0;
    bool read = false;  // all its pages were read: the digest is of all they show
    std::string digest;  // the SHA-256 of the bytes its pages show
    std::string file;  // the file compared with it; empty when none
    std::string fileProblem;  // the file cannot be read, or its length is not the record's
    bool differs = false;
    Difference difference;

    bool DigestMatches() const { return read && digest == recorded.sha256; }
    bool FileMatches() const { return read && !differs && fileProblem.empty(); }
    bool Matches() const { return DigestMatches() && (file.empty() || FileMatches()); }
};

// What reading a record found, file by file.
struct RecordCheck {
    // What keeps the record from being read whole: the PDF cannot be read, is no record
    // of Vantrel's, or its pages are not what its metadata says (with the page and line).
    std::string problem;
    bool usage = false;  // more files given than the record names
    std::vector<FileCheck> files;

    bool AllMatch() const;
};

// Takes the bytes the record's pages show, file by file, as they are read (--restore).
class CRecordSink {
public:
    virtual ~CRecordSink() = default;
    // Once the metadata is read, before any page; false (with why) ends the check.
    virtual bool Prepare(const std::vector<RecordedFile>& files, std::string& why) = 0;
    virtual bool Write(std::size_t file, const unsigned char* bytes, std::size_t size, std::string& why) = 0;
};

// Reads the record at pdf page by page, checks each page against its metadata (header,
// offsets in order, no page missing or twice, every line as long as the length says),
// the bytes of each printed file against its SHA-256, and against files[i] for the
// i-th printed file when given (a range's bytes at their offset). The first fault of the
// record itself ends the check. Memory stays the same whatever the record's size.
RecordCheck CheckRecord(const std::string& pdf, const std::vector<std::string>& files, CRecordSink* sink = nullptr);
