#include "framework/pdf_job_printer.h"

#include "framework/pdf_engine.h"

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

void CPdfJobPrinter::SetInfo(const QString& title, const QString& subject)
{
    m_pEngine->SetInfo(title, subject);
}
