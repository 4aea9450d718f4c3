#include "common/cups_scheduler.h"
#include "common/qt_events.h"
#include "framework/command_ids.h"
#include "framework/dialog_units.h"
#include "framework/event_pump.h"
#include "framework/qt_text.h"
#include "app/main_frame.h"
#include "framework/message_box.h"
#include "app/vantrel_app.h"
#include "app/vantrel_doc.h"
#include "framework/wait_cursor.h"
#include "filelist/vantrel_view.h"
#include "printing/view_printing.h"
#include "tests/app/test_support.h"

#include <QAbstractEventDispatcher>
#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QCursor>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QPrintDialog>
#include <QPrinter>
#include <QComboBox>
#include <QSpinBox>
#include <QTest>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

// Runs InitInstance with these arguments, as main() would.
bool Init(std::vector<std::string> args)
{
    static std::vector<std::string> storage;
    static std::vector<char*> argv;
    storage = std::move(args);
    storage.insert(storage.begin(), "vantrel");
    argv.clear();
    for (std::string& s : storage)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    static int argc;
    argc = static_cast<int>(storage.size());
    return theApp.InitInstance(argc, argv.data());
}

struct Recorded {
    std::vector<std::string> texts;
    std::vector<unsigned> flags;
};

// Records every box while it lives, answering answer; the hook before it comes back.
class HookGuard : public MessageBoxHookGuard {
public:
    explicit HookGuard(Recorded& rec, int answer = IDOK)
        : MessageBoxHookGuard([&rec, answer](const std::string& text, unsigned flags) {
              rec.texts.push_back(text);
              rec.flags.push_back(flags);
              return answer;
          })
    {
    }
};

void Touch(const std::string& path)
{
    std::ofstream(path) << "x";
}

}  // namespace

TEST(CommandLine, FrameworkRules)
{
    using C = CCommandLineInfo;
    struct Case {
        std::vector<std::string> args;
        C::Shell shell;
        std::string file;
    };
    const Case cases[] = {
        {{}, C::FileNew, ""},
        {{"a.txt"}, C::FileOpen, "a.txt"},
        {{"/home/u/a.txt"}, C::FileOpen, "/home/u/a.txt"},
        {{"/p", "a.txt"}, C::FilePrint, "a.txt"},
        {{"-P", "a.txt"}, C::FilePrint, "a.txt"},
        {{"a.txt", "/p"}, C::FilePrint, "a.txt"},
        {{"/pt", "a.txt", "printer", "driver", "port"}, C::FilePrint, "a.txt"},
        {{"/pt", "printer", "driver", "port", "a.txt"}, C::FilePrint, "printer"},
        {{"-dde"}, C::FileNew, ""},
        {{"-x", "b"}, C::FileOpen, "b"},
        {{"/p"}, C::FilePrint, ""},
    };
    for (const Case& c : cases) {
        const C info = C::Parse(c.args);
        EXPECT_EQ(info.m_nShellCommand, c.shell) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(info.m_strFileName, c.file) << (c.args.empty() ? "" : c.args[0]);
    }
}

TEST(Profile, RoundTripAndDefaults)
{
    ScopedSettings settings;
    CVantrelApp* app = &theApp;
    EXPECT_EQ(app->GetProfileString("Path", "Path", "none"), "none");
    EXPECT_TRUE(app->WriteProfileString("Path", "Path", "/data/ダンプ"));
    EXPECT_EQ(app->GetProfileString("Path", "Path", ""), "/data/ダンプ");
    // Bytes that are not UTF-8 come back as they went in.
    const std::string raw = "/data/\x83\x5f\x83\x93\x83\x76";
    EXPECT_TRUE(app->WriteProfileString("Path", "Path", raw));
    EXPECT_EQ(app->GetProfileString("Path", "Path", ""), raw);
    EXPECT_TRUE(app->WriteProfileInt("Settings", "PreviewPages", 2));
    EXPECT_EQ(app->GetProfileInt("Settings", "PreviewPages", 0), 2);
    EXPECT_EQ(app->GetProfileInt("Settings", "Missing", 7), 7);
#if defined(_WIN32)
    EXPECT_EQ(QSettings(QString::fromLatin1(kVantrelRegistryKey), QSettings::NativeFormat).value("Path/Path"),
              QString::fromLocal8Bit(raw.c_str()));
#else
    EXPECT_TRUE(QFile::exists(settings.ConfFile()));
#endif
}

TEST(Profile, DamagedStoreReadsAsEmpty)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the registry has no file to damage";
#endif
    ScopedSettings settings;
    QDir().mkpath(settings.Dir() + QStringLiteral("/Kovalmeret"));
    {
        QFile f(settings.ConfFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Path]\nPath=/somewhere\n[Recent File List\n\x01\xff\xfe=\n[[[\n");
    }
    EXPECT_EQ(AfxGetApp()->GetProfileString("Path", "Path", ""), "");

    ASSERT_TRUE(Init({}));
    ASSERT_NE(theApp.View(), nullptr);
    EXPECT_EQ(theApp.View()->m_strFolder, "");
    EXPECT_TRUE(theApp.View()->m_aFiles.empty());
    EXPECT_TRUE(theApp.RecentFiles().empty());
    EXPECT_EQ(theApp.ExitInstance(), 0);
    // A write puts the file in order again.
    EXPECT_TRUE(AfxGetApp()->WriteProfileString("Path", "Path", "/chosen"));
    EXPECT_EQ(AfxGetApp()->GetProfileString("Path", "Path", ""), "/chosen");
}

TEST(Profile, UnreadableStoreStartsWithNoFolder)
{
#if defined(_WIN32)
    GTEST_SKIP() << "the registry has no file to make unreadable";
#endif
    ScopedSettings settings;
    // A folder where the file should be: neither readable nor writable as a file.
    ASSERT_TRUE(QDir().mkpath(settings.ConfFile()));
    EXPECT_EQ(AfxGetApp()->GetProfileString("Path", "Path", "def"), "def");
    EXPECT_FALSE(AfxGetApp()->WriteProfileString("Path", "Path", "/x"));
    ASSERT_TRUE(Init({}));
    EXPECT_EQ(theApp.View()->m_strFolder, "");
    EXPECT_EQ(theApp.ExitInstance(), 0);
}

// A stored folder longer than any path the system takes (2,000,000 letters) names no
// folder: the window starts with none, as if none were stored, nothing scanned or drawn.
TEST(Profile, FolderBeyondThePathLimitIsIgnored)
{
    ScopedSettings settings;
    QSettings("Kovalmeret", "Vantrel").setValue("Path/Path", QString(2000000, QLatin1Char('a')));
    ASSERT_TRUE(Init({}));
    EXPECT_EQ(theApp.View()->m_strFolder, "");
    EXPECT_TRUE(theApp.View()->m_aFiles.empty());
    EXPECT_FALSE(theApp.MainFrame()->grab().isNull());
    EXPECT_EQ(theApp.ExitInstance(), 0);
}

TEST(Start, NoArgumentShowsOneFrame)
{
    ScopedSettings settings;
    ASSERT_TRUE(Init({}));
    CMainFrame* frame = theApp.MainFrame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->windowTitle(), QString::fromLocal8Bit("ヴァントレル"));
    EXPECT_EQ(frame->findChild<QStatusBar*>(), nullptr);
    EXPECT_EQ(frame->frameGeometry().size(), QSize(575, 420));
    EXPECT_EQ(frame->centralWidget(), theApp.View());
    EXPECT_EQ(theApp.Document()->GetTitle(), "無題");
    EXPECT_FALSE(frame->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(frame->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_EQ(frame->minimumSize(), frame->maximumSize());

    // The work file and its private folder go at exit, whatever is in them.
    const std::string work = CViewPrinting::Of(theApp.View()).WorkFile().Prepare();
    ASSERT_FALSE(work.empty());
    Touch(work);
    const auto folder = std::filesystem::path(work).parent_path();
    EXPECT_EQ(theApp.ExitInstance(), 0);
    EXPECT_FALSE(std::filesystem::exists(folder));
    EXPECT_EQ(theApp.MainFrame(), nullptr);
}

// A big folder takes seconds to read: the frame is up first, and the folder is read
// under the wait cursor.
TEST(Start, FrameIsUpBeforeTheSavedFolderIsReadUnderTheWaitCursor)
{
    ScopedSettings settings;
    Touch(settings.File("a.bin"));
    QSettings("Kovalmeret", "Vantrel").setValue("Path/Path", QDir::toNativeSeparators(settings.Dir()));
    struct Watch : QObject {  // sees the view as soon as there is one, and what its listing says
        bool watching = false, listed = false, shownAndWaiting = false;
        bool eventFilter(QObject*, QEvent*) override
        {
            if (watching || theApp.View() == nullptr)
                return false;
            watching = true;
            QObject::connect(theApp.View(), &CVantrelView::commandStateChanged, this, [this] {
                if (listed || theApp.View()->m_aFiles.empty())
                    return;
                listed = true;
                const QCursor* cursor = QGuiApplication::overrideCursor();
                shownAndWaiting = theApp.MainFrame()->isVisible() && cursor && cursor->shape() == Qt::WaitCursor;
            });
            return false;
        }
    } watch;
    qApp->installEventFilter(&watch);
    ASSERT_TRUE(Init({}));
    qApp->removeEventFilter(&watch);
    EXPECT_TRUE(watch.listed);
    EXPECT_TRUE(watch.shownAndWaiting);
    EXPECT_EQ(theApp.ExitInstance(), 0);
}

TEST(Start, MissingFileEndsWithAMessageAndNoWindow)
{
    ScopedSettings settings;
    Recorded rec;
    HookGuard hook(rec);
    const std::string missing = settings.File("no-such-file.bin");
    EXPECT_FALSE(Init({missing}));
    ASSERT_EQ(rec.texts.size(), 1u);
    EXPECT_NE(rec.texts[0].find(missing), std::string::npos);
    EXPECT_EQ(theApp.MainFrame(), nullptr);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty() ||
                std::none_of(QApplication::topLevelWidgets().begin(), QApplication::topLevelWidgets().end(),
                             [](QWidget* w) { return w->isVisible(); }));
    EXPECT_NE(theApp.ExitInstance(), 0);
}

// A fifo as the document (command line, print switch, Ctrl+O) is refused at once with
// the open-failed message: opening it for reading would wait for a writer forever.
TEST(Start, FifoAsTheDocumentIsRefusedWithoutWaiting)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no fifos";
#else
    ScopedSettings settings;
    const std::string fifo = settings.File("doc.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Should an open wait for a writer, this one sets it free after a while and says so.
    std::atomic<bool> done{false};
    std::atomic<bool> freed{false};
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::seconds(2));
        for (int i = 0; i < 100 && !done; ++i) {
            const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) {
                freed = true;
                ::close(fd);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const std::string message = "ﾄﾞｷｭﾒﾝﾄを開くことができませんでした。\n" + fifo;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{fifo}, std::vector<std::string>{"-p", fifo}}) {
        Recorded rec;
        HookGuard hook(rec);
        EXPECT_FALSE(Init(args));
        EXPECT_EQ(rec.texts, std::vector<std::string>{message});
        EXPECT_NE(theApp.ExitInstance(), 0);
    }
    {
        ASSERT_TRUE(Init({}));
        Recorded rec;
        HookGuard hook(rec);
        EXPECT_FALSE(theApp.OpenDocumentFile(fifo));
        EXPECT_EQ(rec.texts, std::vector<std::string>{message});
        EXPECT_EQ(theApp.ExitInstance(), 0);
    }
    done = true;
    writer.join();
    EXPECT_FALSE(freed);
#endif
}

#if defined(_WIN32)
// The end of the Windows session ends work as SIGTERM does, before the system's message
// has returned: the settings saved in the registry, the work folder gone.
TEST(Start, EndOfSessionSavesTheSettingsAndRemovesTheWorkFolder)
{
    ScopedSettings settings;
    ASSERT_TRUE(Init({}));
    theApp.m_nNumPreviewPages = 2;
    CWorkFile& work = CViewPrinting::Of(theApp.View()).WorkFile();
    ASSERT_FALSE(work.Prepare().empty());
    const std::string folder = work.Folder();
    ASSERT_TRUE(std::filesystem::exists(folder));
    // The system's MSG, laid out without <windows.h>: WM_ENDSESSION (0x16), wParam TRUE.
    struct {
        void* hwnd;
        unsigned message;
        unsigned long long wParam;
        long long lParam;
        unsigned long time;
        long x;
        long y;
    } msg{nullptr, 0x16, 1, 0, 0, 0, 0};
    qintptr result = 0;
    QAbstractEventDispatcher::instance()->filterNativeEvent("windows_generic_MSG", &msg, &result);
    EXPECT_FALSE(std::filesystem::exists(folder));
    const QSettings key(QString::fromLatin1(kVantrelRegistryKey), QSettings::NativeFormat);
    EXPECT_EQ(key.value("Settings/PreviewPages").toInt(), 2);
    EXPECT_EQ(theApp.ExitInstance(), 128 + SIGTERM);
    ClearQuitRequest();
}
#endif

TEST(Start, FileArgumentOpensByNameAndEntersTheRecentList)
{
    // Also a Japanese name: on Windows its bytes are code page 932's, with ソ's trail
    // byte 0x5C, and no UTF-8.
    for (const std::string name : {"doc.bin", "表ソ.bin"}) {
        SCOPED_TRACE(name);
        ScopedSettings settings;
        const std::string file = settings.File(name);
        Touch(file);
        ASSERT_TRUE(Init({file}));
        EXPECT_EQ(theApp.Document()->GetPathName(), file);
        EXPECT_EQ(theApp.Document()->GetTitle(), name);
        EXPECT_EQ(theApp.MainFrame()->windowTitle(), QString::fromLocal8Bit("ヴァントレル"));
        ASSERT_FALSE(theApp.RecentFiles().empty());
        EXPECT_EQ(theApp.RecentFiles()[0], file);
        EXPECT_EQ(theApp.ExitInstance(), 0);
        EXPECT_EQ(FromQt(QSettings("Kovalmeret", "Vantrel").value("Recent File List/File1").toString()), file);
        // The document reads nothing and writes nothing.
        std::ifstream in(file);
        std::string content;
        in >> content;
        EXPECT_EQ(content, "x");
    }
}

TEST(Start, PrintSwitchPrintsNothingAndEnds)
{
    ScopedSettings settings;
    const std::string file = settings.File("doc.bin");
    Touch(file);
    Recorded rec;
    HookGuard hook(rec);
    EXPECT_FALSE(Init({"/p", file}));
    EXPECT_TRUE(rec.texts.empty());
    EXPECT_EQ(theApp.MainFrame(), nullptr);
    EXPECT_EQ(theApp.ExitInstance(), 0);

    EXPECT_FALSE(Init({"-p", settings.File("missing.bin")}));
    EXPECT_EQ(rec.texts.size(), 1u);
    EXPECT_NE(theApp.ExitInstance(), 0);
}

TEST(Start, RecentListAndPreviewPagesSurviveARun)
{
    ScopedSettings settings;
    {
        QSettings s("Kovalmeret", "Vantrel");
        for (int i = 1; i <= 4; ++i)
            s.setValue(QStringLiteral("Recent File List/File%1").arg(i), QStringLiteral("/old/%1").arg(i));
        s.setValue("Settings/PreviewPages", 3);
    }
    ASSERT_TRUE(Init({}));
    ASSERT_EQ(theApp.RecentFiles(), (std::vector<std::string>{"/old/1", "/old/2", "/old/3", "/old/4"}));
    EXPECT_EQ(theApp.m_nNumPreviewPages, 3);
    const std::string file = settings.File("new.bin");
    Touch(file);
    ASSERT_TRUE(theApp.OpenDocumentFile(file));
    EXPECT_EQ(theApp.ExitInstance(), 0);
    QSettings s("Kovalmeret", "Vantrel");
    EXPECT_EQ(FromQt(s.value("Recent File List/File1").toString()), file);
    EXPECT_EQ(s.value("Recent File List/File2").toString(), QStringLiteral("/old/1"));
    EXPECT_EQ(s.value("Recent File List/File4").toString(), QStringLiteral("/old/3"));
    EXPECT_FALSE(s.contains("Recent File List/File5"));
    EXPECT_EQ(s.value("Settings/PreviewPages").toInt(), 3);
}

// The printer chosen (a PDF file with its folder; copies only for a queue) is there after a
// restart; a queue that has gone since leaves the default without a word.
TEST(Start, PrinterChoiceSurvivesARun)
{
    ScopedSettings settings;
    const QString pdf = ToQt(settings.File("out.pdf"));
    ASSERT_TRUE(Init({}));
    theApp.Printer().setOutputFormat(QPrinter::PdfFormat);
    theApp.Printer().setOutputFileName(pdf);
    theApp.Printer().setCopyCount(3);
    EXPECT_EQ(theApp.ExitInstance(), 0);
    ASSERT_TRUE(Init({}));
    EXPECT_EQ(theApp.Printer().outputFormat(), QPrinter::PdfFormat);
    EXPECT_EQ(theApp.Printer().outputFileName(), pdf);
    EXPECT_EQ(theApp.Printer().copyCount(), 1);  // a PDF file holds the pages once
    EXPECT_EQ(theApp.ExitInstance(), 0);

    QSettings("Kovalmeret", "Vantrel").setValue("Settings/Printer", "vantrel-gone");
    ASSERT_TRUE(Init({}));
    EXPECT_NE(theApp.Printer().printerName(), QStringLiteral("vantrel-gone"));
    EXPECT_EQ(theApp.ExitInstance(), 0);
}

TEST(Start, QtsOwnTextsReadInJapaneseOnACLocale)
{
#if defined(_WIN32)
    GTEST_SKIP() << "a Windows program takes its locale from the system (Japanese here), not from LANG";
#endif
    ScopedSettings settings;
    // ctest runs this on a C locale: only the program asks Qt for Japanese.
    EXPECT_EQ(QLocale::system().language(), QLocale::C);
    const auto cancelText = [] {
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        return box.button(QDialogButtonBox::Cancel)->text();
    };
    EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));

    ASSERT_TRUE(Init({}));
    EXPECT_EQ(cancelText(), QString::fromLocal8Bit("キャンセル"));
    QDialogButtonBox yesNo(QDialogButtonBox::Yes | QDialogButtonBox::No);
    EXPECT_EQ(yesNo.button(QDialogButtonBox::Yes)->text(), QString::fromLocal8Bit("はい(&Y)"));
    EXPECT_EQ(yesNo.button(QDialogButtonBox::No)->text(), QString::fromLocal8Bit("いいえ(&N)"));
    // Qt's own folder chooser, not the desktop's, so that it speaks Japanese too.
    EXPECT_TRUE(QCoreApplication::testAttribute(Qt::AA_DontUseNativeDialogs));
    QFileDialog chooser(nullptr, QString(), QDir::tempPath());
    chooser.setFileMode(QFileDialog::Directory);
    chooser.setOption(QFileDialog::ShowDirsOnly);
    auto* lookIn = chooser.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    ASSERT_NE(lookIn, nullptr);
    EXPECT_EQ(lookIn->text(), QString::fromLocal8Bit("アドレス:"));
    // Its type column and dates: what Qt's translation lacks, and a Japanese locale.
    EXPECT_EQ(QAbstractFileIconProvider().type(QFileInfo(QDir::tempPath())), QString::fromLocal8Bit("フォルダ"));
    EXPECT_EQ(QLocale().language(), QLocale::Japanese);

    // The translation goes with the program.
    EXPECT_EQ(theApp.ExitInstance(), 0);
    EXPECT_EQ(cancelText(), QStringLiteral("Cancel"));
    EXPECT_EQ(QLocale().language(), QLocale::C);
}

TEST(Start, AMissingQtTranslationIsNoError)
{
    QTemporaryDir empty;
    ASSERT_TRUE(empty.isValid());
    EXPECT_FALSE(theApp.InstallQtTranslation(empty.path()));
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancel"));
    theApp.RemoveQtTranslation();
}

TEST(MessageBox, HookSeesTheExclamationAddedAndAnswers)
{
    Recorded rec;
    Recorded outer;
    HookGuard outerHook(outer, IDOK);
    {
        HookGuard hook(rec, IDCANCEL);
        EXPECT_EQ(AfxMessageBox("印刷を行いますか？", MB_OKCANCEL), IDCANCEL);
        AfxMessageBox("info", MB_OK | MB_ICONINFORMATION);
        AfxMessageBox("retry", MB_RETRYCANCEL);
    }
    // The hook it stood in for answers again.
    EXPECT_EQ(AfxMessageBox("again", MB_OKCANCEL), IDOK);
    EXPECT_EQ(outer.texts, std::vector<std::string>{"again"});
    ASSERT_EQ(rec.flags.size(), 3u);
    EXPECT_EQ(rec.flags[0], MB_OKCANCEL | MB_ICONEXCLAMATION);
    EXPECT_EQ(rec.flags[1], MB_OK | MB_ICONINFORMATION);
    EXPECT_EQ(rec.flags[2], MB_RETRYCANCEL);
    EXPECT_EQ(rec.texts[0], "印刷を行いますか？");
}

TEST(MessageBox, RealBoxHasTheCaptionJapaneseButtonsAndIcon)
{
    QString title;
    QStringList buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    qttest::AnswerModal<QMessageBox>([&](QMessageBox& box) {
        title = box.windowTitle();
        icon = box.icon();
        for (QAbstractButton* b : box.buttons())
            buttons << b->text();
        for (QAbstractButton* b : box.buttons())
            if (b->text() == QString::fromLocal8Bit("ｷｬﾝｾﾙ"))
                b->click();
    });
    EXPECT_EQ(AfxMessageBox("text", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(title, QStringLiteral("Vantrel"));
    EXPECT_EQ(icon, QMessageBox::Warning);
    buttons.sort();
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("OK"), QString::fromLocal8Bit("ｷｬﾝｾﾙ")}));

    qttest::AnswerModal<QMessageBox>(
        [](QMessageBox& box) {
            for (QAbstractButton* b : box.buttons())
                if (b->text() == QString::fromLocal8Bit("いいえ(&N)"))
                    b->click();
        },
        qttest::Modal::IfUp);
    EXPECT_EQ(AfxMessageBox("q", MB_YESNO | MB_ICONQUESTION), IDNO);
}

TEST(WaitCursor, NestsAndIgnoresUnbalancedEnds)
{
    EndWaitCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    BeginWaitCursor();
    {
        CWaitCursor inner;
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
    EndWaitCursor();
    EndWaitCursor();
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(DialogUnits, NinePointGothicAndEdgeMapping)
{
    const QFont font = DialogTemplateFont("ＭＳ Ｐゴシック", 9);
    EXPECT_EQ(font.pixelSize(), 12);
    ASSERT_EQ(DialogBaseUnits(font), QSize(7, 13));
    // x * 7 / 4 and y * 13 / 8 per edge, rounded half away from zero.
    EXPECT_EQ(DialogUnitsToPixels(font, 0, 0, 166, 77), QRect(0, 0, 291, 125));
    EXPECT_EQ(DialogUnitsToPixels(font, 67, 56, 32, 14), QRect(117, 91, 56, 23));
    EXPECT_EQ(DialogUnitsToPixels(font, 1, 1, 1, 1), QRect(2, 2, 2, 1));
}

// Qt's printer dialog moves the printer it is given while it fills its list; cancelled,
// it must leave the program's printer, the next print and the settings as they were.
// A scheduler of the test's own offers a queue.
class PrinterDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
#if defined(_WIN32)
        GTEST_SKIP() << "Windows has no CUPS, and its printer dialog is the system's own";
#endif
        ASSERT_TRUE(m_dir.isValid());
        if (const QString why = m_cups.Start(m_dir.path() + "/cups"); !why.isEmpty())
            GTEST_SKIP() << why.toStdString();
        m_folder = m_dir.path().toStdString() + "/files";
        std::filesystem::create_directories(m_folder);
        Touch(m_folder + "/a.bin");
        m_pdf = m_dir.path() + "/chosen.pdf";
        QSettings s("Kovalmeret", "Vantrel");
        s.setValue("Path/Path", ToQt(m_folder));
    }

    // Ctrl+P with the one file marked: the range dialog answered with all pages.
    void PrintTheFile()
    {
        CVantrelView* view = theApp.View();
        ASSERT_EQ(view->m_aFiles.size(), 1u);
        view->m_aFiles[0].nMark = 1;
        qttest::AnswerModal<QDialog>([](QDialog& dlg) { QTest::keyClick(&dlg, Qt::Key_Return); });
        EXPECT_TRUE(theApp.SendCommand(ID_FILE_PRINT));
        qttest::RunEventsWhile(view->m_bPrinting);
    }

    // The printer the settings file holds after the program has ended.
    void ExpectSaved(const QString& queue, const QString& pdfFile)
    {
        EXPECT_EQ(theApp.ExitInstance(), 0);
        QSettings s("Kovalmeret", "Vantrel");
        EXPECT_EQ(s.value("Settings/Printer").toString(), queue);
        EXPECT_EQ(s.value("Settings/PdfFile").toString(), pdfFile);
    }

    ScopedSettings m_settings;
    QTemporaryDir m_dir{QDir::tempPath() + "/vdlgXXXXXX"};
    CCupsScheduler m_cups;
    std::string m_folder;
    QString m_pdf;
};

TEST_F(PrinterDialogs, CancelledSetUpKeepsThePdfFile)
{
    QSettings("Kovalmeret", "Vantrel").setValue("Settings/PdfFile", m_pdf);
    ASSERT_TRUE(Init({}));
    ASSERT_EQ(theApp.Printer().outputFileName(), m_pdf);
    // While it is up, the queue offers its copies and the PDF file none.
    std::vector<std::pair<bool, int>> copiesShown;
    qttest::AnswerModal<QPrintDialog>([&](QPrintDialog& dlg) {
        QTest::qWait(0);
        auto* printers = dlg.findChild<QComboBox*>(QStringLiteral("printers"));
        auto* copies = dlg.findChild<QSpinBox*>(QStringLiteral("copies"));
        ASSERT_TRUE(printers != nullptr && copies != nullptr);
        copiesShown.emplace_back(copies->isEnabled(), copies->value());
        printers->setCurrentIndex(printers->findText(CCupsScheduler::kQueue));
        copies->setValue(4);
        copiesShown.emplace_back(copies->isEnabled(), copies->value());
        printers->setCurrentIndex(printers->count() - 1);
        copiesShown.emplace_back(copies->isEnabled(), copies->value());
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    EXPECT_TRUE(theApp.SendCommand(ID_FILE_PRINT_SETUP));
    EXPECT_EQ(copiesShown, (std::vector<std::pair<bool, int>>{{false, 1}, {true, 4}, {false, 1}}));

    Recorded rec;
    HookGuard hook(rec);
    PrintTheFile();
    EXPECT_TRUE(rec.texts.empty()) << rec.texts.front();
    EXPECT_TRUE(QFile::exists(m_pdf));
    EXPECT_TRUE(QDir(m_cups.OutFolder()).isEmpty()) << "the job went to the queue";
    ExpectSaved(QString(), m_pdf);
}

// Stored copies go to lp -n: a value the dialog could not have chosen is taken as one.
TEST_F(PrinterDialogs, StoredCopiesOutsideTheDialogsRangeAreOne)
{
    QSettings("Kovalmeret", "Vantrel").setValue("Settings/Printer", CCupsScheduler::kQueue);
    for (const auto& [stored, taken] : {std::pair<const char*, int>{"7", 7},
                                        {"999", 999},
                                        {"1000", 1},
                                        {"2147483647", 1},
                                        {"0", 1},
                                        {"-3", 1},
                                        {"x", 1}}) {
        QSettings("Kovalmeret", "Vantrel").setValue("Settings/Copies", stored);
        ASSERT_TRUE(Init({}));
        EXPECT_EQ(theApp.Printer().printerName(), QString(CCupsScheduler::kQueue));
        EXPECT_EQ(theApp.Printer().copyCount(), taken) << stored;
        EXPECT_EQ(theApp.ExitInstance(), 0);
    }
}

// A PDF file remembered, a queue chosen since, then no scheduler: Ctrl+P shows the
// printer dialog; cancelled, it leaves nothing that lets the next print skip it.
TEST_F(PrinterDialogs, CancelledPrinterDialogAsksAgainAtTheNextPrint)
{
    {
        QFile old(m_pdf);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("an old PDF");
    }
    QSettings("Kovalmeret", "Vantrel").setValue("Settings/PdfFile", m_pdf);
    ASSERT_TRUE(Init({}));
    // A queue chosen since, the PDF file's name still held by the printer.
    theApp.Printer().setPrinterName(CCupsScheduler::kQueue);
    ASSERT_EQ(theApp.Printer().outputFormat(), QPrinter::NativeFormat);
    m_cups.Stop();

    int asked = 0;
    for (int print = 0; print < 2; ++print) {
        qttest::AnswerModalWhenUp<QPrintDialog>([&](QPrintDialog& dlg) {
            ++asked;
            QTest::keyClick(&dlg, Qt::Key_Escape);
        });
        PrintTheFile();
    }
    EXPECT_EQ(asked, 2);
    QFile old(m_pdf);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), QByteArray("an old PDF"));
    ExpectSaved(CCupsScheduler::kQueue, QString());
}
