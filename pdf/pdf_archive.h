#pragma once

#include "printing/dump_writer.h"

#include <string>
#include <vector>

// What makes a PDF an archival record (PDF/A-1b, as PDFBox's Preflight judges it) beyond
// its pages: XMP metadata that says what the document information says, with each fact
// of each printed file in a field of its own, and the sRGB profile of its output intent.

struct PdfDocumentFacts {
    std::string title;
    std::string subject;
    std::string creator;
    std::string producer;
    std::string created;  // ISO 8601 with its offset from UTC
    std::vector<DumpRecord> files;
};

// The XMP packet, UTF-8. No name can reach another field: each is an element of its own,
// its text escaped.
std::string PdfXmpPacket(const PdfDocumentFacts& facts);

// An ICC profile (version 2.1) of sRGB IEC61966-2.1: its primaries and white point, and
// its tone curve sampled in 256 steps. Made here, not taken from a file.
std::string SrgbIccProfile();
