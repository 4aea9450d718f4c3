#include "pdf/pdf_archive.h"

#include <array>
#include <cmath>
#include <cstdint>

namespace {

// The namespace of the record's own fields in the XMP metadata.
constexpr const char* kRecordNamespace = "http://ns.kovalmeret.invalid/vantrel/record/1.0/";

// text as XML character data: markup escaped, and what XML 1.0 cannot hold at all (most
// controls, U+FFFE, U+FFFF, bytes that are not UTF-8) as U+FFFD.
std::string XmlText(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        int length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        char32_t code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        for (int k = 1; k < length; ++k) {
            const auto next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
            if ((next >> 6) != 0x2) {
                length = 0;
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        const bool valid = length > 0 && (code >= 0x20 || code == 0x9 || code == 0xA) &&
                           !(code >= 0xD800 && code <= 0xDFFF) && code != 0xFFFE && code != 0xFFFF &&
                           code <= 0x10FFFF && !(length == 2 && code < 0x80) && !(length == 3 && code < 0x800) &&
                           !(length == 4 && code < 0x10000);
        if (!valid) {
            out += "\xEF\xBF\xBD";
            i += length > 0 ? static_cast<std::size_t>(length) : 1;
            continue;
        }
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out.append(text, i, static_cast<std::size_t>(length));
        }
        i += static_cast<std::size_t>(length);
    }
    return out;
}

std::string AltText(const char* element, const std::string& text)
{
    return std::string("<") + element + "><rdf:Alt><rdf:li xml:lang=\"x-default\">" + XmlText(text) +
           "</rdf:li></rdf:Alt></" + element + ">\n";
}

// One field of the record: its name, type, what it holds, and its value for each file.
struct Field {
    const char* name;
    const char* type;
    const char* description;
    std::string (*value)(const DumpRecord&);
};

const std::array<Field, 9> kFields = {{
    {"File", "Text", "Path of each printed file", [](const DumpRecord& r) { return r.path; }},
    {"Length", "Integer", "Its length in bytes", [](const DumpRecord& r) { return std::to_string(r.length); }},
    {"Modified", "Date", "Its modification time", [](const DumpRecord& r) { return r.modified; }},
    {"FirstPage", "Integer", "The first page printed", [](const DumpRecord& r) { return std::to_string(r.firstPage); }},
    {"LastPage", "Integer", "The last page printed", [](const DumpRecord& r) { return std::to_string(r.lastPage); }},
    {"PageTotal", "Integer", "The pages of its whole dump",
     [](const DumpRecord& r) { return std::to_string(r.pageTotal); }},
    {"FirstByte", "Integer", "Offset of the first byte the pages show",
     [](const DumpRecord& r) { return std::to_string(r.firstByte); }},
    {"ByteCount", "Integer", "Bytes the pages show", [](const DumpRecord& r) { return std::to_string(r.byteCount); }},
    {"SHA256", "Text", "SHA-256 of the bytes the pages show, in hexadecimal",
     [](const DumpRecord& r) { return r.sha256; }},
}};

void Append16(std::string& s, std::uint32_t v)
{
    s.push_back(static_cast<char>((v >> 8) & 0xFF));
    s.push_back(static_cast<char>(v & 0xFF));
}

void Append32(std::string& s, std::uint32_t v)
{
    Append16(s, v >> 16);
    Append16(s, v & 0xFFFF);
}

void AppendXyz(std::string& s, double x, double y, double z)
{
    s += "XYZ ";
    Append32(s, 0);
    for (const double v : {x, y, z})
        Append32(s, static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(v * 65536))));
}

}  // namespace

std::string PdfXmpPacket(const PdfDocumentFacts& facts)
{
    std::string x = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
                    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                    "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                    "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n"
                    "<pdfaid:part>1</pdfaid:part>\n<pdfaid:conformance>B</pdfaid:conformance>\n"
                    "</rdf:Description>\n"
                    "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
                    "<dc:format>application/pdf</dc:format>\n";
    x += AltText("dc:title", facts.title);
    if (!facts.subject.empty())
        x += AltText("dc:description", facts.subject);
    x += "</rdf:Description>\n<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n"
         "<xmp:CreateDate>" +
         facts.created + "</xmp:CreateDate>\n<xmp:CreatorTool>" + XmlText(facts.creator) +
         "</xmp:CreatorTool>\n</rdf:Description>\n"
         "<rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n<pdf:Producer>" +
         XmlText(facts.producer) + "</pdf:Producer>\n</rdf:Description>\n";
    if (!facts.files.empty()) {
        // The record's own fields, declared as PDF/A asks of a schema it does not know.
        x += "<rdf:Description rdf:about=\"\" xmlns:pdfaExtension=\"http://www.aiim.org/pdfa/ns/extension/\" "
             "xmlns:pdfaSchema=\"http://www.aiim.org/pdfa/ns/schema#\" "
             "xmlns:pdfaProperty=\"http://www.aiim.org/pdfa/ns/property#\">\n"
             "<pdfaExtension:schemas><rdf:Bag><rdf:li rdf:parseType=\"Resource\">\n"
             "<pdfaSchema:schema>Vantrel record of printed files, one entry a file in the order printed"
             "</pdfaSchema:schema>\n<pdfaSchema:namespaceURI>";
        x += kRecordNamespace;
        x += "</pdfaSchema:namespaceURI>\n<pdfaSchema:prefix>vantrel</pdfaSchema:prefix>\n"
             "<pdfaSchema:property><rdf:Seq>\n";
        for (const Field& f : kFields) {
            x += std::string("<rdf:li rdf:parseType=\"Resource\"><pdfaProperty:name>") + f.name +
                 "</pdfaProperty:name><pdfaProperty:valueType>seq " + f.type +
                 "</pdfaProperty:valueType><pdfaProperty:category>external</pdfaProperty:category>"
                 "<pdfaProperty:description>" +
                 f.description + "</pdfaProperty:description></rdf:li>\n";
        }
        x += "</rdf:Seq></pdfaSchema:property>\n</rdf:li></rdf:Bag></pdfaExtension:schemas>\n</rdf:Description>\n";
        x += std::string("<rdf:Description rdf:about=\"\" xmlns:vantrel=\"") + kRecordNamespace + "\">\n";
        for (const Field& f : kFields) {
            x += std::string("<vantrel:") + f.name + "><rdf:Seq>";
            for (const DumpRecord& file : facts.files)
                x += "<rdf:li>" + XmlText(f.value(file)) + "</rdf:li>";
            x += std::string("</rdf:Seq></vantrel:") + f.name + ">\n";
        }
        x += "</rdf:Description>\n";
    }
    x += "</rdf:RDF>\n</x:xmpmeta>\n";
    // Room to edit the packet in place, as XMP writers leave it.
    for (int i = 0; i < 8; ++i)
        x += std::string(99, ' ') + "\n";
    x += "<?xpacket end=\"w\"?>";
    return x;
}

std::string SrgbIccProfile()
{
    // Tags: description, copyright, white point, the three primaries (adapted to D50),
    // one tone curve for all three channels.
    std::string desc = "desc";
    Append32(desc, 0);
    const std::string name = "sRGB IEC61966-2.1";
    Append32(desc, static_cast<std::uint32_t>(name.size() + 1));
    desc += name;
    desc.push_back('\0');
    Append32(desc, 0);  // no Unicode description
    Append32(desc, 0);
    Append16(desc, 0);  // no ScriptCode description
    desc.push_back('\0');
    desc.append(67, '\0');
    std::string cprt = "text";
    Append32(cprt, 0);
    cprt += "No copyright, use freely";
    cprt.push_back('\0');
    std::string wtpt, rXyz, gXyz, bXyz;
    AppendXyz(wtpt, 0.9505, 1.0, 1.089);
    AppendXyz(rXyz, 0.4360747, 0.2225045, 0.0139322);
    AppendXyz(gXyz, 0.3850649, 0.7168786, 0.0971045);
    AppendXyz(bXyz, 0.1430804, 0.0606169, 0.7141733);
    std::string trc = "curv";
    Append32(trc, 0);
    constexpr int kSteps = 256;
    Append32(trc, kSteps);
    for (int i = 0; i < kSteps; ++i) {
        const double v = i / double(kSteps - 1);
        const double linear = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        Append16(trc, static_cast<std::uint32_t>(std::lround(linear * 65535)));
    }
    struct Tag {
        const char* signature;
        const std::string* data;
    };
    const Tag tags[] = {{"desc", &desc}, {"cprt", &cprt}, {"wtpt", &wtpt}, {"rXYZ", &rXyz}, {"gXYZ", &gXyz},
                        {"bXYZ", &bXyz}, {"rTRC", &trc},  {"gTRC", &trc},  {"bTRC", &trc}};
    const std::uint32_t count = sizeof tags / sizeof tags[0];
    std::string table;
    std::string data;
    std::uint32_t offset = 128 + 4 + 12 * count;
    const std::string* shared = nullptr;
    std::uint32_t sharedOffset = 0;
    for (const Tag& tag : tags) {
        table += tag.signature;
        if (tag.data == shared) {
            Append32(table, sharedOffset);  // the three curves are one
        } else {
            while (data.size() % 4 != 0)
                data.push_back('\0');
            sharedOffset = offset + static_cast<std::uint32_t>(data.size());
            Append32(table, sharedOffset);
            data += *tag.data;
            shared = tag.data;
        }
        Append32(table, static_cast<std::uint32_t>(tag.data->size()));
    }
    while (data.size() % 4 != 0)
        data.push_back('\0');
    std::string header;
    Append32(header, static_cast<std::uint32_t>(128 + 4 + table.size() + data.size()));
    Append32(header, 0);  // preferred CMM: none
    Append32(header, 0x02100000);  // version 2.1
    header += "mntrRGB XYZ ";
    for (const std::uint32_t v : {2024u, 1u, 1u, 0u, 0u, 0u})  // made on
        Append16(header, v);
    header += "acsp";
    header.append(28, '\0');  // platform, flags, device, attributes, intent
    // The PCS illuminant, D50.
    for (const double v : {0.9642, 1.0, 0.8249})
        Append32(header, static_cast<std::uint32_t>(std::lround(v * 65536)));
    header.append(128 - header.size(), '\0');
    Append32(header, count);
    return header + table + data;
}
