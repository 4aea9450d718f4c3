#pragma once

#include "draw/fit_text.h"
#include "framework/cdc.h"
#include "framework/win_app.h"

#include <memory>
#include <string>
#include <vector>

class QApplication;
class QLocale;
class QPrinter;
class CExitSignals;
class QString;
class QTranslator;
class CMainFrame;
class CVantrelDoc;
class CVantrelView;

// The application object: start and end of the program, the document template
// (document, frame, view) and the pending text style of DrawFitText. Its constructor
// makes no Qt object: theApp exists before main().
class CVantrelApp : public CWinApp, public CFitTextStyle {
public:
    CVantrelApp();
    ~CVantrelApp() override;
    CVantrelApp(const CVantrelApp&) = delete;
    CVantrelApp& operator=(const CVantrelApp&) = delete;

    // Creates the QApplication (unless one exists), the settings, the document, frame
    // and view, and acts on the command line. False: the program ends at once (a file
    // that cannot be opened, the print switch); ExitInstance then gives the exit code.
    bool InitInstance(int& argc, char** argv);
    // Saves the framework's profile values, removes the work file with its folder,
    // closes the window; returns the exit code (128 + the signal after SIGTERM, SIGINT
    // or SIGHUP, which end the program as a close does).
    int ExitInstance();
    // Runs the event loop; its result becomes ExitInstance's exit code.
    int Run();

    bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI) override;
    void OnAppAbout();
    void OnFileNew();
    void OnFileOpen();
    void OnFilePrintSetup();
    void OnAppExit();
    // The end of the Windows session: the settings saved and the work folder removed now,
    // as SIGTERM's close would do later.
    void OnEndSession();

    // Loads Qt's Japanese texts (qtbase_ja.qm) from folder for its own dialogs and
    // buttons, with the few it lacks and a Japanese default locale, replacing any loaded
    // before. False, and Qt's English, when the file is missing or unreadable.
    bool InstallQtTranslation(const QString& folder);
    void RemoveQtTranslation();

    // Opens a document by name, as the command line and the open dialog do: the file
    // must be readable; only its name is kept and it enters the recent-file list.
    bool OpenDocumentFile(const std::string& path);

    // The recent-file list (4 names, newest first), kept and saved though not shown.
    const std::vector<std::string>& RecentFiles() const { return m_aRecentFiles; }
    void AddToRecentFileList(const std::string& path);

    // Text fitted into a rectangle in the largest cell height that fits, with the
    // pending style (m_crTextColor, m_strFaceName, m_nAlign, m_bBold, m_bItalic); the
    // style is reset to its defaults on every path.
    void DrawFitText(CDC* pDC, CRect rc, const std::string& text);
    // A yellow dotted outline: odd running coordinates only.
    void DrawDottedFrame(CDC* pDC, CRect rc);

    QWidget* GetMainWnd() const override;
    bool SendCommand(unsigned nID) override;
    std::string GetDocumentTitle() const override;

    CMainFrame* MainFrame() const { return m_pMainFrame; }
    CVantrelDoc* Document() const { return m_pDocument.get(); }
    CVantrelView* View() const;

private:
    void LoadStdProfileSettings();
    void SaveStdProfileSettings();
    bool ProcessCommandLine(const std::vector<std::string>& args);

    std::unique_ptr<QApplication> m_pOwnApp;
    std::unique_ptr<QTranslator> m_pQtTranslator;
    std::unique_ptr<QTranslator> m_pQtGapsTranslator;
    std::unique_ptr<QLocale> m_previousLocale;
    std::unique_ptr<CVantrelDoc> m_pDocument;
    CMainFrame* m_pMainFrame = nullptr;
    std::unique_ptr<CExitSignals> m_pExitSignals;
    int m_nExitSignal = 0;  // the signal that ended the program, 0 for none
    std::vector<std::string> m_aRecentFiles;
    int m_nExitCode = 0;
    bool m_bProfileLoaded = false;
};

extern CVantrelApp theApp;
// Registers the shell's resources (icons, toolbar); InitInstance does it, tests too.
void InitShellResources();

// What the command line asks for: the framework's rules (a document name, the print
// switches "/p" "-p" "/pt" "-pt"); nothing of the program's own.
struct CCommandLineInfo {
    enum Shell { FileNew, FileOpen, FilePrint };
    Shell m_nShellCommand = FileNew;
    std::string m_strFileName;
    static CCommandLineInfo Parse(const std::vector<std::string>& args);
};
