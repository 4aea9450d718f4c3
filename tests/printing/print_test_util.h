#pragma once

#include "framework/print_loop.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace printtest {

// Takes every finished job as the numbered file jobN.pdf in a folder, as a printer would
// take it: only whole jobs arrive.
struct JobRecorder {
    std::filesystem::path folder;
    std::vector<std::string> titles;
    bool failSubmit = false;
    std::function<void()> onSubmit;  // runs as each job arrives

    std::string Job(int n) const { return (folder / ("job" + std::to_string(n) + ".pdf")).string(); }
    int Count() const { return static_cast<int>(titles.size()); }
};

class CRecordingSpooler : public CPrintSpooler {
public:
    explicit CRecordingSpooler(JobRecorder* recorder) : m_pRecorder(recorder) {}
    QString TemporaryFolder() const override { return QString::fromStdString(m_pRecorder->folder.string()); }
    bool Submit(const QString& pdfPath, const QString& title, QString* error) override
    {
        if (m_pRecorder->onSubmit)
            m_pRecorder->onSubmit();
        if (m_pRecorder->failSubmit) {
            QFile::remove(pdfPath);
            *error = "lp: scheduler is not running";
            return false;
        }
        const QString job = QString::fromStdString(m_pRecorder->Job(m_pRecorder->Count()));
        m_pRecorder->titles.push_back(title.toLocal8Bit().toStdString());  // the program's own strings
        QFile pdf(pdfPath);
        if (pdf.rename(job))
            return true;
        *error = pdf.errorString();
        return false;
    }
    QString PrinterName() const override { return "recorder"; }
    QString PortName() const override { return "jobs"; }

private:
    JobRecorder* m_pRecorder;
};

// Spoolers made while it lives go to the recorder.
class RecordJobs : public SpoolerFactoryGuard {
public:
    explicit RecordJobs(JobRecorder* recorder)
        : SpoolerFactoryGuard([recorder](const QPrinter&) { return std::make_unique<CRecordingSpooler>(recorder); })
    {
    }
};

// Starts one of the Linux programs that read PDFs (poppler, Ghostscript, ...); under Wine
// through the tests' own unix-tool, which waits for it and takes Windows paths.
inline void StartTool(QProcess& p, const QString& program, const QStringList& args)
{
#if defined(_WIN32)
    p.start(QStringLiteral(VANTREL_UNIX_TOOL_EXE), QStringList{program} + args);
#else
    p.start(program, args);
#endif
}

inline QString Run(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    StartTool(p, program, args);
    p.waitForFinished(30000);
    if (exitCode != nullptr)
        *exitCode = p.exitCode();
    return QString::fromUtf8(p.readAllStandardOutput());
}

// What the programs keep while they work, under folder: work folders, files, temporaries.
inline std::set<std::string> Leftovers(const std::filesystem::path& folder)
{
    std::set<std::string> found;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (const std::string name = e.path().filename().string(); name.find("vantrel-") <= 1 || name == "WkFile.txt")
            found.insert(e.path().string());
    return found;
}

inline int PdfPages(const std::string& pdf)
{
    const QString info = Run("pdfinfo", {QString::fromStdString(pdf)});
    for (const QString& line : info.split('\n'))
        if (line.startsWith("Pages:"))
            return line.mid(6).trimmed().toInt();
    return -1;
}

// Text of one page, lines as laid out.
inline QString PdfText(const std::string& pdf, int page)
{
    return Run("pdftotext",
               {"-layout", "-f", QString::number(page), "-l", QString::number(page), QString::fromStdString(pdf), "-"});
}

// A word pdftotext found on a page, in points from the page's top-left corner.
struct Word {
    QString text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

inline std::vector<Word> PdfWords(const std::string& pdf, int page)
{
    const QString html = Run("pdftotext", {"-bbox", "-f", QString::number(page), "-l", QString::number(page),
                                           QString::fromStdString(pdf), "-"});
    std::vector<Word> words;
    const auto attr = [](const QString& line, const QString& name) {
        const int at = line.indexOf(name + "=\"");
        return at < 0 ? 0.0 : line.mid(at + name.size() + 2).section('"', 0, 0).toDouble();
    };
    for (const QString& line : html.split('\n')) {
        if (!line.trimmed().startsWith("<word"))
            continue;
        Word w;
        w.xMin = attr(line, "xMin");
        w.yMin = attr(line, "yMin");
        w.xMax = attr(line, "xMax");
        w.yMax = attr(line, "yMax");
        w.text = line.section('>', 1).section('<', 0, 0);
        words.push_back(w);
    }
    return words;
}

// One page rendered in grey at dpi.
inline QImage PdfPageImage(const std::string& pdf, int page, int dpi)
{
    const QString base = QString::fromStdString(pdf) + ".page";
    Run("pdftoppm", {"-gray", "-r", QString::number(dpi), "-f", QString::number(page), "-l", QString::number(page),
                     "-singlefile", QString::fromStdString(pdf), base});
    QImage image(base + ".pgm");
    QFile::remove(base + ".pgm");
    return image.convertToFormat(QImage::Format_Grayscale8);
}

// Mean grey difference (0..255) of two pages seen from afar: glyph hinting and
// smoothing vanish, a missing or displaced line does not.
inline double ImageDifference(const QImage& a, const QImage& b)
{
    const QSize coarse(a.width() / 4, a.height() / 4);
    const QImage ca = a.scaled(coarse, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const QImage cb = b.scaled(coarse, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int y = 0; y < coarse.height(); ++y)
        for (int x = 0; x < coarse.width(); ++x)
            sum += std::abs(qGray(ca.pixel(x, y)) - qGray(cb.pixel(x, y)));
    return sum / (static_cast<double>(coarse.width()) * coarse.height());
}

// Problems readers no one here wrote report about a file (poppler, Ghostscript, qpdf,
// mupdf), empty when none.
inline std::string ReaderComplaints(const std::string& pdf)
{
    std::string complaints;
    const QString file = QString::fromStdString(pdf);
    const QList<QPair<QString, QStringList>> readers = {
        {"pdfinfo", {file}},
        {"pdftoppm", {"-r", "20", file}},
        {"gs", {"-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=nullpage", file}},
        {"qpdf", {"--check", file}},
        {"mutool", {"draw", "-q", "-r", "20", "-o", "/dev/null", file}},
    };
    for (const auto& [program, args] : readers) {
        QProcess p;
        StartTool(p, program, args);
        p.waitForFinished(60000);
        p.readAllStandardOutput();
        // mupdf says this of every file on a build without colour management.
        const QString err =
            QString::fromUtf8(p.readAllStandardError()).remove("warning: ICC support is not available\n");
        if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 || !err.isEmpty())
            complaints += program.toStdString() + ": " + err.toStdString() + "\n";
    }
    return complaints;
}

// The text of a whole file as each of four readers no one here wrote extracts it.
inline QList<QPair<QString, QString>> ReaderTexts(const std::string& pdf)
{
    const QString file = QString::fromStdString(pdf);
    const auto out = [](const QString& program, const QStringList& args) {
        QProcess p;
        StartTool(p, program, args);
        p.waitForFinished(60000);
        return p.readAllStandardOutput();
    };
    return {
        {"poppler", QString::fromUtf8(out("pdftotext", {"-layout", "-enc", "UTF-8", file, "-"}))},
        {"mupdf", QString::fromUtf8(out("mutool", {"draw", "-q", "-F", "txt", "-o", "-", file}))},
        // Debian's own Python, which has Debian's modules.
        {"pypdf", QString::fromUtf8(out("/usr/bin/python3", {"-c",
                                                             "import sys, pypdf\n"
                                                             "r = pypdf.PdfReader(sys.argv[1])\n"
                                                             "t = '\\n'.join(p.extract_text() for p in r.pages)\n"
                                                             "sys.stdout.buffer.write(t.encode('utf-8'))",
                                                             file}))},
        {"ghostscript",
         QString::fromUtf8(out("gs", {"-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=txtwrite", "-sOutputFile=-", file}))},
        {"pdfminer",
         QString::fromUtf8(out("/usr/bin/python3", {"-c",
                                                    "import sys\n"
                                                    "from pdfminer.high_level import extract_text\n"
                                                    "sys.stdout.buffer.write(extract_text(sys.argv[1]).encode())",
                                                    file}))},
    };
}

// The readers of ReaderTexts that do not give line back whole on one line of their text
// (poppler's marks around a right-to-left run aside), of those named.
inline QStringList Misreaders(const QList<QPair<QString, QString>>& texts, const QString& line,
                              const QStringList& readers)
{
    QStringList wrong;
    for (const auto& [reader, text] : texts) {
        if (!readers.contains(reader))
            continue;
        const QStringList lines = QString(text).remove(QRegularExpression("[\u202A-\u202E]")).split('\n');
        if (std::none_of(lines.begin(), lines.end(), [&](const QString& l) { return l.simplified().contains(line); }))
            wrong << reader + ": " + text.left(2000);
    }
    return wrong;
}

// line as readers give it back: a character past U+FFFF as U+FFFD (README says why).
inline QString AsReadBack(const QString& line)
{
    QString out;
    for (const char32_t c : line.toUcs4())
        out += c > 0xFFFF ? QChar(0xFFFD) : QString::fromUcs4(&c, 1);
    return out;
}

// Whether mupdf's and poppler's own searches find text on page 1.
inline bool SearchFinds(const std::string& pdf, const QString& text)
{
    const QString script = QString::fromStdString(pdf) + ".js";
    QFile js(script);
    js.open(QIODevice::WriteOnly);
    js.write("var page = new Document(scriptArgs[0]).loadPage(0);\nprint(page.search(scriptArgs[1]).length);\n");
    js.close();
    const QString mupdf = Run("mutool", {"run", script, QString::fromStdString(pdf), text}).trimmed();
    const QString poppler = Run("/usr/bin/python3", {"-c",
                                                     "import sys, gi\n"
                                                     "gi.require_version('Poppler', '0.18')\n"
                                                     "from gi.repository import Poppler\n"
                                                     "d = Poppler.Document.new_from_file('file://' + sys.argv[1])\n"
                                                     "print(len(d.get_page(0).find_text(sys.argv[2])))",
                                                     QString::fromStdString(pdf), text})
                                .trimmed();
    return mupdf.toInt() > 0 && poppler.toInt() > 0;
}

// What PDFBox's Preflight says of a PDF as PDF/A-1b: empty when it finds it valid.
inline std::string PreflightErrors(const std::string& pdf)
{
    QStringList jars;
    for (const char* jar :
         {"preflight", "pdfbox2", "fontbox2", "xmpbox", "commons-logging", "javax.activation", "jaxb-api"})
        jars << QString("/usr/share/java/%1.jar").arg(jar);
    const QString said =
        Run("java", {"-cp", jars.join(':'), "org.apache.pdfbox.preflight.Validator_A1b", QString::fromStdString(pdf)});
    return said.contains("is a valid PDF/A-1b file") ? std::string() : said.toStdString() + pdf;
}

// What a PDF says of itself beside its pages, as pypdf reads it: "labels" (the page
// labels), "outline" (the entries' titles), "title", "subject" (its lines) and each
// field of its XMP record ("File", "Length", "SHA256", ...), a value a file.
inline std::map<QString, QStringList> PdfFacts(const std::string& pdf)
{
    const QString out =
        Run("/usr/bin/python3",
            {"-c",
             "import sys, pypdf, xml.etree.ElementTree as ET\n"
             "r = pypdf.PdfReader(sys.argv[1])\n"
             "rows = {'labels': r.page_labels, 'outline': [o.title for o in r.outline],\n"
             "        'title': [r.metadata.title], 'subject': r.metadata.subject.split('\\n')}\n"
             "x = ET.fromstring(r.trailer['/Root']['/Metadata'].get_data())\n"
             "ns = 'http://ns.kovalmeret.invalid/vantrel/record/1.0/'\n"
             "for e in x.iter():\n"
             "    if e.tag.startswith('{' + ns + '}'):\n"
             "        rows[e.tag[len(ns) + 2:]] = [li.text or '' for li in e.iter() if li.tag.endswith('li')]\n"
             "for k, v in rows.items():\n"
             "    sys.stdout.buffer.write((k + '\\t' + '\\x1f'.join(v) + '\\n').encode())",
             QString::fromStdString(pdf)});
    std::map<QString, QStringList> facts;
    for (const QString& line : out.split('\n', Qt::SkipEmptyParts))
        facts[line.section('\t', 0, 0)] = line.section('\t', 1).split(QChar(0x1F));
    return facts;
}

// The fields of each line of a subject, told by their place: the path is all after them.
inline std::vector<QStringList> SubjectFields(const QString& subject)
{
    static const QRegularExpression line("^Length: (\\d+) bytes; Modified: (\\S+); Pages: (\\d+)-(\\d+) / (\\d+); "
                                         "SHA-256 of (\\d+) bytes from offset (\\d+): ([0-9a-f]{64}); File: (.*)$");
    std::vector<QStringList> fields;
    for (const QString& l : subject.split('\n')) {
        const QRegularExpressionMatch m = line.match(l);
        fields.push_back(m.hasMatch() ? m.capturedTexts().mid(1) : QStringList());
    }
    return fields;
}

// One name a script, for the scripts no installed font has (drawn as missing, each
// reads back as itself) and some that have one; right-to-left ones are read in poppler
// and mupdf only.
struct ScriptName {
    const char* name;
    bool rightToLeft = false;
};
inline const std::vector<ScriptName>& ScriptNames()
{
    static const std::vector<ScriptName> names = {
        {"फ़ाइल.bin"}, {"ফাইল.bin"}, {"கோப்பு.bin"}, {"ఫైల్.bin"},    {"ફાઇલ.bin"},       {"ਫ਼ਾਈਲ.bin"},
        {"ಕಡತ.bin"},  {"ഫയൽ.bin"},  {"ගොනුව.bin"},  {"ឯកសារ.bin"}, {"ܟܬܒܐ.bin", true}, {"ไฟล์.bin"},
        {"ཡིག་ཆ.bin"}, {"ፋይል.bin"},  {"ᠹᠠᠶᠢᠯ.bin"}, {"파일.bin"},  {"😀.bin"},
    };
    return names;
}

// An entry of the document information as pdfinfo shows it ("Title", "Subject", ...).
inline QString PdfInfo(const std::string& pdf, const QString& entry)
{
    const QString info = Run("pdfinfo", {"-enc", "UTF-8", QString::fromStdString(pdf)});
    for (const QString& line : info.split('\n'))
        if (line.startsWith(entry + ":"))
            return line.mid(entry.size() + 1).trimmed();
    return {};
}

// A locale that writes decimals with a comma, made into folder (for LOCPATH), without
// touching the system's locales. Empty when it cannot be made here.
inline std::string MakeCommaLocale(const std::string& folder)
{
    const std::string path = folder + "/de_DE.UTF-8";
    Run("localedef", {"-i", "de_DE", "-f", "UTF-8", QString::fromStdString(path)});
    return std::filesystem::exists(path + "/LC_NUMERIC") ? "de_DE.UTF-8" : std::string();
}

inline QString PdfFonts(const std::string& pdf)
{
    return Run("pdffonts", {QString::fromStdString(pdf)});
}

}  // namespace printtest
