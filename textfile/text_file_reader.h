#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Reads a text file line by line and cuts each line into fields.
// Binary read: a CR LF line end arrives as CR and is turned into a line feed.
class CTextFileReader {
public:
    CTextFileReader();
    virtual ~CTextFileReader();
    CTextFileReader(const CTextFileReader&) = delete;
    CTextFileReader& operator=(const CTextFileReader&) = delete;

    // Closes a file that is still open first. False when the file cannot be opened.
    [[nodiscard]] bool Open(const std::string& path);
    virtual void Close();
    void SetDelimiter(char ch);

    // Next line into m_strLine, which then ends in exactly one line feed.
    // False at the end of the file (m_strLine then holds a single line feed).
    bool ReadLine();

    // Field n of m_strLine; any length. Field numbers compare on 16 bits.
    std::string GetField(std::int16_t n) const;

    // Byte position of the next line; Seek lets the page lookup start mid-file.
    [[nodiscard]] bool Seek(std::uint64_t offset);
    std::uint64_t Tell() const;
    // A read failed for another reason than the end of the file.
    bool HadError() const { return m_bError; }

    std::string m_strLine;
    char m_chDelimiter = 9;
    char m_chComment = 59;
    int m_bOpen = 0;

private:
    bool ReadRawLine();

    std::FILE* m_pFile = nullptr;
    bool m_bError = false;
    char* m_pLineBuffer = nullptr;  // grown by getdelim, kept between lines
    std::size_t m_nLineBufferSize = 0;
};
