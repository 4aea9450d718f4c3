#include "app/vantrel_app.h"

#include "framework/qt_text.h"
#include "app/about_dlg.h"
#include "framework/command_ids.h"
#include "framework/dialog_units.h"
#include "framework/event_pump.h"
#include "framework/exit_signals.h"
#include "app/main_frame.h"
#include "framework/message_box.h"
#include "framework/print_loop.h"
#include "framework/print_setup_dlg.h"
#include "app/vantrel_doc.h"
#include "filelist/vantrel_view.h"
#include "printing/view_printing.h"
#include "printing/work_file.h"
#include "textfile/ansi_names.h"

#include <QDir>
#include <QApplication>
#include <QFileDialog>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QSettings>
#include <QTranslator>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <filesystem>

// The resources live in the static shell library: make sure they are linked in.
void InitShellResources()
{
    Q_INIT_RESOURCE(vantrel);
}

CVantrelApp theApp;

namespace {

const char* const kRecentSection = "Recent File List";
const char* const kPreviewSection = "Settings";
const char* const kPreviewEntry = "PreviewPages";
constexpr int kMaxRecent = 4;

std::string OpenFailedMessage(const std::string& path)
{
    return "ﾄﾞｷｭﾒﾝﾄを開くことができませんでした。\n" + path;
}

// Texts of Qt's dialogs that its Japanese translation lacks: the type column of the
// folder chooser and the file dialogs.
class CQtGapsTranslator : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, [[maybe_unused]] const char* disambiguation,
                      [[maybe_unused]] int n) const override
    {
        struct Text {
            const char* context;
            const char* source;
            const char* japanese;
        };
        static const Text kTexts[] = {
            {"QAbstractFileIconProvider", "Folder", "フォルダ"},
            {"QAbstractFileIconProvider", "File", "ファイル"},
            {"QAbstractFileIconProvider", "%1 File", "%1 ファイル"},
            {"QAbstractFileIconProvider", "Drive", "ドライブ"},
        };
        for (const Text& t : kTexts)
            if (qstrcmp(context, t.context) == 0 && qstrcmp(sourceText, t.source) == 0)
                return ToQt(t.japanese);
        return {};
    }
};

}  // namespace

CVantrelApp::CVantrelApp() : CWinApp("Vantrel")
{
    SetRegistryKey("Kovalmeret");
}

CVantrelApp::~CVantrelApp()
{
    // Normally ExitInstance has cleared everything. Qt objects left at static
    // destruction would outlive their QApplication: let them go undestroyed.
    if (!QCoreApplication::instance()) {
        ReleaseQtObjects();
        m_pMainFrame = nullptr;
    }
}

QWidget* CVantrelApp::GetMainWnd() const
{
    return m_pMainFrame;
}

bool CVantrelApp::SendCommand(unsigned nID)
{
    return m_pMainFrame != nullptr && m_pMainFrame->ExecuteCommand(nID);
}

std::string CVantrelApp::GetDocumentTitle() const
{
    return m_pDocument ? m_pDocument->GetTitle() : std::string("無題");
}

CCommandLineInfo CCommandLineInfo::Parse(const std::vector<std::string>& args)
{
    CCommandLineInfo info;
    bool bPrint = false;
    for (const std::string& arg : args) {
        std::string flag;
        if (arg.size() > 1 && (arg[0] == '-' || arg[0] == '/')) {
            flag = arg.substr(1);
            std::transform(flag.begin(), flag.end(), flag.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        }
        // On POSIX an absolute path starts with '/': only the framework's own switch
        // names count as switches there.
        static const char* const kSwitches[] = {"p",         "pt",         "dde",        "automation",
                                                "embedding", "unregister", "unregserver"};
        const bool isSwitch =
            !flag.empty() &&
            (arg[0] == '-' || std::find_if(std::begin(kSwitches), std::end(kSwitches),
                                           [&](const char* s) { return flag == s; }) != std::end(kSwitches));
        if (isSwitch) {
            // "/pt" names printer, driver and port after the file: never used here.
            if (flag == "p" || flag == "pt")
                bPrint = true;
            continue;
        }
        if (info.m_strFileName.empty())
            info.m_strFileName = arg;  // later parameters: the "/pt" printer, driver, port
    }
    if (bPrint)
        info.m_nShellCommand = FilePrint;
    else if (!info.m_strFileName.empty())
        info.m_nShellCommand = FileOpen;
    return info;
}

bool CVantrelApp::InitInstance(int& argc, char** argv)
{
    m_nExitCode = 0;
    // The desktop's own dialogs would speak the desktop's language: Qt's own ones
    // speak Japanese below.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    if (!QCoreApplication::instance())
        m_pOwnApp = std::make_unique<QApplication>(argc, argv);
    InstallQtTranslation(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    InitShellResources();
    // No display name: Qt would append it to every caption but the frame's.
    QCoreApplication::setApplicationName(QStringLiteral("Vantrel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("vantrel"));
    QGuiApplication::setWindowIcon(ProgramIcon());

    // Japanese text must render whatever the locale: the dialog face everywhere.
    InstallFontSubstitutions();
    QApplication::setFont(DialogTemplateFont("ＭＳ Ｐゴシック", 9));

    LoadStdProfileSettings();
    // What a killed run (or a power cut) left goes now; a running copy holds its folder's lock.
    CWorkFile().RemoveStaleFolders();

    // A logout or kill closes the window as the user would: the work running then ends
    // at its next page start, the settings are saved and the work folder removed.
    m_nExitSignal = 0;
    m_pExitSignals = std::make_unique<CExitSignals>(
        [this](int signo) {
            m_nExitSignal = signo;
            if (m_pMainFrame != nullptr)
                m_pMainFrame->close();
            // Also ends the loop of a dialog that is open, and a dump inside a pump.
            RequestQuit();
        },
        [this] { OnEndSession(); });

#ifdef SIGXFSZ
    // A file-size limit (ulimit -f) fails a write as a full disk does: said, not a death.
    std::signal(SIGXFSZ, SIG_IGN);
#endif

    // QApplication has taken its own options out of argv.
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.emplace_back(argv[i]);
    return ProcessCommandLine(args);
}

bool CVantrelApp::ProcessCommandLine(const std::vector<std::string>& args)
{
    const CCommandLineInfo info = CCommandLineInfo::Parse(args);
    m_pDocument = std::make_unique<CVantrelDoc>();
    if (info.m_nShellCommand == CCommandLineInfo::FileNew) {
        m_pDocument->OnNewDocument();
    } else {
        if (!OpenDocumentFile(info.m_strFileName)) {
            m_nExitCode = 1;
            return false;
        }
        if (info.m_nShellCommand == CCommandLineInfo::FilePrint) {
            // As the framework does: the frame, never shown, gets the print-direct
            // command, which the view serves, and the program ends. It prints nothing:
            // nothing is marked at start, and the document names no list entry.
            auto* view = new CVantrelView;
            m_pMainFrame = new CMainFrame(view);
            view->OnInitialUpdate();
            m_pMainFrame->ExecuteCommand(ID_FILE_PRINT_DIRECT);
            delete m_pMainFrame;
            m_pMainFrame = nullptr;
            m_nExitCode = 0;
            return false;
        }
    }

    auto* view = new CVantrelView;
    m_pMainFrame = new CMainFrame(view);
    // The frame first: a big folder takes seconds to read, and the frame draws itself
    // meanwhile, under the wait cursor.
    m_pMainFrame->UpdateCommands();
    m_pMainFrame->show();
    view->OnInitialUpdate();
    m_pMainFrame->UpdateCommands();
    // A signal while the folder was read has closed the frame already.
    return !QuitRequested();
}

int CVantrelApp::Run()
{
    m_nExitCode = QApplication::exec();
    return m_nExitCode;
}

int CVantrelApp::ExitInstance()
{
    delete m_pMainFrame;
    m_pMainFrame = nullptr;
    if (m_bProfileLoaded)
        SaveStdProfileSettings();
    m_pExitSignals.reset();
    m_pDocument.reset();
    ResetPrinter();
    RemoveQtTranslation();
    m_pOwnApp.reset();
    return m_nExitSignal != 0 ? 128 + m_nExitSignal : m_nExitCode;
}

void CVantrelApp::OnEndSession()
{
    // Windows may end the process as soon as this returns: the exit work cannot wait for
    // the loop to end. A dump still writing keeps its file open; the next start removes it.
    m_nExitSignal = SIGTERM;
    if (m_bProfileLoaded)
        SaveStdProfileSettings();
    if (CVantrelView* view = View())
        CViewPrinting::Of(view).WorkFile().Remove();
    RequestQuit();
}

bool CVantrelApp::InstallQtTranslation(const QString& folder)
{
    RemoveQtTranslation();
    auto translator = std::make_unique<QTranslator>();
    // The interface is Japanese whatever the locale; without the file Qt's English stays.
    if (!translator->load(QStringLiteral("qtbase_ja"), folder))
        return false;
    if (!QCoreApplication::installTranslator(translator.get()))
        return false;
    m_pQtTranslator = std::move(translator);
    // Installed last, asked first: only for what the translation lacks.
    m_pQtGapsTranslator = std::make_unique<CQtGapsTranslator>();
    QCoreApplication::installTranslator(m_pQtGapsTranslator.get());
    // Dates, sizes and file types in Qt's dialogs follow the default locale.
    m_previousLocale = std::make_unique<QLocale>();
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    return true;
}

void CVantrelApp::RemoveQtTranslation()
{
    for (const std::unique_ptr<QTranslator>* t : {&m_pQtGapsTranslator, &m_pQtTranslator}) {
        if (*t)
            QCoreApplication::removeTranslator(t->get());
    }
    m_pQtGapsTranslator.reset();
    m_pQtTranslator.reset();
    if (m_previousLocale) {
        QLocale::setDefault(*m_previousLocale);
        m_previousLocale.reset();
    }
}

CVantrelView* CVantrelApp::View() const
{
    return m_pMainFrame ? m_pMainFrame->View() : nullptr;
}

bool CVantrelApp::OnCmdMsg(unsigned nID, CCmdUI* pCmdUI)
{
    void (CVantrelApp::*handler)() = nullptr;
    switch (nID) {
    case ID_APP_ABOUT:
        handler = &CVantrelApp::OnAppAbout;
        break;
    case ID_FILE_NEW:
        handler = &CVantrelApp::OnFileNew;
        break;
    case ID_FILE_OPEN:
        handler = &CVantrelApp::OnFileOpen;
        break;
    case ID_FILE_PRINT_SETUP:
        handler = &CVantrelApp::OnFilePrintSetup;
        break;
    case ID_APP_EXIT:
        handler = &CVantrelApp::OnAppExit;
        break;
    default:
        return false;
    }
    if (pCmdUI)
        pCmdUI->Enable(true);
    else
        (this->*handler)();
    return true;
}

void CVantrelApp::OnAppAbout()
{
    CAboutDlg dlg(m_pMainFrame);
    dlg.exec();
}

void CVantrelApp::OnFileNew()
{
    if (!m_pDocument)
        return;
    m_pDocument->OnNewDocument();
    if (CVantrelView* view = View())
        view->OnInitialUpdate();
}

void CVantrelApp::OnFileOpen()
{
    const QString chosen = QFileDialog::getOpenFileName(m_pMainFrame, QString(), QString(), ToQt("すべてのﾌｧｲﾙ (*)"));
    if (chosen.isEmpty())
        return;
    if (!OpenDocumentFile(FromQt(QDir::toNativeSeparators(chosen))))
        return;
    if (CVantrelView* view = View())
        view->OnInitialUpdate();
}

bool CVantrelApp::OpenDocumentFile(const std::string& path)
{
    if (!m_pDocument)
        m_pDocument = std::make_unique<CVantrelDoc>();
    if (!m_pDocument->OnOpenDocument(path)) {
        AfxMessageBox(OpenFailedMessage(path));
        return false;
    }
    AddToRecentFileList(path);
    return true;
}

void CVantrelApp::OnFilePrintSetup()
{
    ChoosePrinter(Printer(), m_pMainFrame, true);
}

void CVantrelApp::OnAppExit()
{
    if (m_pMainFrame)
        m_pMainFrame->close();
}

void CVantrelApp::AddToRecentFileList(const std::string& path)
{
    std::error_code ec;
    std::string full = path;
    const std::filesystem::path abs = std::filesystem::absolute(ToFileSystemPath(path), ec);
    if (!ec)
        full = FromFileSystemPath(abs.lexically_normal());
    m_aRecentFiles.erase(std::remove(m_aRecentFiles.begin(), m_aRecentFiles.end(), full), m_aRecentFiles.end());
    m_aRecentFiles.insert(m_aRecentFiles.begin(), full);
    if (m_aRecentFiles.size() > kMaxRecent)
        m_aRecentFiles.resize(kMaxRecent);
}

void CVantrelApp::LoadStdProfileSettings()
{
    m_aRecentFiles.clear();
    for (int i = 1; i <= kMaxRecent; ++i) {
        const std::string name = GetProfileString(kRecentSection, "File" + std::to_string(i));
        if (!name.empty())
            m_aRecentFiles.push_back(name);
    }
    m_nNumPreviewPages = GetProfileInt(kPreviewSection, kPreviewEntry, 0);
    m_bProfileLoaded = true;
}

void CVantrelApp::SaveStdProfileSettings()
{
    {
        QSettings settings(QStringLiteral("Kovalmeret"), QStringLiteral("Vantrel"));
        settings.remove(ToQt(kRecentSection));
    }
    for (size_t i = 0; i < m_aRecentFiles.size(); ++i)
        WriteProfileString(kRecentSection, "File" + std::to_string(i + 1), m_aRecentFiles[i]);
    // As the framework does: the preview count is written only when it is set.
    if (m_nNumPreviewPages != 0)
        WriteProfileInt(kPreviewSection, kPreviewEntry, m_nNumPreviewPages);
    SavePrinterSettings();
}

void CVantrelApp::DrawFitText(CDC* pDC, CRect rc, const std::string& text)
{
    ::DrawFitText(pDC, rc, text, *this);
    ResetTextStyle();
}

void CVantrelApp::DrawDottedFrame(CDC* pDC, CRect rc)
{
    ::DrawDottedFrame(pDC, rc);
}
