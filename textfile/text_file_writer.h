#pragma once

#include "textfile/io_error.h"

#include <cstddef>
#include <cstdio>
#include <string>

// Writes lines; every line feed of the text is written as CR LF on every platform.
// Errors are sticky: once a write fails, Failed() stays true and later writes are dropped.
class CTextFileWriter {
public:
    CTextFileWriter();
    virtual ~CTextFileWriter();
    CTextFileWriter(const CTextFileWriter&) = delete;
    CTextFileWriter& operator=(const CTextFileWriter&) = delete;

    // Creates or truncates the file. Closes a file that is still open first.
    [[nodiscard]] bool Open(const std::string& path);
    // Writes to an already open stream (standard output) without owning it.
    bool Attach(std::FILE* stream);
    // Writes to a stream opened elsewhere and closes it with Close().
    [[nodiscard]] bool Adopt(std::FILE* stream);
    // Flushes and closes; a failure here also sets Failed().
    virtual void Close();

    // One line: the text, then a line end. False when the write failed.
    virtual bool WriteString(const char* text);
    bool WriteString(const std::string& text) { return WriteString(text.c_str()); }
    // Bytes already in file form (line ends as CR LF), for bulk writers.
    [[nodiscard]] bool WriteRaw(const char* data, std::size_t size);

    // Hands everything written so far to the system; false when that failed
    // (a full disk shows here, not only at Close).
    [[nodiscard]] bool Flush();

    bool Failed() const { return m_nError != 0; }
    // Why the first failure failed; nothing when none did.
    std::error_code Error() const { return m_nError != 0 ? SystemError(m_nError) : std::error_code(); }

    int m_bOpen = 0;

private:
    bool Writable();
    void FlushBuffer();
    void WriteOut(const char* data, std::size_t size);
    void SetError(int error);

    std::FILE* m_pFile = nullptr;
    bool m_bOwned = false;
    int m_nError = 0;
    std::string m_buffer;
};
