#include "filelist/csv_export.h"

#include "textfile/cp932.h"
#include "textfile/output_file.h"
#include "textfile/error_text.h"
#include "textfile/system_calls.h"
#include "textfile/text_file_writer.h"

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <system_error>

namespace {

// A double quote inside a field is doubled, so names holding one keep the file readable.
void AppendQuoted(std::string& out, const std::string& field)
{
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// One CSV line of quoted fields. Appending in place also spares GCC 12 its false
// -Wrestrict alarm on chains of string operator+.
std::string CsvLine(std::initializer_list<std::string> fields)
{
    std::string line;
    for (const std::string& field : fields) {
        if (!line.empty())
            line += ',';
        AppendQuoted(line, field);
    }
    return line;
}

std::string Decimal(std::int64_t v)
{
    return std::to_string(v);
}

}  // namespace

bool WriteListCsv(CTextFileWriter& writer, const std::string& folder, const std::vector<FileEntry>& files)
{
    // Integer sums: the same text as "%.0f" of a double sum for any real folder, and exact
    // beyond 2^53. Unsigned addition so an absurd list wraps instead of overflowing.
    std::uint64_t totalBytes = 0;
    std::uint64_t totalPages = 0;
    for (const FileEntry& e : files) {
        totalBytes += static_cast<std::uint64_t>(e.lSize);
        totalPages += static_cast<std::uint64_t>(e.nPages);
    }
    auto line = [&writer](const std::string& text) {
#ifdef _WIN32
        return writer.WriteString(text);  // code page 932 already: the program's texts and the names
#else
        return writer.WriteString(Utf8ToCp932(text));
#endif
    };
    bool ok = line(CsvLine({"フォルダ", folder}));
    ok = line(CsvLine({"総Byte数", Decimal(static_cast<std::int64_t>(totalBytes))})) && ok;
    ok = line(CsvLine({"総印刷枚数", Decimal(static_cast<std::int64_t>(totalPages))})) && ok;
    ok = line(CsvLine({"No.", "ファイル名", "サイズ(Byte)", "印刷枚数"})) && ok;
    std::size_t number = 0;
    for (const FileEntry& e : files) {
        if (!ok)
            break;  // the writer's error is sticky; no point converting the rest
        ok = line(CsvLine({std::to_string(++number), e.strName, Decimal(e.lSize), Decimal(e.nPages)}));
    }
    return ok && !writer.Failed();
}

namespace {

std::string FailureMessage(const std::string& path, std::error_code err)
{
    std::string message = "CSVファイルを保存できませんでした[" + path + "]";
    if (err) {
        message += "\n";
        message += SystemErrorText(err);
    }
    return message;
}

}  // namespace

bool SaveListAsCsv(const std::string& path, const std::string& folder, const std::vector<FileEntry>& files,
                   std::string* error)
{
    COutputFile output;
    std::error_code err = output.Begin(path);
    if (!err) {
        // The stream gets a handle of its own; the output keeps its own to sync and place.
        const int fd = SysDup(output.Fd());
        std::FILE* stream = fd >= 0 ? SysFdOpen(fd, "wb") : nullptr;
        if (stream == nullptr) {
            err = SystemError(errno);
            if (fd >= 0)
                SysClose(fd);
        } else {
            CTextFileWriter writer;
            writer.Attach(stream);
            const bool written = WriteListCsv(writer, folder, files);
            writer.Close();  // flushes the attached stream without closing it
            if (!written || writer.Failed())
                err = writer.Failed() ? writer.Error() : SystemError(EIO);
            if (std::fclose(stream) != 0 && !err)
                err = SystemError(errno);
        }
        if (!err)
            err = output.Commit();
    }
    if (err) {
        output.Abandon();
        if (error != nullptr)
            *error = FailureMessage(path, err);
        return false;
    }
    return true;
}
