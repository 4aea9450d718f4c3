#include "framework/print_spoolers.h"

#include "framework/qt_text.h"
#include "textfile/error_text.h"
#include "textfile/output_file.h"

#include <utility>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>

#include <algorithm>

#ifdef _WIN32
#include <QtPrintSupport/private/qprintengine_win_p.h>
#endif

namespace {

SpoolerFactory& Factory()
{
    static SpoolerFactory factory;
    return factory;
}

QString ErrorText(std::error_code err)
{
    return ToQt(SystemErrorText(err));
}

// lp talks to the local scheduler in milliseconds; these only bound a sick one.
constexpr int kSpoolStartMs = 5000;
constexpr int kSpoolFinishMs = 15000;

// A queue of the system's spooler. The job goes in through lp, which also honours
// CUPS_SERVER, with a bounded wait so that a missing scheduler is a message, not a hang.
class CQueueSpooler : public CPrintSpooler {
public:
    explicit CQueueSpooler(const QPrinter& printer)
        : m_name(printer.printerName()), m_copies(std::max(1, printer.copyCount()))
    {
        const QPrinterInfo info = QPrinterInfo::printerInfo(m_name);
        m_port = info.location().isEmpty() ? m_name : info.location();
    }

    bool Submit(const QString& pdfPath, const QString& title, QString* error) override
    {
        QProcess lp;
        lp.setProcessChannelMode(QProcess::SeparateChannels);
        lp.start("lp", {"-d", m_name, "-t", title, "-n", QString::number(m_copies), "--", pdfPath});
        bool ok = false;
        if (!lp.waitForStarted(kSpoolStartMs)) {
            *error = QString::fromUtf8("lp: %1").arg(lp.errorString());
        } else if (!lp.waitForFinished(kSpoolFinishMs)) {
            lp.kill();
            lp.waitForFinished(1000);
            *error = ToQt("lp: スプーラが応答しません");
        } else if (lp.exitStatus() != QProcess::NormalExit || lp.exitCode() != 0) {
            *error = ToQt(SpoolerErrorText(FromQt(ToQt(lp.readAllStandardError().toStdString()))));
        } else {
            ok = true;
        }
        QFile::remove(pdfPath);
        return ok;
    }

    QString PrinterName() const override { return m_name; }
    QString PortName() const override { return m_port; }

private:
    QString m_name;
    QString m_port;
    int m_copies;
};

// "Print to PDF file": the job is drawn into a temporary file beside the output, locked
// while we live, which takes the output's place in one step when the job is whole, by
// the rules of every output: only a regular file the user may write is replaced, a
// link's target is written and the link kept, the result has the mode the umask gives.
class CPdfFileSpooler : public CPrintSpooler {
public:
    explicit CPdfFileSpooler(QString output) : m_output(std::move(output)) {}

    bool Ready(QString* error) override
    {
        if (const std::error_code err = m_file.Begin(Bytes(m_output))) {
            *error = Reason(err);
            return false;
        }
        return true;
    }

    int JobFd() const override { return m_file.Fd(); }
    QString JobFile() const override { return ToQt(m_file.TempPath()); }

    bool Submit(const QString& pdfPath, const QString&, QString* error) override
    {
        // The job file Ready made, or a whole file someone else wrote beside the output.
        const std::error_code err =
            m_file.Fd() >= 0 && pdfPath == JobFile() ? m_file.Commit() : PlaceOutput(Bytes(pdfPath), Bytes(m_output));
        if (err) {
            *error = Reason(err);
            return false;
        }
        return true;
    }

    QString PrinterName() const override { return QString::fromUtf8("PDF"); }
    QString PortName() const override { return m_output; }
    QString OutputFile() const override { return m_output; }

private:
    static std::string Bytes(const QString& path) { return FromQt(path); }
    QString Reason(std::error_code err) const { return QString::fromUtf8("%1: %2").arg(m_output, ErrorText(err)); }

    QString m_output;
    COutputFile m_file;  // abandoned with the spooler unless submitted
};

#ifdef _WIN32
// Windows has no lp: the job goes to the printer as it is drawn, through Qt's engine.
class CWindowsPrinterSpooler : public CPrintSpooler {
public:
    explicit CWindowsPrinterSpooler(const QPrinter& printer)
        : m_name(printer.printerName()), m_port(QPrinterInfo(printer).location())
    {
    }

    bool DrawsOnPrinter() const override { return true; }
    void AbandonJob(QPrinter& printer) const override
    {
        // Qt's Windows engine does nothing on abort, and its end closes the document: the
        // pages drawn so far would print. The system throws the job away; and since
        // Wine's AbortDoc does not, the device context goes as well, its document never
        // ended, for a fresh one on which the painter's end finds no document to close.
        if (printer.paintEngine() == nullptr || printer.paintEngine()->type() != QPaintEngine::Windows) {
            printer.abort();
            return;
        }
        auto* engine = static_cast<QWin32PrintEngine*>(printer.paintEngine());
        if (const HDC dc = engine->getDC(); dc != nullptr)
            ::AbortDoc(dc);
        const QVariant copies = engine->property(QPrintEngine::PPK_CopyCount);
        const QVariant collate = engine->property(QPrintEngine::PPK_CollateCopies);
        engine->setProperty(QPrintEngine::PPK_PrinterName, engine->property(QPrintEngine::PPK_PrinterName));
        engine->setProperty(QPrintEngine::PPK_CopyCount, copies);
        engine->setProperty(QPrintEngine::PPK_CollateCopies, collate);
    }
    bool Submit(const QString&, const QString&, QString*) override { return true; }
    QString PrinterName() const override { return m_name; }
    QString PortName() const override { return m_port; }

private:
    QString m_name;
    QString m_port;
};
#endif

}  // namespace

void CPrintSpooler::AbandonJob(QPrinter& printer) const
{
    printer.abort();
}

SpoolerFactory SetSpoolerFactory(SpoolerFactory factory)
{
    return std::exchange(Factory(), std::move(factory));
}

std::unique_ptr<CPrintSpooler> MakeSpooler(const QPrinter& printer, const std::string& outputFile)
{
    if (Factory())
        return Factory()(printer);
    if (printer.outputFormat() == QPrinter::PdfFormat)
        return std::make_unique<CPdfFileSpooler>(outputFile.empty() ? printer.outputFileName() : ToQt(outputFile));
#ifdef _WIN32
    return std::make_unique<CWindowsPrinterSpooler>(printer);
#else
    return std::make_unique<CQueueSpooler>(printer);
#endif
}
