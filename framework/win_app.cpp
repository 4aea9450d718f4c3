#include "framework/win_app.h"

#include "framework/qt_text.h"
#include "textfile/system_calls.h"

#include <QCoreApplication>
#include <QFile>
#include <QPrinter>
#include <QPrinterInfo>
#include <QSettings>

#include <algorithm>
#include <map>

namespace {

CWinApp* g_pApp = nullptr;

const char* const kPrinterSection = "Settings";
const char* const kPrinterEntry = "Printer";
const char* const kPdfFileEntry = "PdfFile";
const char* const kCopiesEntry = "Copies";

QString Key(const std::string& section, const std::string& entry)
{
    return ToQt(section) + QLatin1Char('/') + ToQt(entry);
}

// Qt reports a damaged or unreadable store only to the first QSettings that reads
// the file; later ones share its parsed cache and say all is well. So the verdict is
// kept per file until a write has put the file back in order.
bool& StoreDamaged(const QSettings& settings)
{
    static std::map<QString, bool> damaged;
    bool& bad = damaged[settings.fileName()];
    if (settings.status() != QSettings::NoError)
        bad = true;
    return bad;
}

// Whether the value reads back as it is from a string; on Windows every value in the ANSI
// code page does.
bool IsText([[maybe_unused]] const std::string& s)
{
#if defined(_WIN32)
    return true;
#else
    const QByteArray bytes(s.data(), static_cast<qsizetype>(s.size()));
    return QString::fromUtf8(bytes).toUtf8() == bytes;
#endif
}

}  // namespace

CWinApp* AfxGetApp()
{
    return g_pApp;
}

CWinApp::CWinApp(std::string appName) : m_strAppName(std::move(appName))
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    ReleaseQtObjects();
    if (g_pApp == this)
        g_pApp = nullptr;
}

void CWinApp::ReleaseQtObjects()
{
    // A printer left at static destruction would outlive its QApplication.
    if (!QCoreApplication::instance())
        IgnoreResult(m_pPrinter.release());  // left to the system, not freed
}

void CWinApp::ResetPrinter()
{
    m_pPrinter.reset();
}

QPrinter& CWinApp::Printer()
{
    if (!m_pPrinter) {
        m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
        // The choice of the last run: a PDF file, or a queue the system still has (one
        // that went leaves the default, without a word).
        const std::string queue = GetProfileString(kPrinterSection, kPrinterEntry);
        const std::string pdfFile = GetProfileString(kPrinterSection, kPdfFileEntry);
        if (queue.empty() && !pdfFile.empty()) {
            m_pPrinter->setOutputFormat(QPrinter::PdfFormat);
            m_pPrinter->setOutputFileName(ToQt(pdfFile));
        } else if (!queue.empty() && !QPrinterInfo::printerInfo(ToQt(queue)).isNull()) {
            m_pPrinter->setPrinterName(ToQt(queue));
        }
        // What the printer dialog could have chosen, else one: a damaged value never
        // reaches the spooler. A PDF file holds the pages once.
        const int copies = GetProfileInt(kPrinterSection, kCopiesEntry, 1);
        const bool pdf = m_pPrinter->outputFormat() == QPrinter::PdfFormat;
        m_pPrinter->setCopyCount(copies >= 1 && copies <= kMaxCopies && !pdf ? copies : 1);
    }
    return *m_pPrinter;
}

void CWinApp::SavePrinterSettings()
{
    if (!m_pPrinter)
        return;
    const bool pdf = m_pPrinter->outputFormat() == QPrinter::PdfFormat;
    WriteProfileString(kPrinterSection, kPrinterEntry, pdf ? std::string() : FromQt(m_pPrinter->printerName()));
    WriteProfileString(kPrinterSection, kPdfFileEntry, pdf ? FromQt(m_pPrinter->outputFileName()) : std::string());
    WriteProfileInt(kPrinterSection, kCopiesEntry, std::max(1, m_pPrinter->copyCount()));
}

std::string CWinApp::GetProfileString(const std::string& section, const std::string& entry, const std::string& def)
{
    QSettings settings(ToQt(m_strRegistryKey), ToQt(m_strAppName));
    if (StoreDamaged(settings))
        return def;
    const QVariant value = settings.value(Key(section, entry));
    if (!value.isValid())
        return def;
    // Names that are not UTF-8 are kept as their bytes.
    if (value.typeId() == QMetaType::QByteArray) {
        const QByteArray bytes = value.toByteArray();
        return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
    }
    if (!value.canConvert<QString>())
        return def;
    return FromQt(value.toString());
}

bool CWinApp::WriteProfileString(const std::string& section, const std::string& entry, const std::string& value)
{
    QSettings settings(ToQt(m_strRegistryKey), ToQt(m_strAppName));
    if (IsText(value))
        settings.setValue(Key(section, entry), ToQt(value));
    else
        settings.setValue(Key(section, entry), QByteArray(value.data(), static_cast<qsizetype>(value.size())));
    bool& damaged = StoreDamaged(settings);
    settings.sync();
    if (settings.status() != QSettings::NoError)
        return false;
    // The file has been written whole from what could be read: usable again.
    damaged = false;
    return true;
}

int CWinApp::GetProfileInt(const std::string& section, const std::string& entry, int def)
{
    const std::string text = GetProfileString(section, entry, std::string());
    bool ok = false;
    const int value = ToQt(text).trimmed().toInt(&ok);
    return ok ? value : def;
}

bool CWinApp::WriteProfileInt(const std::string& section, const std::string& entry, int value)
{
    return WriteProfileString(section, entry, std::to_string(value));
}
