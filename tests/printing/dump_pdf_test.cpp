// vantrel-dump --pdf: the printed pages of each file into one PDF, drawn by the printer's
// page code.

#include "common/small_file_system.h"
#include "printing/dump_test_util.h"
#include "printing/print_test_util.h"
#include "textfile/ansi_names.h"

#include <QDir>
#include <QRegularExpression>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>

namespace {

int RunPdf(const QStringList& args, QString* err = nullptr, [[maybe_unused]] std::function<void()> inChild = {},
           const QList<QPair<QString, QString>>& env = {}, const QString& folder = {})
{
    QProcess p;
    p.setWorkingDirectory(folder);
#if !defined(_WIN32)
    if (inChild)
        p.setChildProcessModifier(inChild);
#endif
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : env)
        environment.insert(name, value);
    p.setProcessEnvironment(environment);
    p.start(VANTREL_DUMP_EXE, args);
    p.waitForFinished(60000);
    if (err != nullptr)
        *err = QString::fromLocal8Bit(p.readAllStandardError());
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class DumpPdfTest : public ::testing::Test {
protected:
    QString File(const std::string& name, std::size_t size)
    {
        const std::string path = m_dir.path().toStdString() + "/" + name;
        dumptest::WriteBytes(path, dumptest::PatternBytes(size));
        return InDir(QString::fromLocal8Bit(name.c_str()));
    }
    // A path in the test's folder as the record names it: C:\...\name on Windows.
    QString InDir(const QString& name) const { return QDir::toNativeSeparators(m_dir.path() + "/" + name); }
    std::string Out() const { return m_dir.path().toStdString() + "/out.pdf"; }

    // Short folder names keep the headers on the paper.
    QTemporaryDir m_dir{QDir::tempPath() + "/vdXXXXXX"};
};

TEST_F(DumpPdfTest, EveryFileFromItsPageOneInOnePdf)
{
    const QString a = File("a.bin", 3 * 2560 - 5);
    const QString empty = File("empty.bin", 0);
    const QString b = File("b.bin", 100);
    ASSERT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), a, empty, b}), 0);
    ASSERT_EQ(printtest::PdfPages(Out()), 5);
    EXPECT_TRUE(printtest::PdfText(Out(), 1).simplified().contains(a + " Length : 00001DFB(7675) Page : 1 / 3"));
    EXPECT_TRUE(printtest::PdfText(Out(), 3).simplified().contains("Page : 3 / 3"));
    EXPECT_TRUE(printtest::PdfText(Out(), 4).trimmed().isEmpty());  // the empty file's blank page
    EXPECT_TRUE(printtest::PdfText(Out(), 5).simplified().contains(b + " Length : 00000064(100) Page : 1 / 1"));
    EXPECT_TRUE(printtest::PdfFonts(Out()).contains("IPAMincho"));
    // The printer's geometry at the PDF's 1200 dpi: x 15 mm, first line 8 mm.
    const std::vector<printtest::Word> words = printtest::PdfWords(Out(), 1);
    ASSERT_FALSE(words.empty());
    EXPECT_EQ(words.front().text, "Name");
    EXPECT_NEAR(words.front().xMin, 708 * 72.0 / 1200, 72.0 / 1200);
    EXPECT_NEAR(words.front().yMin, 377 * 72.0 / 1200, 0.5);
}

TEST_F(DumpPdfTest, PagesTakesARangeOfOneFile)
{
    const QString twelve = File("twelve.bin", 12 * 2560);
    ASSERT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), "--pages", "3-5", twelve}), 0);
    ASSERT_EQ(printtest::PdfPages(Out()), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(printtest::PdfText(Out(), i + 1).simplified().contains(QString("Page : %1 / 12").arg(i + 3)));
}

TEST_F(DumpPdfTest, BadRangesAndArgumentsWriteNothing)
{
    const QString twelve = File("twelve.bin", 12 * 2560);
    const QString other = File("other.bin", 10);
    const QString out = QString::fromStdString(Out());
    // An output that is one of the inputs, under any name, destroys nothing.
    const QString link = m_dir.path() + "/link.pdf", hard = m_dir.path() + "/hard.pdf";
#if defined(_WIN32)
    // No link a test can make there: a second hard link stands in for it.
    std::filesystem::create_hard_link(twelve.toStdString(), link.toStdString());
#else
    std::filesystem::create_symlink(twelve.toStdString(), link.toStdString());
#endif
    std::filesystem::create_hard_link(twelve.toStdString(), hard.toStdString());
    const struct {
        QStringList args;
        int code;
    } cases[] = {
        {{"--pdf", twelve, twelve}, 2},
        {{"--pdf", link, other, twelve}, 2},
        {{"--pdf", hard, twelve}, 2},
        {{"--pdf", out, "--pages", "5-3", twelve}, 2},
        {{"--pdf", out, "--pages", "3-13", twelve}, 2},
        {{"--pdf", out, "--pages", "0-3", twelve}, 2},
        {{"--pdf", out, "--pages", "3", twelve}, 2},
        {{"--pdf", out, "--pages", "3-5", twelve, other}, 2},
        {{"--pages", "3-5", twelve}, 2},
        {{"--pdf"}, 2},
        {{"--pdf", out}, 2},
        // Given twice, or an option where the value goes: never one of them dropped, nor
        // a file named "--csv".
        {{"--pdf", out, "--pdf", m_dir.path() + "/second.pdf", twelve}, 2},
        {{"--pdf", out, "--pages", "3-5", "--pages", "1-2", twelve}, 2},
        {{"--pdf", "--csv", twelve}, 2},
    };
    for (const auto& c : cases) {
        QString err;
        EXPECT_EQ(RunPdf(c.args, &err, {}, {}, m_dir.path()), c.code) << c.args.join(' ').toStdString();
        EXPECT_FALSE(err.isEmpty());
        EXPECT_FALSE(QFile::exists(out)) << c.args.join(' ').toStdString();
    }
    EXPECT_EQ(dumptest::ReadAll(twelve.toStdString()), dumptest::PatternBytes(12 * 2560));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path().toStdString()), {}), 4);
}

// A file that cannot be opened, or whose dump has no room in the work folder, is said;
// the other files still come out.
TEST_F(DumpPdfTest, FailedFileIsSaidAndTheOthersStillComeOut)
{
    const QString a = File("a.bin", 10);
    QString err;
    EXPECT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), InDir("gone.bin"), a}, &err), 1);
    EXPECT_TRUE(err.contains(QString::fromLocal8Bit("ファイルオープン失敗[") + InDir("gone.bin") + "]"));
    EXPECT_EQ(printtest::PdfPages(Out()), 1);

    const std::string small = m_dir.path().toStdString() + "/small";
    const CSmallFileSystem fs(small, "256k");
    if (!fs.Mounted())
        GTEST_SKIP() << CSmallFileSystem::kWhyNot;
    const QString big = File("big.bin", 100 * 1024);
    std::filesystem::remove(Out());
    EXPECT_EQ(
        RunPdf({"--pdf", QString::fromStdString(Out()), big, a}, &err, {}, {{"TMPDIR", QString::fromStdString(small)}}),
        1);
    EXPECT_TRUE(
        err.contains(QString::fromLocal8Bit("ワークファイルの空き容量が足りません[") + QString::fromStdString(small)))
        << err.toStdString();
    EXPECT_EQ(printtest::PdfPages(Out()), 1);
    // A range past the end is known before any work: said as such, not as no room.
    EXPECT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), "--pages", "1-999999", big}, &err, {},
                     {{"TMPDIR", QString::fromStdString(small)}}),
              2);
    EXPECT_TRUE(err.contains("--pages 1-999999 of 40")) << err.toStdString();
}

// The same rules as every output: only a regular file the user may write is replaced, a
// link's target is written and the link kept, anything else is refused; the result has
// the mode the umask gives.
TEST_F(DumpPdfTest, ReplacesOnlyWhatItMay)
{
#if defined(_WIN32)
    GTEST_SKIP() << "links, fifos, mode bits and the umask are POSIX's; the Windows output rules are the core tests'";
#else
    const QString a = File("a.bin", 3000);
    const std::string dir = m_dir.path().toStdString();
    dumptest::WriteBytes(dir + "/target.pdf", "old target");
    std::filesystem::create_symlink("target.pdf", dir + "/link.pdf");
    dumptest::WriteBytes(dir + "/readonly.pdf", "keep");
    ::chmod((dir + "/readonly.pdf").c_str(), 0444);
    ASSERT_EQ(::mkfifo((dir + "/fifo.pdf").c_str(), 0600), 0);
    const auto umask027 = [] { ::umask(027); };
    const struct {
        std::string out;
        int code;
        const char* reason;
    } cases[] = {{dir + "/new.pdf", 0, ""},
                 {dir + "/link.pdf", 0, ""},
                 {dir + "/readonly.pdf", 1, "Permission denied"},
                 {dir + "/fifo.pdf", 1, "通常のファイルではありません"},
                 {dir, 1, "Is a directory"}};
    for (const auto& c : cases) {
        QString err;
        EXPECT_EQ(RunPdf({"--pdf", QString::fromStdString(c.out), a}, &err, umask027), c.code) << c.out;
        if (c.code != 0) {
            EXPECT_TRUE(err.contains(QString::fromStdString("[" + c.out + "] (cannot create output): " + c.reason)))
                << err.toStdString();
        }
    }
    struct stat st {};
    ASSERT_EQ(::stat((dir + "/new.pdf").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_TRUE(std::filesystem::is_symlink(dir + "/link.pdf"));
    EXPECT_EQ(printtest::PdfPages(dir + "/target.pdf"), 2);
    EXPECT_EQ(dumptest::ReadAll(dir + "/readonly.pdf"), "keep");
    EXPECT_TRUE(std::filesystem::is_fifo(dir + "/fifo.pdf"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 6);  // no temporary left
    // (No system device is tried: a fault would replace it for the whole machine.)
#endif
}

// Another user's file is not replaced, although the folder would let us. Needs root to
// run the tool as another user.
TEST_F(DumpPdfTest, AnotherUsersFileIsNotReplaced)
{
#if defined(_WIN32)
    GTEST_SKIP() << "running as another user needs root and runuser, which are Linux's";
#else
    if (::geteuid() != 0 || QStandardPaths::findExecutable("runuser").isEmpty())
        GTEST_SKIP() << "running as another user needs root and runuser";
    const std::string dir = m_dir.path().toStdString();
    ::chmod(dir.c_str(), 0777);
    const QString a = File("a.bin", 3000);
    dumptest::WriteBytes(dir + "/theirs.pdf", "root's");
    ::chmod((dir + "/theirs.pdf").c_str(), 0644);
    QProcess p;
    p.start("runuser",
            {"-u", "nobody", "--", VANTREL_DUMP_EXE, "--pdf", QString::fromStdString(dir + "/theirs.pdf"), a});
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 1) << p.readAllStandardError().toStdString();
    EXPECT_EQ(dumptest::ReadAll(dir + "/theirs.pdf"), "root's");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
#endif
}

// A full disk, here a file-size limit the tool must live through: Qt's PDF writer says all
// went well although its writes failed. The tool must say it failed and leave the earlier
// file as it was.
TEST_F(DumpPdfTest, FullDiskKeepsTheEarlierFile)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no file-size limit (ulimit -f)";
#else
    const std::string dir = m_dir.path().toStdString();
    QStringList args{"--pdf", QString::fromStdString(Out())};
    // Many small files: each work file stays small, the PDF grows past the limit.
    for (int i = 0; i < 40; ++i)
        args << File(QStringLiteral("f%1.bin").arg(i).toStdString(), 2000);
    dumptest::WriteBytes(Out(), "an earlier PDF");
    QString err;
    const auto limit = [] {
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 48 * 1024;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    };
    const int code = RunPdf(args, &err, limit);
    // The PDF asked for is named, with the reason: the PDF itself hit the limit here, and
    // with one big file its work file.
    const QString said =
        QStringLiteral("[%1] (cannot write output): File too large").arg(QString::fromStdString(Out()));
    EXPECT_EQ(code, 1) << err.toStdString();
    EXPECT_TRUE(err.contains(said)) << err.toStdString();
    EXPECT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), File("big.bin", 100 * 1024)}, &err, limit), 1);
    EXPECT_TRUE(err.contains(said)) << err.toStdString();
    EXPECT_EQ(dumptest::ReadAll(Out()), "an earlier PDF");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 42);  // no temporary left
#endif
}

// Paths are bytes: a folder whose name is not UTF-8 takes the PDF like any other.
TEST_F(DumpPdfTest, FolderNameThatIsNotUtf8)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows names are UTF-16: none holds bytes that are not text";
#else
    const QString a = File("a.bin", 100);
    const std::string folder = m_dir.path().toStdString() + "/bad\xff\xfe";
    std::filesystem::create_directory(folder);
    QProcess p;
    p.start("sh", {"-c", "exec \"$1\" --pdf \"$(printf '%s/bad\\377\\376/out.pdf' \"$2\")\" \"$3\"", "sh",
                   VANTREL_DUMP_EXE, m_dir.path(), a});
    p.waitForFinished(60000);
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1);
    // The reading tools take the name as text: they read a copy.
    std::filesystem::copy_file(folder + "/out.pdf", Out());
    std::filesystem::remove_all(folder);
    EXPECT_EQ(printtest::PdfPages(Out()), 1);
#endif
}

// SIGTERM, SIGINT and SIGHUP leave neither the work folder nor the partial PDF, and end
// the tool with 128 + the signal. What a SIGKILL (or a power cut) leaves goes with the
// next run: the work folder at its start, the temporary when it writes beside it.
TEST_F(DumpPdfTest, KilledRunLeavesNothingBehind)
{
#if defined(_WIN32)
    GTEST_SKIP() << "Windows has no signal one process sends another";
#else
    const std::string dir = m_dir.path().toStdString();
    const QString big = File("big.bin", 2000 * 2560);
    const std::string tmp = dir + "/tmp";
    std::filesystem::create_directory(tmp);
    for (const int signo : {SIGTERM, SIGINT, SIGHUP, SIGKILL}) {
        dumptest::WriteBytes(Out(), "an earlier PDF");
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("TMPDIR", QString::fromStdString(tmp));
        p.setProcessEnvironment(env);
        p.start(VANTREL_DUMP_EXE, {"--pdf", QString::fromStdString(Out()), big});
        ASSERT_TRUE(p.waitForStarted());
        // Killed once its work folder and its partial PDF exist.
        const auto partial = [&] {
            bool temp = false;
            for (const auto& e : std::filesystem::directory_iterator(dir))
                temp = temp || e.path().filename().string().rfind(".vantrel-", 0) == 0;
            bool work = false;
            for (const auto& e : std::filesystem::directory_iterator(tmp))
                work = work || e.path().filename().string().rfind("vantrel-", 0) == 0;
            return temp && work;
        };
        for (int i = 0; i < 600 && !partial() && p.state() == QProcess::Running; ++i)
            p.waitForFinished(50);
        ASSERT_TRUE(partial());
        ::kill(static_cast<pid_t>(p.processId()), signo);
        ASSERT_TRUE(p.waitForFinished(30000));
        if (signo == SIGKILL) {
            // No program outlives it: the next run removes what it left.
            ASSERT_TRUE(partial());
            const QStringList args{"--pdf", QString::fromStdString(Out()), File("small.bin", 10)};
            EXPECT_EQ(RunPdf(args, nullptr, {}, {{"TMPDIR", QString::fromStdString(tmp)}}), 0);
            EXPECT_TRUE(printtest::Leftovers(dir).empty());
            continue;
        }
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 128 + signo);
        // (Qt may leave its own runtime folder there: not ours to remove.)
        for (const auto& e : std::filesystem::directory_iterator(tmp))
            EXPECT_NE(e.path().filename().string().rfind("vantrel-", 0), 0u) << signo << " " << e.path();
        EXPECT_EQ(dumptest::ReadAll(Out()), "an earlier PDF");
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 3) << signo;
    }
#endif
}

// Every header reads back as the name printed in four readers no one here wrote: a
// character no font has as itself or U+FFFD, controls and bidirectional formatting
// shown, the program's own fields whole and in their order. Written under a locale
// with a decimal comma, which changes no number in the file.
TEST_F(DumpPdfTest, EveryReaderReadsEveryNameBack)
{
#if defined(_WIN32)
    GTEST_SKIP() << "names outside code page 932 and a locale of the test's own (LOCPATH) are Linux's";
#else
    const std::string locales = m_dir.path().toStdString() + "/locales";
    std::filesystem::create_directory(locales);
    const std::string locale = printtest::MakeCommaLocale(locales);
    ASSERT_FALSE(locale.empty()) << "localedef cannot make de_DE.UTF-8 here";
    const struct {
        const char* name;
        const char* shown;
    } names[] = {
        {"表ソ.txt", "表ソ.txt"},
        {"한국어.bin", "한국어.bin"},
        {"😀🎉.bin", "😀🎉.bin"},
        {"ctl\x01\x7f.bin", "ctl<U+0001><U+007F>.bin"},
        {"rtl_\u202Egnp.exe", "rtl_<U+202E>gnp.exe"},
        {"two\nlines\r.bin", "two<U+000A>lines<U+000D>.bin"},
        {"a\u200Bb\u00AD\uFE0F<U+0009>.bin", "a<U+200B>b<U+00AD><U+FE0F><U+003C>U+0009>.bin"},
    };
    QStringList args{"--pdf", QString::fromStdString(Out())};
    for (const auto& n : names)
        args << File(n.name, 100);
    ASSERT_EQ(RunPdf(args, nullptr, {},
                     {{"LOCPATH", QString::fromStdString(locales)}, {"LC_ALL", QString::fromStdString(locale)}}),
              0);
    EXPECT_EQ(printtest::ReaderComplaints(Out()), "");
    for (const auto& [reader, text] : printtest::ReaderTexts(Out())) {
        const QString words = text.simplified();
        for (const auto& n : names) {
            QString pattern;
            for (const char32_t c : InDir(QString::fromUtf8(n.shown)).toUcs4()) {
                const QString ch = QRegularExpression::escape(QString::fromUcs4(&c, 1));
                pattern += c < 0x80 ? ch : "(?:" + ch + "|\uFFFD)";
            }
            pattern = "Name : " + pattern + " Length : 00000064\\(100\\) Page : 1 / 1";
            EXPECT_TRUE(QRegularExpression(pattern).match(words).hasMatch())
                << reader.toStdString() << ": " << n.shown << "\n"
                << words.toStdString();
        }
    }
#endif
}

// Names that printed alike before (bytes that are not UTF-8 lost on the way to Qt, a
// written-out control spelled by hand, characters that show nothing) each get their own
// header, title and subject: the name written out. (Named through printf: a byte that is
// not UTF-8 would not survive a QString.)
TEST_F(DumpPdfTest, NamesThatPrintedAlikeGetRecordsApart)
{
    const struct {
        const char* printf;
        const char* shown;
    } names[] = {
        {"bad\\377\\376_\\303(.bin", "bad<FF><FE>_<C3>(.bin"},
        {"bad\\376\\377_\\303(.bin", "bad<FE><FF>_<C3>(.bin"},
        {"tab<U+0009>here.bin", "tab<U+003C>U+0009>here.bin"},
        {"tab\\there.bin", "tab<U+0009>here.bin"},
        {"a\u200Bb.bin", "a<U+200B>b.bin"},
        {"a\uFEFFb.bin", "a<U+FEFF>b.bin"},
        {"a\u2060b.bin", "a<U+2060>b.bin"},
        {"a\u034Fb.bin", "a<U+034F>b.bin"},
        {"a\u00ADb.bin", "a<U+00AD>b.bin"},
    };
#if defined(_WIN32)
    GTEST_SKIP() << "Windows names hold no '<' and reach vantrel-dump in code page 932, which has none of these";
#endif
    for (const auto& n : names) {
        QProcess p;
        p.setWorkingDirectory(m_dir.path());
        p.start("sh",
                {"-c", "f=\"$PWD/$(printf \"$1\")\"; head -c 100 /dev/zero >\"$f\"; exec \"$0\" --pdf out.pdf \"$f\"",
                 VANTREL_DUMP_EXE, n.printf});
        p.waitForFinished(60000);
        ASSERT_EQ(p.exitCode(), 0) << n.shown << p.readAllStandardError().toStdString();
        const QString path = InDir(QString::fromUtf8(n.shown));
        EXPECT_EQ(printtest::PdfText(Out(), 1).section('\n', 0, 0).simplified(),
                  "Name : " + path + " Length : 00000064(100) Page : 1 / 1");
        EXPECT_EQ(printtest::PdfInfo(Out(), "Title"), n.shown);
        EXPECT_TRUE(printtest::PdfInfo(Out(), "Subject").contains(path)) << n.shown;
    }
}

// A header too long for its line goes on over the empty line under it, under the path,
// in the same font; one longer still over the same two lines in smaller rows. Every
// character of the path and both fields are on the page in their order, nothing beyond
// the right margin (the left one, 15 mm), nothing over the column header; a header that
// fits stays one line.
TEST_F(DumpPdfTest, LongPathsKeepEveryCharacterAndBothFieldsOnThePage)
{
    const std::string dir = m_dir.path().toStdString();
    std::string deep = dir, longest = dir + "/";
    for (int i = 0; i < 12; ++i)
        deep += "/level" + std::to_string(10 + i) + "_directory";
    while (longest.size() < 3700)
        longest += std::string(200, 'd') + "/";
    std::vector<std::pair<std::string, int>> cases = {
        // The path, and the rows its header takes (0: more than two, smaller).
        {dir + "/short.bin", 1},
        {dir + "/projects/" + std::string(111 - dir.size() - 10, 'x'), 2},
        {dir + "/日本語のフォルダ名/取引先別の契約書類/"
               "重要な契約書の写しと関連資料一式を含むとても長い名前のファイル.bin",
         2},
        {deep + "/" + std::string(251, 'n') + ".bin", 0},
        {longest + std::string(4000 - longest.size(), 'f'), 0},
    };
#if defined(_WIN32)
    // The program is not long-path aware: MAX_PATH holds there.
    std::erase_if(cases, [](const auto& c) { return c.first.size() >= 260; });
#endif
    QStringList args{"--pdf", QString::fromStdString(Out())};
    for (const auto& [path, rows] : cases) {
        std::filesystem::create_directories(ToFileSystemPath(path).parent_path());
        dumptest::WriteBytes(path, dumptest::PatternBytes(100));
        args << QString::fromLocal8Bit(path.c_str());
    }
    QString err;
    ASSERT_EQ(RunPdf(args, &err), 0) << err.toStdString();
    const double mm = 72 / 25.4;
    for (int page = 1; page <= static_cast<int>(cases.size()); ++page) {
        const auto& [path, wanted] = cases[page - 1];
        SCOPED_TRACE(page);
        // The header's words as drawn, row after row, down to the column header.
        const std::vector<printtest::Word> words = printtest::PdfWords(Out(), page);
        const auto columns =
            std::find_if(words.begin(), words.end(), [](const auto& w) { return w.text == "Position"; });
        ASSERT_NE(columns, words.end());
        QString text;
        int rows = 0;
        for (auto w = words.begin(); w != columns; ++w) {
            text += w->text;
            rows += w == words.begin() || w->yMin > std::prev(w)->yMin + 0.1;
            EXPECT_TRUE(w->xMin >= 15 * mm - 0.5 && w->yMax <= columns->yMin + 0.5 &&
                        (wanted == 0 || std::abs(w->yMax - w->yMin - (columns->yMax - columns->yMin)) < 0.1))
                << w->text.toStdString();
        }
        const QString header = "Name : " + QDir::toNativeSeparators(QString::fromLocal8Bit(path.c_str())) +
                               "  Length : 00000064(100)  Page : 1 / 1";
        EXPECT_EQ(text.toStdString(), QString(header).remove(' ').toStdString());
        EXPECT_TRUE(wanted != 0 ? rows == wanted : rows > 2) << rows;
        // On the rendered page too: no ink beyond the right margin.
        const QImage image = printtest::PdfPageImage(Out(), page, 150);
        const int right = static_cast<int>(std::ceil(195 / 25.4 * 150)) + 1;
        for (int y = 0; y < image.height(); ++y)
            for (int x = right; x < image.width(); ++x)
                ASSERT_EQ(qGray(image.pixel(x, y)), 255) << x << "," << y;
    }
}

// A name in a script no installed font has is drawn as missing and reads back as itself:
// no crash, nothing a reader complains of; right-to-left ones in poppler and mupdf.
TEST_F(DumpPdfTest, NamesOfEveryScriptReadBack)
{
#if defined(_WIN32)
    GTEST_SKIP() << "vantrel-dump takes its names in code page 932 on Windows, which most of these scripts are not in";
#endif
    QStringList args{"--pdf", QString::fromStdString(Out())};
    for (const printtest::ScriptName& n : printtest::ScriptNames())
        args << File(n.name, 100);
    QString err;
    ASSERT_EQ(RunPdf(args, &err), 0) << err.toStdString();
    EXPECT_EQ(printtest::ReaderComplaints(Out()), "");
    const auto texts = printtest::ReaderTexts(Out());
    for (const printtest::ScriptName& n : printtest::ScriptNames()) {
        const QString line = "Name : " + printtest::AsReadBack(InDir(QString::fromUtf8(n.name))) +
                             " Length : 00000064(100) Page : 1 / 1";
        const QStringList readers =
            n.rightToLeft ? QStringList{"poppler", "mupdf"} : QStringList{"poppler", "mupdf", "pypdf"};
        EXPECT_EQ(printtest::Misreaders(texts, line, readers), QStringList()) << n.name;
    }
}

// The document says what it records: the file, its length, the pages and the SHA-256 of
// exactly the bytes they show, as sha256sum of those bytes has it; when it was made, with
// the time zone; an identifier. Subsets of other glyphs are named apart.
TEST_F(DumpPdfTest, DocumentInformationTiesThePdfToItsBytes)
{
    const QString five = File("five.bin", 5 * 2560 - 7);
    const struct {
        QStringList range;
        const char* pages;
        qint64 from, count;
    } cases[] = {{{}, "1-5 / 5", 0, 5 * 2560 - 7}, {{"--pages", "2-3"}, "2-3 / 5", 2560, 2 * 2560}};
    for (const auto& c : cases) {
        ASSERT_EQ(RunPdf(QStringList{"--pdf", QString::fromStdString(Out())} + c.range + QStringList{five}), 0);
        EXPECT_EQ(printtest::PdfInfo(Out(), "Title"), "five.bin");
        // As README says to check it.
        const QString sum =
            printtest::Run(
                "sh", {"-c", QString("tail -c +%1 \"$0\" | head -c %2 | sha256sum").arg(c.from + 1).arg(c.count), five})
                .section(' ', 0, 0);
        const QString modified = printtest::Run("date", {"-r", five, "+%Y-%m-%dT%H:%M:%S%:z"}).trimmed();
        EXPECT_EQ(
            printtest::PdfInfo(Out(), "Subject"),
            QString("Length: 12793 bytes; Modified: %1; Pages: %2; SHA-256 of %3 bytes from offset %4: %5; File: %6")
                .arg(modified, c.pages)
                .arg(c.count)
                .arg(c.from)
                .arg(sum, five));
        const QString raw = QString::fromLatin1(QByteArray::fromStdString(dumptest::ReadAll(Out())));
        EXPECT_TRUE(raw.contains(QRegularExpression("/CreationDate \\(D:\\d{14}(Z|[+-]\\d\\d'\\d\\d')\\)")));
        EXPECT_TRUE(raw.contains(QRegularExpression("/ID \\[<[0-9a-f]{32}> <[0-9a-f]{32}>\\]")));
    }
    QStringList tags;
    for (const char* name : {"表.bin", "ソ.bin"}) {
        ASSERT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), File(name, 10)}), 0);
        for (const QString& line : printtest::PdfFonts(Out()).split('\n'))
            if (line.contains("Identity-H"))
                tags << line.section('+', 0, 0);
    }
    ASSERT_EQ(tags.size(), 2);
    EXPECT_NE(tags[0], tags[1]);
}

// The record's fields are told from the name by their place: a name that spells out
// other fields leaves the real ones where a parser of the subject and of the XMP takes
// them. The record names the file by its absolute path and a title never reads as two
// files; each file has an outline entry, a range its own page numbers, and each PDF is
// PDF/A-1b.
TEST_F(DumpPdfTest, RecordFieldsNoNameCanForgeInAnArchivalPdf)
{
    // A folder and a file: a name holds no slash.
#if defined(_WIN32)
    // A Windows name holds no ':' and ends in no blank.
    const std::string colon = "\uFF1A", slash = "/ ";
#else
    const std::string colon = ":", slash = " / ";
#endif
    const std::string forged = "y.bin; Length" + colon + " 1 bytes; Pages" + colon + " 1-1" + slash +
                               "1; SHA-256 of 1 bytes from offset 0" + colon + " " + std::string(64, '0');
    std::filesystem::create_directory(
        ToFileSystemPath(m_dir.path().toStdString() + "/" + forged.substr(0, forged.find('/'))));
    const QString a = File(forged, 100);
    const QString b = File("one, two.bin", 5000);
    const QString big = File("big.bin", 403 * 2560);
    QProcess p;
    p.setWorkingDirectory(m_dir.path());
    p.start(VANTREL_DUMP_EXE, {"--pdf", QString::fromStdString(Out()), "./one, two.bin", a});
    ASSERT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
    auto facts = printtest::PdfFacts(Out());
    const auto lines = printtest::SubjectFields(facts["subject"].join('\n'));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].value(0), "5000");
    EXPECT_EQ(lines[0].value(8), b);  // not "./one, two.bin"
    EXPECT_EQ(lines[1].mid(0, 7), QStringList({"100", lines[1].value(1), "1", "1", "1", "100", "0"}));
    EXPECT_EQ(lines[1].value(8), a);
    EXPECT_NE(lines[1].value(7), QString(64, '0'));
    EXPECT_EQ(facts["File"], QStringList({b, a}));
    EXPECT_EQ(facts["Length"], QStringList({"5000", "100"}));
    EXPECT_EQ(facts["Modified"], QStringList({lines[0].value(1), lines[1].value(1)}));
    EXPECT_EQ(facts["SHA256"], QStringList({lines[0].value(7), lines[1].value(7)}));
    EXPECT_EQ(facts["title"],
              QStringList(QString::fromLocal8Bit(("one, two.bin / " + forged.substr(forged.find('/') + 1)).c_str())));
    EXPECT_EQ(facts["outline"], QStringList({b, a}));
    EXPECT_EQ(facts["labels"], QStringList({"1", "2", "1"}));
    EXPECT_EQ(printtest::PreflightErrors(Out()), "");

    const std::string single = m_dir.path().toStdString() + "/single.pdf";
    ASSERT_EQ(RunPdf({"--pdf", QString::fromStdString(single), b}), 0);
    EXPECT_EQ(printtest::PdfFacts(single)["title"], QStringList("one, two.bin"));
    EXPECT_EQ(printtest::PreflightErrors(single), "");
    ASSERT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), "--pages", "400-402", big}), 0);
    facts = printtest::PdfFacts(Out());
    EXPECT_EQ(facts["labels"], QStringList({"400", "401", "402"}));
    EXPECT_EQ(facts["FirstPage"], QStringList("400"));
    EXPECT_EQ(facts["ByteCount"], QStringList(QString::number(3 * 2560)));
    EXPECT_EQ(printtest::PreflightErrors(Out()), "");
}

// "--pages 0-0" is a range like any other, and page 0 does not exist.
TEST_F(DumpPdfTest, PagesZeroToZeroIsRefused)
{
    const QString twelve = File("twelve.bin", 12 * 2560);
    QString err;
    EXPECT_EQ(RunPdf({"--pdf", QString::fromStdString(Out()), "--pages", "0-0", twelve}, &err), 2);
    EXPECT_TRUE(err.contains(QString::fromLocal8Bit("0ページは無効です"))) << err.toStdString();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Out())));
}

}  // namespace
