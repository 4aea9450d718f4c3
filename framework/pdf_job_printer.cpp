#include "framework/pdf_job_printer.h"

#include "framework/qt_text.h"
#include "pdf/pdf_engine.h"

CPdfJobPrinter::CPdfJobPrinter() : QPrinter(QPrinter::HighResolution), m_pEngine(std::make_unique<CPdfEngine>())
{
    // The format first: choosing a format puts Qt's own engines back, unless it is the
    // format already set.
    setOutputFormat(QPrinter::PdfFormat);
    setEngines(m_pEngine.get(), m_pEngine.get());
}

CPdfJobPrinter::~CPdfJobPrinter() = default;

void CPdfJobPrinter::SetOutputHandle(int fd)
{
    m_pEngine->SetOutputHandle(fd);
}

void CPdfJobPrinter::SetRecord(const QString& title, std::vector<DumpRecord> files)
{
    // The core names files in the ANSI code page on Windows; the document's text is UTF-8.
    for (DumpRecord& file : files)
        file.path = ToQt(file.path).toStdString();
    m_pEngine->SetRecord(title, std::move(files));
}

void CPdfJobPrinter::BeginPart(std::int64_t firstLabel)
{
    m_pEngine->BeginPart(firstLabel);
}
