#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

// The objects of one PDF file, written one after the other into an open device with
// what a reader needs to find them: each object's offset for the cross-reference table,
// streams compressed once, the trailer. After a failed write nothing more is written
// and Failed() says so.
class CPdfWriter {
public:
    CPdfWriter();
    ~CPdfWriter();
    CPdfWriter(const CPdfWriter&) = delete;
    CPdfWriter& operator=(const CPdfWriter&) = delete;

    // Starts the file in device (open for writing) with the header.
    void Start(QIODevice* device);
    // A new object number; its object may be written later, in any order.
    int NewObject();
    void Write(std::string_view data);
    // object's "N 0 obj" line, its offset noted.
    void BeginObject(int object);
    // A whole object: its dictionary or other body, then "endobj".
    void WriteObject(int object, std::string_view body);
    // data compressed (unless compress is false) as a stream object, dictionary's entries
    // added to its own.
    void WriteStream(int object, std::string_view dictionary, std::string_view data, bool compress = true);
    // The cross-reference table and the trailer: root, info and an identifier made from
    // seed (what the file says, and when).
    void Finish(int root, int info, std::string_view seed);
    bool Failed() const { return m_bFailed; }
    void SetFailed() { m_bFailed = true; }

private:
    struct Compressor;
    std::unique_ptr<Compressor> m_pCompressor;
    QIODevice* m_pDevice = nullptr;
    bool m_bFailed = false;
    std::uint64_t m_nOffset = 0;
    std::vector<std::uint64_t> m_xref;  // by object number; 0 is the free head
};

// True when the file at path holds a whole PDF: on the disk, not empty, and its trailer's
// "%%EOF" in its last kilobyte. A writer that failed half-way (a full disk, which a
// writer may hear of only at the end) leaves none of these for sure.
[[nodiscard]] bool PdfComplete(const std::string& path);

// "N 0 R"
std::string PdfRef(int object);
// A PDF text string: UTF-16 with its byte order mark, in hexadecimal.
std::string PdfTextString(const QString& text);
