#pragma once

#include "framework/cmd_target.h"

#include <memory>
#include <string>

class QPrinter;
class QWidget;

// The most copies Qt's printer dialog offers.
inline constexpr int kMaxCopies = 999;

// What the framework's services need of the application object, and the services an
// application gets from the framework: the settings profile, the current printer and
// the preview's page setting. The program's application object derives from it;
// AfxGetApp() returns it.
class CWinApp : public CCmdTarget {
public:
    // appName is the last key of the settings path and the caption of message boxes.
    explicit CWinApp(std::string appName);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Roots the settings at company/appName (HKEY_CURRENT_USER\Software\... on Windows,
    // ~/.config/company/appName.conf on Linux).
    void SetRegistryKey(std::string company) { m_strRegistryKey = std::move(company); }

    // The settings profile. A damaged or unreadable store reads as empty: every
    // default is returned. Values that are not UTF-8 (file names) keep their bytes.
    std::string GetProfileString(const std::string& section, const std::string& entry,
                                 const std::string& def = std::string());
    bool WriteProfileString(const std::string& section, const std::string& entry, const std::string& value);
    int GetProfileInt(const std::string& section, const std::string& entry, int def);
    bool WriteProfileInt(const std::string& section, const std::string& entry, int value);

    // The printer that direct printing uses: the one chosen with the printer set-up
    // command (or last time, as the settings keep it), else the system default. Made on
    // first use.
    QPrinter& Printer();
    // Whether the preview shows one page or two (0: never chosen).
    int m_nNumPreviewPages = 0;

    // The main window, owner of the framework's messages; null when there is none.
    virtual QWidget* GetMainWnd() const = 0;
    // Sends a command to the main window as its menu would: false when it is disabled.
    virtual bool SendCommand(unsigned nID) = 0;
    // The document's title, which names print jobs.
    virtual std::string GetDocumentTitle() const = 0;

protected:
    // Lets the printer go when the application object outlives Qt (static destruction).
    void ReleaseQtObjects();
    void ResetPrinter();
    // Keeps the printer's choice for the next start ("Settings": "Printer", "PdfFile",
    // "Copies"), when a printer was made at all.
    void SavePrinterSettings();

private:
    std::string m_strAppName;
    std::string m_strRegistryKey;
    std::unique_ptr<QPrinter> m_pPrinter;
};

// The application object.
CWinApp* AfxGetApp();
