// A record read back from hostile bytes: the whole PDF through the page reader, a CMap, and
// the text of a record's lines. Nothing may crash, and a dump line read back prints as it
// was read.
#include "fuzz/fuzz_common.h"
#include "record/bidi_order.h"
#include "record/pdf_cmap.h"
#include "record/pdf_document_text.h"
#include "record/record_format.h"
#include "textfile/system_calls.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

void ReadPdf(const std::uint8_t* data, std::size_t size)
{
    const std::string& path = fuzzing::ScratchPath("record_pdf");
    fuzzing::WriteScratch(path, data, size);
    CPdfDocumentText doc;
    std::string why;
    if (doc.Open(path, why) != CPdfDocumentText::Opened::Ok)
        return;
    IgnoreResult(doc.Info("/Subject"));  // only that it returns counts
    std::vector<std::string> lines;
    for (int page = 0; page < 64 && doc.NextPage(lines, why); ++page) {
    }
}

void ReadCMap(std::string_view text)
{
    const CPdfCMap map = CPdfCMap::Parse(text);
    std::string utf8;
    for (std::uint32_t code : {0u, 0x20u, 0x41u, 0xFFu, 0x100u, 0xFFFFu, 0x10000u, 0xFFFFFFFFu}) {
        IgnoreResult(map.AppendText(code, utf8));  // any answer will do
        IgnoreResult(map.Cid(code));
    }
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    for (std::size_t at = 0; at < text.size();) {
        const int length = map.CodeLength(p + at, text.size() - at);
        FUZZ_CHECK(length >= 1 && static_cast<std::size_t>(length) <= text.size() - at);
        at += static_cast<std::size_t>(length);
    }
}

void ReadLines(std::string_view text)
{
    DumpLine line;
    if (ParseDumpLine(text, line))
        FUZZ_CHECK(DumpLineText(line) == text);
    std::string why;
    for (const RecordedFile& file : ParseSubject(text, why))
        FUZZ_CHECK(file.firstPage >= 1 && file.firstPage <= file.lastPage && file.count >= 0);
    PageHeader header;
    IgnoreResult(ParsePageHeader({std::string(text)}, header));  // no crash is the check
    FUZZ_CHECK(VisualOrder(text).size() == text.size());
    const std::string name = RestoredName(NameFromPrinted(text));
    FUZZ_CHECK(name.find('/') == std::string::npos && name != "." && name != "..");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0:
        ReadPdf(data + 1, size - 1);
        break;
    case 1:
        ReadCMap(rest);
        break;
    default:
        ReadLines(rest);
        break;
    }
    return 0;
}
