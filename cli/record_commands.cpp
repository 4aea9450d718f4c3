#include "cli/record_commands.h"

#include "cli/exit_cleanup.h"
#include "record/record_check.h"
#include "textfile/error_text.h"
#include "textfile/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <set>

namespace {

void Error(const std::string& message)
{
    std::fprintf(stderr, "vantrel-dump: %s\n", message.c_str());
}

std::string Num(std::int64_t n)
{
    return std::to_string(n);
}

// "5000 バイト、ページ 1-2 / 2", a range with the bytes it shows.
std::string Extent(const RecordedFile& f)
{
    std::string text =
        Num(f.length) + " バイト、ページ " + Num(f.firstPage) + "-" + Num(f.lastPage) + " / " + Num(f.pageTotal);
    if (f.IsRange())
        text += " (オフセット " + Num(f.offset) + " から " + Num(f.count) + " バイト)";
    return text;
}

void SayFile(const FileCheck& f)
{
    std::string line = f.recorded.path + ": " + Extent(f.recorded) + ": ";
    if (f.Matches()) {
        line += "一致 (" + std::string(f.file.empty() ? "SHA-256" : "SHA-256 とファイル[" + f.file + "]") + ")";
        std::printf("%s\n", line.c_str());
        return;
    }
    line += "不一致: ";
    if (!f.file.empty() && f.differs) {
        const Difference& d = f.difference;
        line += "ファイル[" + f.file + "]は PDF の " + Num(d.pdfPage) + " ページ目 (" + Num(d.page) + " / " +
                Num(f.recorded.pageTotal) + " ページ) の " + Num(d.line) + " 行目、オフセット " +
                DumpLineText(DumpLine{d.offset, 0, {}}) +
                "から違います (the file differs)\n  記録    : " + DumpLineText(d.shown) +
                "\n  ファイル: " + DumpLineText(d.found);
    } else if (!f.file.empty() && !f.fileProblem.empty()) {
        line += "ファイル[" + f.file + "]: " + f.fileProblem;
    }
    if (!f.DigestMatches()) {
        if (line.back() != ' ')
            line += "\n  ";
        line += "ページの示すバイトの SHA-256 が記録と違います (the bytes shown do not give the recorded "
                "SHA-256)\n  記録    : " +
                f.recorded.sha256 + "\n  ページ  : " + f.digest;
    }
    std::printf("%s\n", line.c_str());
}

// Writes each printed file's bytes beside its target as they are read; they take the
// targets' places only when everything matched.
class CRestoreSink : public CRecordSink {
public:
    CRestoreSink(const std::string& record, const std::string& out) : m_record(record), m_out(out) {}

    bool Prepare(const std::vector<RecordedFile>& files, std::string& why) override
    {
        struct stat st {};
        const bool folder = ::stat(m_out.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        if (files.size() > 1 && !folder) {
            why = "記録は " + Num(static_cast<std::int64_t>(files.size())) + " ファイル分です。出力先[" + m_out +
                  "]はフォルダでなければなりません (a record of several files restores into a folder)";
            return false;
        }
        std::set<std::string> names;
        for (const RecordedFile& file : files) {
            std::string target = m_out;
            if (folder) {
                const std::string name = RestoredName(NameFromPrinted(file.path));
                if (name.empty() || !names.insert(name).second) {
                    why = "この名前ではフォルダに書けません (cannot restore under this name): " + file.path;
                    return false;
                }
                target = m_out + (m_out.ends_with('/') ? "" : "/") + name;
            }
            m_targets.push_back(target);
        }
        // An output that is the record itself would destroy it.
        const std::optional<FileId> record = FileIdOf(m_record);
        for (const std::string& target : m_targets) {
            const std::optional<FileId> id = FileIdOf(target);
            if (record && id && id->device == record->device && id->index == record->index) {
                why = "出力先[" + target + "]は記録のファイルです (the output is the record itself)";
                m_refusedRecord = true;
                return false;
            }
        }
        for (const std::string& target : m_targets) {
            auto& output = m_outputs.emplace_back(std::make_unique<COutputFile>());
            exitcleanup::Hold hold;
            if (const std::error_code err = output->Begin(target)) {
                why = "出力を作れません[" + target + "] (cannot create output): " + CommandLineErrorText(err);
                return false;
            }
            exitcleanup::AddFile(output->TempPath());
        }
        return true;
    }

    bool Write(std::size_t file, const unsigned char* bytes, std::size_t size, std::string& why) override
    {
        const int fd = m_outputs[file]->Fd();
        for (std::size_t done = 0; done < size;) {
            const ssize_t n = ::write(fd, bytes + done, size - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                why = "出力の書き込みに失敗しました[" + m_targets[file] +
                      "] (cannot write output): " + CommandLineErrorText(SystemError(n < 0 ? errno : EIO));
                return false;
            }
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // Every output in its target's place; 0 or 1 after saying why.
    int Commit()
    {
        for (std::size_t i = 0; i < m_outputs.size(); ++i) {
            const std::string temp = m_outputs[i]->TempPath();
            if (const std::error_code err = m_outputs[i]->Commit()) {
                Error("出力の書き込みに失敗しました[" + m_targets[i] +
                      "] (cannot write output): " + CommandLineErrorText(err));
                return 1;
            }
            exitcleanup::Forget(temp);
            std::printf("復元しました (restored): %s\n", m_targets[i].c_str());
        }
        return 0;
    }

    bool RefusedRecord() const { return m_refusedRecord; }

private:
    std::string m_record;
    std::string m_out;
    std::vector<std::string> m_targets;
    std::vector<std::unique_ptr<COutputFile>> m_outputs;
    bool m_refusedRecord = false;
};

}  // namespace

int RunVerify(const std::string& record, const std::vector<std::string>& files)
{
    const RecordCheck check = CheckRecord(record, files);
    // A file whose pages could not all be read is told of by the problem alone.
    for (const FileCheck& file : check.files)
        if (file.read)
            SayFile(file);
    if (!check.problem.empty())
        Error(record + ": " + check.problem);
    if (check.usage)
        return 2;
    return check.AllMatch() ? 0 : 1;
}

int RunRestore(const std::string& record, const std::string& out)
{
    // A kill, a Ctrl+C or a closed terminal leaves no partial output.
    exitcleanup::Install();
    CRestoreSink sink(record, out);
    const RecordCheck check = CheckRecord(record, {}, &sink);
    if (!check.problem.empty()) {
        Error(record + ": " + check.problem);
        return sink.RefusedRecord() ? 2 : 1;
    }
    if (!check.AllMatch()) {
        for (const FileCheck& file : check.files)
            if (!file.Matches())
                SayFile(file);
        Error(record + ": ページの示すバイトが記録の SHA-256 と合わないので、何も書きません (the bytes shown do not "
                       "give the recorded SHA-256: nothing written)");
        return 1;
    }
    return sink.Commit();
}
