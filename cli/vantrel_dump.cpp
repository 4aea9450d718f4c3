// vantrel-dump: the program's dump text and CSV listing without the window.

#if defined(VANTREL_DUMP_PDF)
#include "cli/dump_pdf.h"
#endif
#if defined(VANTREL_DUMP_RECORD)
#include "cli/record_commands.h"
#endif
#include "filelist/csv_export.h"
#include "filelist/file_list_model.h"
#include "printing/dump_writer.h"
#include "printing/print_range.h"
#include "printing/work_file.h"
#include "textfile/dump_format.h"
#include "textfile/ansi_names.h"
#include "textfile/error_text.h"
#include "textfile/input_file.h"
#include "textfile/output_file.h"
#include "textfile/text_file_writer.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace {

enum ExitCode { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// One mode per option; a new mode adds a row here and a Run function below.
enum class Mode { Dump, Preview, Csv, Pdf, Verify, Restore, Help };

struct ModeOption {
    std::string_view name;
    Mode mode;
    bool takesRecord = false;  // followed by the record it reads
};

constexpr ModeOption kModeOptions[] = {
    {"--preview", Mode::Preview},       {"--csv", Mode::Csv},   {"--verify", Mode::Verify, true},
    {"--restore", Mode::Restore, true}, {"--help", Mode::Help}, {"-h", Mode::Help},
};

struct Arguments {
    Mode mode = Mode::Dump;
    bool modeGiven = false;
    std::vector<std::string> operands;
    std::string pdfOut;  // --pdf OUT
    std::string record;  // --verify RECORD.pdf, --restore RECORD.pdf
    bool pagesGiven = false;  // --pages A-B
    long long fromPage = 0;
    long long toPage = 0;
};

constexpr char kUsage[] =
    "使い方 / usage:\n"
    "  vantrel-dump FILE...            ダンプを標準出力へ (dump text of each file to stdout)\n"
    "  vantrel-dump --preview FILE...  先頭 5 ページまで (the first 5 pages only)\n"
    "  vantrel-dump --csv FOLDER       フォルダ一覧の CSV (the folder's list as CSV, code page 932)\n"
    "  vantrel-dump --pdf OUT.pdf [--pages A-B] FILE...\n"
    "                                  印刷されるページを PDF へ (the printed pages, each file from\n"
    "                                  its page 1, into one PDF; --pages takes one file)\n"
    "                                  PDF の Subject: 各ファイルの長さ・更新日時・ページと印刷した\n"
    "                                  バイトの SHA-256、最後にパス (its Subject says each file's\n"
    "                                  length, modification time, pages and the SHA-256 of the\n"
    "                                  bytes printed, then its path; check it with\n"
    "                                  'pdfinfo OUT.pdf' and 'tail -c +OFFSET+1 FILE | head -c COUNT\n"
    "                                  | sha256sum', OFFSET and COUNT as the Subject gives them)\n"
    "  vantrel-dump --verify RECORD.pdf [FILE...]\n"
    "                                  記録の PDF のページが示すバイトを SHA-256 と各 FILE に\n"
    "                                  照らす (checks the bytes its pages show against its\n"
    "                                  SHA-256 and each FILE, in the order the record names them)\n"
    "  vantrel-dump --restore RECORD.pdf OUT\n"
    "                                  記録の示すバイトを OUT へ書く。複数ファイルの記録は\n"
    "                                  フォルダ OUT へ (writes the bytes a record shows, only when\n"
    "                                  they give its SHA-256; several files into the folder OUT)\n"
    "  vantrel-dump --help             この説明 (this help)\n"
    "Output is byte for byte what the program writes: CR LF line ends.\n"
    "Exit status: 0 done, 1 a file or folder could not be read or output failed (--verify: a\n"
    "record or file that differs), 2 usage error (also an option given twice, a range past the\n"
    "file's end, an output that is one of the input files).\n";

void Error(const std::string& message)
{
    std::fprintf(stderr, "vantrel-dump: %s\n", message.c_str());
}

int UsageError(const std::string& message)
{
    Error(message);
    std::fputs("'vantrel-dump --help' で使い方を表示します (shows usage).\n", stderr);
    return kExitUsage;
}

// "A-B" with decimal page numbers.
bool ParsePages(const std::string& value, Arguments& args)
{
    const std::size_t dash = value.find('-');
    if (dash == std::string::npos || dash == 0 || dash + 1 == value.size() ||
        value.find_first_not_of("0123456789-") != std::string::npos || value.find('-', dash + 1) != std::string::npos ||
        dash > 18 || value.size() - dash - 1 > 18) {
        return false;
    }
    args.fromPage = std::stoll(value.substr(0, dash));
    args.toPage = std::stoll(value.substr(dash + 1));
    args.pagesGiven = true;
    return true;
}

// Fills args; returns -1 when all is well, else the exit code of a usage error.
int ParseArguments(int argc, char** argv, Arguments& args)
{
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            args.operands.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnd = true;
            continue;
        }
        // The two options that take a value.
        if (arg == "--pdf" || arg == "--pages") {
            // An option where the value should be ("--pdf --csv x") is a slip, not a file
            // named "--csv": a name that starts with "-" is given as "./-name".
            if (i + 1 >= argc || (argv[i + 1][0] == '-' && argv[i + 1][1] != '\0')) {
                return UsageError(std::string(arg) + " には値が要ります (needs a value)");
            }
            // Given twice, one of them would be dropped without a word.
            if (arg == "--pdf" ? args.modeGiven && args.mode == Mode::Pdf : args.pagesGiven) {
                return UsageError(std::string(arg) + " は一度だけ指定できます (may be given once)");
            }
            const std::string value = argv[++i];
            if (arg == "--pages") {
                if (!ParsePages(value, args)) {
                    return UsageError("--pages は A-B の形で指定します (takes A-B): " + value);
                }
                continue;
            }
            if (args.modeGiven && args.mode != Mode::Pdf) {
                return UsageError("オプションは一つだけ指定できます (only one mode): --pdf");
            }
            args.pdfOut = value;
            args.mode = Mode::Pdf;
            args.modeGiven = true;
            continue;
        }
        const ModeOption* found = nullptr;
        for (const ModeOption& option : kModeOptions) {
            if (option.name == arg) {
                found = &option;
            }
        }
        if (found == nullptr) {
            return UsageError("不明なオプションです (unknown option): " + std::string(arg));
        }
        if (args.modeGiven && args.mode != found->mode) {
            return UsageError("オプションは一つだけ指定できます (only one mode): " + std::string(arg));
        }
        if (found->takesRecord) {
            // As for --pdf: a value that is an option is a slip, a second record would be dropped.
            if (i + 1 >= argc || (argv[i + 1][0] == '-' && argv[i + 1][1] != '\0')) {
                return UsageError(std::string(arg) + " には値が要ります (needs a value)");
            }
            if (args.modeGiven) {
                return UsageError(std::string(arg) + " は一度だけ指定できます (may be given once)");
            }
            args.record = argv[++i];
        }
        args.mode = found->mode;
        args.modeGiven = true;
    }
    if (args.mode == Mode::Help) {
        return -1;
    }
    if (args.mode == Mode::Restore && args.operands.size() != 1) {
        return UsageError("--restore には出力先を一つだけ指定します (--restore takes exactly one output)");
    }
    if (args.operands.empty() && args.mode != Mode::Verify) {
        return UsageError("ファイルが指定されていません (no file given)");
    }
    if (args.mode == Mode::Csv && args.operands.size() != 1) {
        return UsageError("--csv にはフォルダを一つだけ指定します (--csv takes exactly one folder)");
    }
    if (args.pagesGiven && args.mode != Mode::Pdf) {
        return UsageError("--pages は --pdf と使います (--pages goes with --pdf)");
    }
    if (args.pagesGiven && args.operands.size() != 1) {
        return UsageError("--pages にはファイルを一つだけ指定します (--pages takes exactly one file)");
    }
    return -1;
}

int OutputFailed(const CTextFileWriter& out)
{
    Error("出力の書き込みに失敗しました (cannot write output): " +
          CommandLineErrorText(out.Failed() ? out.Error() : SystemError(EIO)));
    return kExitFailed;
}

// An output that is one of the files it records would destroy them: refused before a
// byte is written (the PDF, or standard output sent to a file), however it is named.
int RefuseOutputThatIsAnInput(const Arguments& args)
{
    std::optional<FileId> output;
    if (args.mode == Mode::Pdf)
        output = FileIdOf(args.pdfOut);
    else if (args.mode == Mode::Dump || args.mode == Mode::Preview)
        output = FileIdOf(1);
    const std::string input = output ? InputThatIs(*output, args.operands) : std::string();
    if (input.empty())
        return -1;
    Error("出力先" + (args.mode == Mode::Pdf ? "[" + args.pdfOut + "]" : std::string("(標準出力)")) +
          "は入力のファイル[" + input + "]です (the output is one of the input files)");
    return kExitUsage;
}

// A range beyond the file's pages is known from its length: said before any work, however
// large the file or small the work folder. A file that cannot be opened is said by the run.
int RefuseRangeBeyondTheFile(const Arguments& args)
{
    int fd = -1;
    std::int64_t size = 0;
    if (!args.pagesGiven || OpenInputFile(args.operands.front(), &fd, &size))
        return -1;
    CloseInputFile(fd);
    const std::string from = std::to_string(args.fromPage);
    const std::string to = std::to_string(args.toPage);
    const std::int64_t total = PageCount(size);
    const PageRangeCheck check = CheckPageRange(false, from, to, total);
    if (check.ok)
        return -1;
    Error(check.message + " (--pages " + from + "-" + to + " of " + std::to_string(total) + ")");
    return kExitUsage;
}

int RunDump(const Arguments& args, CTextFileWriter& out)
{
    const int preview = args.mode == Mode::Preview ? kPreviewPages : 0;
    int code = kExitOk;
    for (const std::string& path : args.operands) {
        const DumpResult result = WriteDumpFile(path, out, preview);
        if (result.status == DumpStatus::SourceOpenFailed) {
            // The others are still dumped, as the program goes on with the next file.
            Error(FileOpenFailedMessage(path, result.error));
            code = kExitFailed;
        } else if (result.status == DumpStatus::ReadFailed) {
            // What came out of it is not its dump: the headers promise more.
            Error(FileReadFailedMessage(path, result.error));
            code = kExitFailed;
        } else if (result.status != DumpStatus::Done || out.Failed()) {
            return OutputFailed(out);
        }
    }
    return code;
}

int RunCsv(const Arguments& args, CTextFileWriter& out)
{
    CFileListModel model;
    model.m_strFolder = args.operands.front();
    if (!model.ListFolder()) {
        // No CSV at all: an empty list under a redirection would pass for the folder's.
        Error("フォルダを読めません[" + model.m_strFolder + "] (cannot read folder)");
        return kExitFailed;
    }
    if (!WriteListCsv(out, model.m_strFolder, model.m_aFiles)) {
        return OutputFailed(out);
    }
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef SIGXFSZ
    // A file-size limit (ulimit -f) fails a write as a full disk does: said, exit 1, and
    // nothing left behind, where the signal would kill the tool mid-write.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    const CAnsiArguments ansiArguments(argc, argv);
    Arguments args;
    if (const int code = ParseArguments(argc, argv, args); code >= 0) {
        return code;
    }
    if (args.mode == Mode::Help) {
        std::fputs(kUsage, stdout);
        return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
    }
    if (const int code = RefuseOutputThatIsAnInput(args); code >= 0) {
        return code;
    }
    if (const int code = RefuseRangeBeyondTheFile(args); code >= 0) {
        return code;
    }
    // What a killed run (or a power cut) left goes now; a running copy holds its folder's lock.
    CWorkFile().RemoveStaleFolders();

    if (args.mode == Mode::Verify || args.mode == Mode::Restore) {
#if defined(VANTREL_DUMP_RECORD)
        return args.mode == Mode::Verify ? RunVerify(args.record, args.operands)
                                         : RunRestore(args.record, args.operands.front());
#else
        return UsageError("この版は記録を読めません (built without qpdf: no --verify or --restore)");
#endif
    }
    if (args.mode == Mode::Pdf) {
#if defined(VANTREL_DUMP_PDF)
        return WriteDumpPdf(args.pdfOut, args.operands, args.pagesGiven, args.fromPage, args.toPage, argc, argv);
#else
        return UsageError("この版は PDF を書けません (built without the Qt parts: no PDF output)");
#endif
    }

#if defined(_WIN32)
    _setmode(_fileno(stdout), _O_BINARY);  // the CR LF are already there
#endif
    CTextFileWriter out;
    out.Attach(stdout);
    int code = kExitFailed;
    switch (args.mode) {
    case Mode::Dump:
    case Mode::Preview:
        code = RunDump(args, out);
        break;
    case Mode::Csv:
        code = RunCsv(args, out);
        break;
    case Mode::Pdf:
    case Mode::Verify:
    case Mode::Restore:
    case Mode::Help:
        break;
    }
    // A full disk often shows only when the last buffer goes out.
    const bool failedBefore = out.Failed();
    out.Close();
    if (out.Failed() && !failedBefore) {
        return OutputFailed(out);
    }
    return code;
}
