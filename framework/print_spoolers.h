#pragma once

#include "framework/hook_guard.h"

#include <QString>

#include <functional>
#include <memory>
#include <string>

class QPrinter;

// Where a finished job goes.
class CPrintSpooler {
public:
    virtual ~CPrintSpooler() = default;
    // False, with the reason, when the job could not get there (checked before it is drawn).
    [[nodiscard]] virtual bool Ready([[maybe_unused]] QString* error) { return true; }
    // Folder for the temporary PDF ("" for the system's temporary folder).
    virtual QString TemporaryFolder() const { return {}; }
    // The file the job is drawn into when the spooler makes it itself, open for writing
    // from Ready on, and its name; -1 for a temporary file in TemporaryFolder().
    virtual int JobFd() const { return -1; }
    virtual QString JobFile() const { return {}; }
    // Hands the complete PDF over; the file is the spooler's afterwards. False, with the
    // reason, when the job did not get there.
    [[nodiscard]] virtual bool Submit(const QString& pdfPath, const QString& title, QString* error) = 0;
    // The printer's name and its port, as the status window shows them.
    virtual QString PrinterName() const = 0;
    virtual QString PortName() const = 0;
    // The file the job becomes, for a printer that writes one ("" for a queue).
    virtual QString OutputFile() const { return {}; }
    // True for a printer that takes the pages as they are drawn, through Qt's own engine
    // (a Windows printer): no PDF is made, and a cancel aborts the printer's job.
    virtual bool DrawsOnPrinter() const { return false; }
    // Throws away what such a printer has taken of a job so far: nothing of it may reach
    // paper when the painter ends.
    virtual void AbandonJob(QPrinter& printer) const;
};

// The spooler of a printer: the system's print queue (through lp, bounded in time; on
// Windows the printer itself), or the file of a "print to PDF" printer (outputFile, when
// given, instead of the printer's).
std::unique_ptr<CPrintSpooler> MakeSpooler(const QPrinter& printer, const std::string& outputFile = {});

// Tests replace how spoolers are made and how the printer dialog answers.
using SpoolerFactory = std::function<std::unique_ptr<CPrintSpooler>(const QPrinter&)>;
// Returns the factory before it.
SpoolerFactory SetSpoolerFactory(SpoolerFactory factory);
using SpoolerFactoryGuard = CHookGuard<SpoolerFactory, &SetSpoolerFactory>;
