#pragma once

#include <string>
#include <vector>

// vantrel-dump --verify RECORD.pdf [FILE...]: what the record's pages show, checked
// against its metadata and digests and against each FILE (the i-th for its i-th printed
// file). Says per printed file what it found; returns 0 when all match, 1 when anything
// differs or the record cannot be read, 2 for more files than the record holds.
int RunVerify(const std::string& record, const std::vector<std::string>& files);

// vantrel-dump --restore RECORD.pdf OUT: the bytes a record shows, written only when
// every printed file's bytes give its SHA-256. One file goes to OUT (or under its name
// into OUT when that is a folder); several go under their names into the folder OUT.
// Returns 0 when written, 1 when not, 2 when an output would be the record itself.
int RunRestore(const std::string& record, const std::string& out);
