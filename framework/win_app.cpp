#include "framework/win_app.h"

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
    return QString::fromUtf8(section.c_str()) + QLatin1Char('/') + QString::fromUtf8(entry.c_str());
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

bool IsValidUtf8(const std::string& s)
{
    const QByteArray bytes(s.data(), static_cast<qsizetype>(s.size()));
    return QString::fromUtf8(bytes).toUtf8() == bytes;
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
        (void)m_pPrinter.release();
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
            m_pPrinter->setOutputFileName(QFile::decodeName(QByteArray::fromStdString(pdfFile)));
        } else if (!queue.empty() && !QPrinterInfo::printerInfo(QString::fromStdString(queue)).isNull()) {
            m_pPrinter->setPrinterName(QString::fromStdString(queue));
        }
        if (const int copies = GetProfileInt(kPrinterSection, kCopiesEntry, 0); copies > 0)
            m_pPrinter->setCopyCount(copies);
    }
    return *m_pPrinter;
}

void CWinApp::SavePrinterSettings()
{
    if (!m_pPrinter)
        return;
    const bool pdf = m_pPrinter->outputFormat() == QPrinter::PdfFormat;
    WriteProfileString(kPrinterSection, kPrinterEntry, pdf ? std::string() : m_pPrinter->printerName().toStdString());
    WriteProfileString(kPrinterSection, kPdfFileEntry,
                       pdf ? QFile::encodeName(m_pPrinter->outputFileName()).toStdString() : std::string());
    WriteProfileInt(kPrinterSection, kCopiesEntry, std::max(1, m_pPrinter->copyCount()));
}

std::string CWinApp::GetProfileString(const std::string& section, const std::string& entry, const std::string& def)
{
    QSettings settings(QString::fromStdString(m_strRegistryKey), QString::fromStdString(m_strAppName));
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
    return value.toString().toStdString();
}

bool CWinApp::WriteProfileString(const std::string& section, const std::string& entry, const std::string& value)
{
    QSettings settings(QString::fromStdString(m_strRegistryKey), QString::fromStdString(m_strAppName));
    if (IsValidUtf8(value))
        settings.setValue(Key(section, entry), QString::fromStdString(value));
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
    const int value = QString::fromStdString(text).trimmed().toInt(&ok);
    return ok ? value : def;
}

bool CWinApp::WriteProfileInt(const std::string& section, const std::string& entry, int value)
{
    return WriteProfileString(section, entry, std::to_string(value));
}
