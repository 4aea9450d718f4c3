#pragma once

#include <QPrinter>

#include <memory>

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
    // The document information's title (the document name when empty) and subject;
    // may be set until the job ends.
    void SetInfo(const QString& title, const QString& subject);

private:
    std::unique_ptr<CPdfEngine> m_pEngine;
};
