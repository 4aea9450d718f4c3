#pragma once

#include "printing/dump_writer.h"

#include <QPrinter>

#include <cstdint>
#include <memory>
#include <vector>

class CPdfEngine;

// The printer a job is drawn on: a PDF file that CPdfEngine writes. Set it up like any
// PDF printer (ConfigurePdfPrinter, setOutputFileName, setDocName, setCreator); only the
// writing is ours.
class CPdfJobPrinter : public QPrinter {
public:
    CPdfJobPrinter();
    ~CPdfJobPrinter() override;

    // Writes into an open file instead of the output file name; it stays open.
    void SetOutputHandle(int fd);
    // What the document records: its title (the document name when empty) and the files
    // it prints; may be set until the job ends.
    void SetRecord(const QString& title, std::vector<DumpRecord> files);
    // The pages from the next one drawn on are the next file's, the first showing page
    // number firstLabel.
    void BeginPart(std::int64_t firstLabel);

private:
    std::unique_ptr<CPdfEngine> m_pEngine;
};
