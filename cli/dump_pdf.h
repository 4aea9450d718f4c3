#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The printed pages of each file, each from its page 1, into one PDF at out, drawn by
// the printer's own page code on the offscreen platform. With a range (one file only)
// just pages from..to. Messages go to standard error; returns the exit status
// (0 done, 1 a file could not be read or the PDF not written, 2 a range out of bounds).
// SIGTERM, SIGINT and SIGHUP leave nothing behind and end it with 128 + the signal.
int WriteDumpPdf(const std::string& out, const std::vector<std::string>& files, bool rangeGiven, std::int64_t from,
                 std::int64_t to, int argc, char** argv);
