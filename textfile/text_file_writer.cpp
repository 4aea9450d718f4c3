#include "textfile/text_file_writer.h"

#include "textfile/ansi_names.h"

#include <cerrno>
#include <cstring>

namespace {

// Large enough that a dump of many megabytes costs few system calls.
constexpr std::size_t kBufferSize = 256 * 1024;

int LastError()
{
    return errno != 0 ? errno : EIO;
}

}  // namespace

CTextFileWriter::CTextFileWriter() = default;

CTextFileWriter::~CTextFileWriter()
{
    CTextFileWriter::Close();
}

bool CTextFileWriter::Open(const std::string& path)
{
    if (m_bOpen == 1) {
        Close();
    }
    m_nError = 0;
    m_buffer.clear();
    // Binary, with the CR LF conversion done here, so the file is the same on every platform.
    errno = 0;
    m_pFile = OpenStream(path, "wb");
    if (m_pFile == nullptr) {
        m_nError = LastError();
        return false;
    }
    m_bOwned = true;
    m_bOpen = 1;
    m_buffer.reserve(kBufferSize);
    return true;
}

bool CTextFileWriter::Attach(std::FILE* stream)
{
    if (m_bOpen == 1) {
        Close();
    }
    m_nError = 0;
    m_buffer.clear();
    if (stream == nullptr) {
        m_nError = EBADF;
        return false;
    }
    m_pFile = stream;
    m_bOwned = false;
    m_bOpen = 1;
    m_buffer.reserve(kBufferSize);
    return true;
}

bool CTextFileWriter::Adopt(std::FILE* stream)
{
    if (!Attach(stream)) {
        return false;
    }
    m_bOwned = true;
    return true;
}

void CTextFileWriter::Close()
{
    if (m_bOpen == 1 && m_pFile != nullptr) {
        FlushBuffer();
        // A full disk often shows only when the stream's own buffer goes out.
        errno = 0;
        if (std::fflush(m_pFile) != 0) {
            SetError(LastError());
        }
        if (m_bOwned) {
            errno = 0;
            if (std::fclose(m_pFile) != 0) {
                SetError(LastError());
            }
        }
    }
    m_pFile = nullptr;
    m_bOwned = false;
    m_bOpen = 0;
    m_buffer.clear();
    m_buffer.shrink_to_fit();
}

bool CTextFileWriter::WriteString(const char* text)
{
    if (!Writable()) {
        return false;
    }
    // Text mode on every platform: each line feed of the text, and the one appended, as CR LF.
    const char* p = text != nullptr ? text : "";
    for (;;) {
        const char* lf = std::strchr(p, '\n');
        const std::size_t len = lf != nullptr ? static_cast<std::size_t>(lf - p) : std::strlen(p);
        m_buffer.append(p, len);
        m_buffer.append("\r\n", 2);
        if (lf == nullptr) {
            break;
        }
        p = lf + 1;
    }
    if (m_buffer.size() >= kBufferSize) {
        FlushBuffer();
    }
    return !Failed();
}

bool CTextFileWriter::WriteRaw(const char* data, std::size_t size)
{
    if (!Writable()) {
        return false;
    }
    if (size == 0) {
        return true;
    }
    if (m_buffer.size() + size > kBufferSize) {
        FlushBuffer();
        if (Failed()) {
            return false;
        }
        if (size >= kBufferSize) {
            WriteOut(data, size);
            return !Failed();
        }
    }
    m_buffer.append(data, size);
    return !Failed();
}

bool CTextFileWriter::Writable()
{
    // Nothing open is not a write failure; Open already recorded why it failed.
    return m_bOpen == 1 && m_pFile != nullptr && !Failed();
}

void CTextFileWriter::FlushBuffer()
{
    if (!m_buffer.empty()) {
        WriteOut(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
    }
}

bool CTextFileWriter::Flush()
{
    FlushBuffer();
    if (m_pFile != nullptr && !Failed() && std::fflush(m_pFile) != 0) {
        SetError(LastError());
    }
    return !Failed();
}

void CTextFileWriter::WriteOut(const char* data, std::size_t size)
{
    if (Failed() || m_pFile == nullptr) {
        return;
    }
    errno = 0;
    if (std::fwrite(data, 1, size, m_pFile) != size) {
        SetError(LastError());
    }
}

void CTextFileWriter::SetError(int error)
{
    if (m_nError == 0) {
        m_nError = error;
    }
}
