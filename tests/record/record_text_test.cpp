// A record's text read as a reader and as the record's own format: CMaps in the forms other
// writers use, the order a line shows right-to-left text in, and the record's lines and names.

#include "record/bidi_order.h"
#include "record/pdf_cmap.h"
#include "record/record_format.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

std::string TextOf(const CPdfCMap& map, std::uint32_t code)
{
    std::string text;
    return map.AppendText(code, text) ? text : "(none)";
}

std::string Lengths(const CPdfCMap& map, const std::string& codes)
{
    std::string lengths;
    const auto* p = reinterpret_cast<const unsigned char*>(codes.data());
    for (std::size_t at = 0; at < codes.size();) {
        const int n = map.CodeLength(p + at, codes.size() - at);
        lengths += std::to_string(n);
        at += static_cast<std::size_t>(n);
    }
    return lengths;
}

std::string DumpLineBack(const std::string& line)
{
    DumpLine dump;
    return ParseDumpLine(line, dump) ? DumpLineText(dump) : "(not a dump line)";
}

std::string Subject(const std::string& subject)
{
    std::string why, said;
    for (const RecordedFile& f : ParseSubject(subject, why))
        said += "[" + f.path + "|" + std::to_string(f.length) + "|" + std::to_string(f.firstPage) + "-" +
                std::to_string(f.lastPage) + "/" + std::to_string(f.pageTotal) + "|" + std::to_string(f.offset) + "+" +
                std::to_string(f.count) + "]";
    return said.empty() ? "(refused)" : said;
}

std::string Xmp(const std::string& fields)
{
    std::string why, said;
    const std::string xmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><r:RDF xmlns:r='http://www.w3.org/1999/02/"
                            "22-rdf-syntax-ns#'><r:Description xmlns:v='http://ns.kovalmeret.invalid/vantrel/record/"
                            "1.0/'>" +
                            fields + "</r:Description></r:RDF></x:xmpmeta>";
    for (const RecordedFile& f : ParseXmp(xmp, why))
        said += "[" + f.path + "|" + std::to_string(f.length) + "|" + std::to_string(f.firstPage) + "-" +
                std::to_string(f.lastPage) + "/" + std::to_string(f.pageTotal) + "]";
    return said.empty() ? why.empty() ? "(none)" : "(refused)" : said;
}

std::string XmpFields(const std::string& file, const std::string& length)
{
    std::string fields;
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"File", file},
          {"Length", length},
          {"FirstPage", "<r:li>1</r:li><r:li>1</r:li>"},
          {"LastPage", "<r:li>1</r:li><r:li>1</r:li>"},
          {"PageTotal", "<r:li>1</r:li><r:li>1</r:li>"},
          {"FirstByte", "<r:li>0</r:li><r:li>0</r:li>"},
          {"ByteCount", length},
          {"SHA256", "<r:li>" + std::string(64, 'a') + "</r:li><r:li>" + std::string(64, 'b') + "</r:li>"}})
        fields += "<v:" + name + "><r:Seq>" + value + "</r:Seq></v:" + name + ">";
    return fields;
}

std::string Header(const std::string& line)
{
    PageHeader h;
    if (!ParsePageHeader({line}, h))
        return "(refused)";
    return h.path + "|" + std::to_string(h.length) + "|" + std::to_string(h.page) + "/" + std::to_string(h.pageTotal);
}

const std::string kDigest = "; SHA-256 of 5 bytes from offset 0: " + std::string(64, 'a');
const std::string kBfRange = "2 beginbfrange <20> <22> <0041> <01> <03> [<0061> <00620063> <D83DDE00>] endbfrange";

struct Case {
    const char* what;
    std::function<std::string()> got;
    std::string want;
};

const Case kCases[] = {
    {"bfchar", [] { return TextOf(CPdfCMap::Parse("1 beginbfchar <41> <0042> endbfchar"), 0x41); }, "B"},
    {"a one-byte code written with two",
     [] { return TextOf(CPdfCMap::Parse("beginbfchar <0020> <0041> endbfchar"), 0x20); }, "A"},
    {"bfrange counts up", [] { return TextOf(CPdfCMap::Parse(kBfRange), 0x22); }, "C"},
    {"bfrange of an array, several characters", [] { return TextOf(CPdfCMap::Parse(kBfRange), 0x02); }, "bc"},
    {"beyond U+FFFF", [] { return TextOf(CPdfCMap::Parse(kBfRange), 0x03); }, "\U0001F600"},
    {"no text", [] { return TextOf(CPdfCMap::Parse(kBfRange), 0x23); }, "(none)"},
    {"code space of one and two bytes",
     [] {
         return Lengths(CPdfCMap::Parse("2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange"),
                        "A\x81\x40\x7F\x9F\xFC");
     },
     "1212"},
    {"Identity-H", [] { return Lengths(CPdfCMap::Identity(), "ABCD"); }, "22"},
    {"cidrange", [] { return std::to_string(CPdfCMap::Parse("1 begincidrange <00> <FF> 100 endcidrange").Cid(0x10)); },
     "116"},
    {"Arabic in a left-to-right line", [] { return VisualOrder("Name : سجل.bin  Length"); }, "Name : لجس.bin  Length"},
    {"Arabic with a number", [] { return VisualOrder("ملف 12.bin"); }, "12 فلم.bin"},
    {"Arabic and its number", [] { return VisualOrder("ملف2.bin"); }, "2فلم.bin"},
    {"Hebrew in brackets", [] { return VisualOrder("a (עברית) b"); }, "a (תירבע) b"},
    {"dump line", [] { return DumpLineBack("00000A40  00 F5 53"); }, "00000A40  00 F5 53"},
    {"a full dump line",
     [] {
         return DumpLineBack("00000020  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  10 11 12 13 14 15 16 17 18 19 "
                             "1A 1B 1C 1D 1E 1F");
     },
     "00000020  00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F  10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F"},
    {"past 4 GiB", [] { return DumpLineBack("100000000  FF"); }, "100000000  FF"},
    {"lower-case digits", [] { return DumpLineBack("00000a40  00"); }, "(not a dump line)"},
    {"an offset with a digit too many", [] { return DumpLineBack("000000A40  00"); }, "(not a dump line)"},
    {"one space before the bytes", [] { return DumpLineBack("00000A40 00"); }, "(not a dump line)"},
    {"a byte of one digit", [] { return DumpLineBack("00000A40  0"); }, "(not a dump line)"},
    {"Subject", [] { return Subject("File: /a/b.bin; Length: 5 bytes; Pages: 1-1 / 1" + kDigest); },
     "[/a/b.bin|5|1-1/1|0+5]"},
    {"a path that holds the fields' words",
     [] { return Subject("File: a; Length: 9 bytes; Length: 5 bytes; Pages: 1-1 / 1" + kDigest); },
     "[a; Length: 9 bytes|5|1-1/1|0+5]"},
    {"Subject with the path last",
     [] {
         return Subject("Length: 5 bytes; Modified: 2026-12-09T18:00:00+09:00; Pages: 1-1 / 1; SHA-256 of 5 bytes "
                        "from offset 0: " +
                        std::string(64, 'a') + "; File: /a; Length: 9 bytes");
     },
     "[/a; Length: 9 bytes|5|1-1/1|0+5]"},
    {"numbers that disagree", [] { return Subject("File: a; Length: 6 bytes; Pages: 1-1 / 1" + kDigest); },
     "(refused)"},
    {"a digest in capitals",
     [] {
         return Subject("File: a; Length: 0 bytes; Pages: 1-1 / 1; SHA-256 of 0 bytes from offset 0: " +
                        std::string(64, 'A'));
     },
     "(refused)"},
    {"XMP fields, another prefix, references",
     [] {
         return Xmp(XmpFields("<r:li>a&amp;b&#x3C;.bin</r:li><r:li>&#12354;</r:li>", "<r:li>5</r:li><r:li>9</r:li>"));
     },
     "[a&b<.bin|5|1-1/1][あ|9|1-1/1]"},
    {"XMP fields of unlike lengths", [] { return Xmp(XmpFields("<r:li>a</r:li>", "<r:li>5</r:li><r:li>9</r:li>")); },
     "(refused)"},
    {"XMP without the record's fields", [] { return Xmp(""); }, "(none)"},
    {"header", [] { return Header("Name : a  b.bin  Length : 00000005(5)  Page : 1 / 1"); }, "a  b.bin|5|1/1"},
    {"header whose lengths disagree", [] { return Header("Name : a  Length : 00000006(5)  Page : 1 / 1"); },
     "(refused)"},
    {"a name written out", [] { return NameFromPrinted("a<U+000A>b<U+003C>c<FF><ZZ>"); }, "a\nb<c\xFF<ZZ>"},
    {"a header in rows",
     [] {
         return std::to_string(HeaderShows({"Name : /a/سجل", "/b.bin", "Length : 00000005(5)  Page : 1 / 1"},
                                           "Name : /a/سجل/b.bin  Length : 00000005(5)  Page : 1 / 1"));
     },
     "0"},
    {"a header in rows, each in its own order",
     [] {
         return std::to_string(HeaderShows({"Name : /a/لجس", "/b.bin", "Length : 00000005(5)  Page : 1 / 1"},
                                           "Name : /a/سجل/b.bin  Length : 00000005(5)  Page : 1 / 1"));
     },
     "1"},
    {"a row that only looks like a field",
     [] {
         return std::to_string(HeaderShows({"Name : /a/", "Page : 2", "  Length : 00000005(5)  Page : 1 / 1"},
                                           "Name : /a/Page : 2  Length : 00000005(5)  Page : 1 / 1"));
     },
     "1"},
    {"restored name", [] { return RestoredName("/srv/fw/image.bin"); }, "image.bin"},
    {"a backslash in a POSIX name", [] { return RestoredName("/srv/a\\b"); }, "a\\b"},
    {"a Windows path", [] { return RestoredName("C:\\data\\a.bin"); }, "a.bin"},
    {"a name that leaves the folder", [] { return RestoredName("/srv/.."); }, ""},
    {"a folder", [] { return RestoredName("/srv/"); }, ""},
};

TEST(RecordText, ReadsAsAReaderAndAsTheRecordsFormat)
{
    for (const Case& c : kCases)
        EXPECT_EQ(c.got(), c.want) << c.what;
}

}  // namespace
