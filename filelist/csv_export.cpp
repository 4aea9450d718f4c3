#include "filelist/csv_export.h"

#include "filelist/cp932.h"
#include "textfile/error_text.h"
#include "textfile/text_file_writer.h"

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <filesystem>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#endif

namespace {

// A double quote inside a field is doubled, so names holding one keep the file readable.
void AppendQuoted(std::string& out, const std::string& field)
{
    out += '"';
    for (char c : field) {
        if (c == '"') out += '"';
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
        if (!line.empty()) line += ',';
        AppendQuoted(line, field);
    }
    return line;
}

std::string Decimal(std::int64_t v)
{
    return std::to_string(v);
}

}  // namespace

bool WriteListCsv(CTextFileWriter& writer, const std::string& folder,
                  const std::vector<FileEntry>& files)
{
    // Integer sums: the same text as "%.0f" of a double sum for any real folder, and exact
    // beyond 2^53. Unsigned addition so an absurd list wraps instead of overflowing.
    std::uint64_t totalBytes = 0;
    std::uint64_t totalPages = 0;
    for (const FileEntry& e : files) {
        totalBytes += static_cast<std::uint64_t>(e.lSize);
        totalPages += static_cast<std::uint64_t>(e.nPages);
    }
    auto line = [&writer](const std::string& utf8) {
        return writer.WriteString(Utf8ToCp932(utf8));
    };
    bool ok = line(CsvLine({"フォルダ", folder}));
    ok = line(CsvLine({"総Byte数", Decimal(static_cast<std::int64_t>(totalBytes))})) && ok;
    ok = line(CsvLine({"総印刷枚数", Decimal(static_cast<std::int64_t>(totalPages))})) && ok;
    ok = line(CsvLine({"No.", "ファイル名", "サイズ(Byte)", "印刷枚数"})) && ok;
    std::size_t number = 0;
    for (const FileEntry& e : files) {
        if (!ok) break;  // the writer's error is sticky; no point converting the rest
        ok = line(CsvLine({std::to_string(++number), e.strName, Decimal(e.lSize), Decimal(e.nPages)}));
    }
    return ok && !writer.Failed();
}

namespace {

std::string FailureMessage(const std::string& path, int err)
{
    std::string message = "CSVファイルを保存できませんでした[" + path + "]";
    if (err != 0) {
        message += "\n";
        message += SystemErrorText(err);
    }
    return message;
}

}  // namespace

#ifdef _WIN32

bool SaveListAsCsv(const std::string& path, const std::string& folder,
                   const std::vector<FileEntry>& files, std::string* error)
{
    namespace fs = std::filesystem;
    auto u8 = [](const std::string& s) { return fs::path(std::u8string(s.begin(), s.end())); };
    const fs::path target = u8(path);
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) &&
        (!fs::is_regular_file(status) || (status.permissions() & fs::perms::owner_write) == fs::perms::none)) {
        if (error != nullptr) *error = FailureMessage(path, EACCES);
        return false;
    }
    std::string temp;
    CTextFileWriter writer;
    for (int i = 0; i < 100 && writer.m_bOpen == 0; ++i) {
        temp = path + ".tmp" + std::to_string(i);
        if (!fs::exists(u8(temp), ec)) writer.Open(temp);
    }
    if (writer.m_bOpen == 0) {
        if (error != nullptr) *error = FailureMessage(path, writer.ErrorCode());
        return false;
    }
    bool ok = WriteListCsv(writer, folder, files);
    writer.Close();
    ok = ok && !writer.Failed();
    if (ok) fs::rename(u8(temp), target, ec);
    if (!ok || ec) {
        const int err = writer.Failed() ? writer.ErrorCode() : ec.value();
        fs::remove(u8(temp), ec);
        if (error != nullptr) *error = FailureMessage(path, err);
        return false;
    }
    return true;
}

#else

bool SaveListAsCsv(const std::string& path, const std::string& folder,
                   const std::vector<FileEntry>& files, std::string* error)
{
    auto fail = [&](int err) {
        if (error != nullptr) *error = FailureMessage(path, err);
        return false;
    };
    if (path.empty()) return fail(ENOENT);

    // Through a link, the file it names is replaced and the link kept.
    std::string target = path;
    struct stat st;
    bool exists = false;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved) != nullptr) target = resolved;
    }
    if (stat(target.c_str(), &st) == 0) {
        exists = true;
        if (S_ISDIR(st.st_mode)) return fail(EISDIR);
        if (!S_ISREG(st.st_mode)) return fail(EINVAL);
        // A file the user may not write is never replaced, although the folder would allow it;
        // nor is one without any write bit, which even root must not overwrite unasked.
        if (access(target.c_str(), W_OK) != 0) return fail(errno);
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return fail(EACCES);
    }

    // A fresh name beside the target, created exclusively; the umask applies as to any new file.
    const mode_t mode = exists ? (st.st_mode & 0777) : 0666;
    std::string temp;
    int fd = -1;
    for (unsigned i = 0; fd < 0 && i < 100; ++i) {
        temp = target + "." + std::to_string(getpid()) + "." + std::to_string(i) + ".tmp";
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? 0600 : mode);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) return fail(errno);

    int err = 0;
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        err = errno;
        close(fd);
    } else {
        CTextFileWriter writer;
        writer.Attach(stream);
        const bool written = WriteListCsv(writer, folder, files);
        writer.Close();  // flushes the attached stream without closing it
        if (!written || writer.Failed()) err = writer.ErrorCode() != 0 ? writer.ErrorCode() : EIO;
        if (err == 0 && exists && fchmod(fd, mode) != 0) err = errno;
        if (err == 0 && fsync(fd) != 0) err = errno;
        if (std::fclose(stream) != 0 && err == 0) err = errno;
    }
    if (err == 0 && rename(temp.c_str(), target.c_str()) != 0) err = errno;
    if (err != 0) {
        unlink(temp.c_str());
        return fail(err);
    }
    // Make the rename itself durable; the file is complete either way.
    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
    return true;
}

#endif
