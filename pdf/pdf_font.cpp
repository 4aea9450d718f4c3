#include "pdf/pdf_font.h"

#include "pdf/pdf_number.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace {

std::uint16_t U16(const QByteArray& t, qsizetype at)
{
    if (at < 0 || at + 2 > t.size())
        return 0;
    return static_cast<std::uint16_t>((static_cast<unsigned char>(t[at]) << 8) | static_cast<unsigned char>(t[at + 1]));
}

std::int16_t S16(const QByteArray& t, qsizetype at)
{
    return static_cast<std::int16_t>(U16(t, at));
}

std::uint32_t U32(const QByteArray& t, qsizetype at)
{
    return (static_cast<std::uint32_t>(U16(t, at)) << 16) | U16(t, at + 2);
}

void Put16(std::string& s, std::size_t at, std::uint16_t v)
{
    s[at] = static_cast<char>(v >> 8);
    s[at + 1] = static_cast<char>(v & 0xFF);
}

void Append16(std::string& s, std::uint16_t v)
{
    s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v & 0xFF));
}

void Append32(std::string& s, std::uint32_t v)
{
    Append16(s, static_cast<std::uint16_t>(v >> 16));
    Append16(s, static_cast<std::uint16_t>(v & 0xFFFF));
}

std::uint32_t Checksum(const std::string& data)
{
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < data.size(); i += 4) {
        std::uint32_t word = 0;
        for (std::size_t j = 0; j < 4; ++j)
            word = (word << 8) | (i + j < data.size() ? static_cast<unsigned char>(data[i + j]) : 0u);
        sum += word;
    }
    return sum;
}

std::string Hex(std::uint32_t v, int digits)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, v);
    return buf;
}

// The face's PostScript name from its name table. (Not QRawFont::familyName(): a face Qt
// makes up for characters no font has knows no family, and asking for it crashes.)
std::string PostScriptName(const QRawFont& face)
{
    const QByteArray name = face.fontTable("name");
    const int count = U16(name, 2);
    const int strings = U16(name, 4);
    std::string unicodeName;
    std::string macName;
    for (int i = 0; i < count && unicodeName.empty(); ++i) {
        const qsizetype rec = 6 + 12 * i;
        if (U16(name, rec + 6) != 6)
            continue;
        const int platform = U16(name, rec);
        const int length = U16(name, rec + 8);
        const qsizetype at = strings + U16(name, rec + 10);
        if (at + length > name.size())
            continue;
        if (platform == 3 || platform == 0) {
            for (int j = 0; j + 1 < length; j += 2)
                unicodeName.push_back(static_cast<char>(U16(name, at + j) & 0x7F));
        } else if (platform == 1 && macName.empty()) {
            macName.assign(name.constData() + at, static_cast<std::size_t>(length));
        }
    }
    std::string result;
    const std::string& source = !unicodeName.empty() ? unicodeName : macName;
    for (char c : source) {
        // Only what a PDF name may hold without escapes.
        if (c > 0x20 && c < 0x7F && std::string_view("()<>[]{}/%#").find(c) == std::string_view::npos)
            result.push_back(c);
    }
    return result.empty() ? std::string("Font") : result;
}

// Six capital letters for a subset's name, from what it holds: two different subsets,
// also of two jobs joined into one file, get different names.
std::string SubsetTag(const std::string& face, bool wide, const std::vector<std::uint32_t>& glyphs)
{
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    const auto mix = [&hash](std::uint64_t byte) {
        hash ^= byte;
        hash *= 1099511628211ull;
    };
    for (const char c : face)
        mix(static_cast<unsigned char>(c));
    mix(wide ? 1 : 0);
    for (const std::uint32_t g : glyphs)
        for (int shift = 0; shift < 32; shift += 8)
            mix((g >> shift) & 0xFF);
    std::string tag(6, 'A');
    for (char& c : tag) {
        c = static_cast<char>('A' + hash % 26);
        hash /= 26;
    }
    return tag;
}

std::string CMapBlocks(const std::vector<std::string>& entries, const char* kind)
{
    std::string out;
    // At most 100 entries a block.
    for (std::size_t i = 0; i < entries.size(); i += 100) {
        const std::size_t n = std::min<std::size_t>(100, entries.size() - i);
        out += std::to_string(n) + " begin" + kind + "\n";
        for (std::size_t j = i; j < i + n; ++j)
            out += entries[j];
        out += std::string("end") + kind + "\n";
    }
    return out;
}

constexpr const char* kCMapHead = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n";
constexpr const char* kCMapTail = "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";

}  // namespace

CPdfFont::CPdfFont(const QRawFont& face) : m_face(face)
{
    m_head = face.fontTable("head");
    m_hhea = face.fontTable("hhea");
    m_maxp = face.fontTable("maxp");
    m_os2 = face.fontTable("OS/2");
    m_post = face.fontTable("post");
    m_hmtx = face.fontTable("hmtx");
    const bool outlines = m_head.size() >= 54 && m_hhea.size() >= 36 && m_maxp.size() >= 6 && m_hmtx.size() >= 4 &&
                          !face.fontTable("loca").isEmpty();
    // As the OS/2 table says: 2 forbids embedding, 0x200 allows bitmaps only.
    const std::uint16_t fsType = U16(m_os2, 8);
    m_bEmbeddable = outlines && fsType != 2 && (fsType & 0x200) == 0;
    m_nUnitsPerEm = std::max<int>(16, U16(m_head, 18));
    m_nGlyphs = U16(m_maxp, 4);
    const int metrics = std::max<int>(1, U16(m_hhea, 34));
    m_advance.resize(static_cast<std::size_t>(m_nGlyphs));
    m_width.resize(static_cast<std::size_t>(m_nGlyphs));
    for (int g = 0; g < m_nGlyphs; ++g) {
        const auto i = static_cast<std::size_t>(g);
        m_advance[i] = U16(m_hmtx, 4 * std::min(g, metrics - 1));
        m_width[i] = WidthOfUnits(m_advance[i]);
    }
    // CID 0 is .notdef, as glyph 0 is.
    m_narrow.glyphOfCid.assign(0x80, kNoGlyph);
    m_narrow.textOfCid.assign(0x80, std::u32string());
    m_narrow.glyphOfCid[0] = 0;
    m_wide.glyphOfCid.assign(1, 0);
    m_wide.textOfCid.assign(1, std::u32string(1, U'\uFFFD'));
}

bool CPdfFont::NewCodeFor(std::uint32_t glyph, std::u32string_view text, Code* code)
{
    if ((glyph & 0xFFFF) >= static_cast<std::uint32_t>(m_nGlyphs) && (glyph & 0xFFFF) != kCarrierGlyph)
        glyph &= 0xFFFF0000;  // .notdef
    if (text.size() == 1 && text[0] >= 0x20 && text[0] < 0x7F && glyph < static_cast<std::uint32_t>(m_nGlyphs)) {
        const char32_t ch = text[0];
        std::uint32_t& owner = m_narrow.glyphOfCid[ch];
        if (owner == glyph || owner == kNoGlyph) {
            owner = glyph;
            m_narrow.textOfCid[ch].assign(1, ch);
            m_bNarrowUsed = true;
            *code = Code{static_cast<std::uint16_t>(ch), false};
            return true;
        }
    }
    // Filled by copy: g++ 12 warns falsely on appending one u32string to another.
    std::u32string key(1 + text.size(), static_cast<char32_t>(glyph));
    std::copy(text.begin(), text.end(), key.begin() + 1);
    auto it = m_wideCid.find(key);
    if (it == m_wideCid.end()) {
        if (m_wide.glyphOfCid.size() >= kMaxWideCids)
            return false;
        it = m_wideCid.emplace(std::move(key), static_cast<std::uint16_t>(m_wide.glyphOfCid.size())).first;
        m_wide.glyphOfCid.push_back(glyph);
        m_wide.textOfCid.emplace_back(text);
    }
    *code = Code{it->second, true};
    return true;
}

std::string CPdfFont::BaseFontName(bool wide) const
{
    // A subset is named with six capital letters and a plus sign before the face's name.
    const std::string name = PostScriptName(m_face);
    return SubsetTag(name, wide, SubsetOf(wide).glyphOfCid) + "+" + name;
}

std::string CPdfFont::DescriptorEntries() const
{
    const double scale = 1000.0 / m_nUnitsPerEm;
    const double ascent = S16(m_hhea, 4) * scale;
    const double descent = S16(m_hhea, 6) * scale;
    const double capHeight = U16(m_os2, 0) >= 2 && m_os2.size() >= 90 ? S16(m_os2, 88) * scale : ascent;
    const double italicAngle = static_cast<std::int32_t>(U32(m_post, 4)) / 65536.0;
    int flags = 4;  // symbolic: the glyphs are reached through the font's own numbering
    if (U32(m_post, 12) != 0)
        flags |= 1;  // fixed pitch
    if (italicAngle != 0)
        flags |= 64;
    const auto number = [](double v) { return PdfNumber(v, 3); };
    return "/Flags " + std::to_string(flags) + " /FontBBox [" + number(S16(m_head, 36) * scale) + " " +
           number(S16(m_head, 38) * scale) + " " + number(S16(m_head, 40) * scale) + " " +
           number(S16(m_head, 42) * scale) + "] /ItalicAngle " + number(italicAngle) + " /Ascent " + number(ascent) +
           " /Descent " + number(descent) + " /CapHeight " + number(capHeight) + " /StemV 80";
}

std::string CPdfFont::WidthArray(bool wide) const
{
    const std::vector<std::uint32_t>& glyphs = SubsetOf(wide).glyphOfCid;
    std::string out = "/DW 1000 /W [";
    const std::size_t cids = glyphs.size();
    for (std::size_t cid = 0; cid < cids;) {
        if (glyphs[cid] == kNoGlyph) {
            ++cid;
            continue;
        }
        out += std::to_string(cid) + " [";
        for (; cid < cids && glyphs[cid] != kNoGlyph; ++cid) {
            AppendPdfNumber(out, Width(glyphs[cid]), 3);
            out += ' ';
        }
        out.back() = ']';
        out += "\n";
    }
    out += "]";
    return out;
}

std::string CPdfFont::ToUnicodeMap(bool wide) const
{
    const Subset& subset = SubsetOf(wide);
    std::vector<std::string> entries;
    for (std::size_t cid = 0; cid < subset.glyphOfCid.size(); ++cid) {
        const std::u32string& text = subset.textOfCid[cid];
        if (subset.glyphOfCid[cid] == kNoGlyph || (!wide && text.empty()))
            continue;
        // Appended piece by piece: g++ 12 -O3 warns falsely on "literal" + std::string&&.
        std::string entry = "<";
        entry += Hex(static_cast<std::uint32_t>(cid), wide ? 4 : 2);
        entry += "> <";
        // Characters past U+FFFF read as the replacement character: Ghostscript 10.0
        // garbles their two UTF-16 halves into other characters. A glyph whose
        // characters others stand for reads as nothing.
        for (const char32_t c : text)
            entry += Hex(c <= 0xFFFF && (c < 0xD800 || c > 0xDFFF) ? c : 0xFFFD, 4);
        entry += ">\n";
        entries.push_back(std::move(entry));
    }
    std::string out = kCMapHead;
    out += "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
           "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n1 begincodespacerange\n";
    out += wide ? "<0000> <FFFF>\n" : "<00> <FF>\n";
    out += "endcodespacerange\n";
    out += CMapBlocks(entries, "bfchar");
    out += kCMapTail;
    return out;
}

std::string CPdfFont::CidSet(bool wide) const
{
    const std::vector<std::uint32_t>& glyphs = SubsetOf(wide).glyphOfCid;
    std::string bits((glyphs.size() + 7) / 8, '\0');
    for (std::size_t cid = 0; cid < glyphs.size(); ++cid)
        if (glyphs[cid] != kNoGlyph)
            bits[cid / 8] = static_cast<char>(bits[cid / 8] | (0x80 >> (cid % 8)));
    return bits;
}

std::string CPdfFont::NarrowEncodingMap()
{
    std::string out = kCMapHead;
    out += "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> def\n/CMapName /";
    out += kNarrowEncodingName;
    out += " def\n/CMapType 1 def\n/WMode 0 def\n"
           "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n"
           "1 begincidrange\n<00> <FF> 0\nendcidrange\n";
    out += kCMapTail;
    return out;
}

namespace {

// A simple glyph without its hinting instructions (see FontProgram).
void DropInstructions(QByteArray& data)
{
    const qsizetype lengthAt = 10 + 2 * S16(data, 0);
    const qsizetype length = U16(data, lengthAt);
    if (lengthAt + 2 + length <= data.size()) {
        data.remove(lengthAt + 2, length);
        data[lengthAt] = 0;
        data[lengthAt + 1] = 0;
    }
}

// A composite glyph's parts renumbered as newOf says, each part new to the subset
// added to order; no instructions after the last part.
void RenumberParts(QByteArray& data, std::vector<std::uint32_t>& order, std::vector<std::uint32_t>& newOf)
{
    const auto glyphs = static_cast<std::uint32_t>(newOf.size());
    qsizetype at = 10;
    std::uint16_t flags = 0;
    do {
        if (at + 4 > data.size())
            break;
        flags = U16(data, at);
        const std::uint16_t part = U16(data, at + 2);
        if (part < glyphs && newOf[part] == 0xFFFFFFFF && order.size() < 0xFFFF) {
            newOf[part] = static_cast<std::uint32_t>(order.size());
            order.push_back(part);
        }
        const std::uint32_t renumbered = part < glyphs ? newOf[part] : 0;
        data[at + 2] = static_cast<char>((renumbered >> 8) & 0xFF);
        data[at + 3] = static_cast<char>(renumbered & 0xFF);
        data[at] = static_cast<char>((flags & ~0x100) >> 8);
        at += 4 + ((flags & 0x1) ? 4 : 2);
        if (flags & 0x8)
            at += 2;
        else if (flags & 0x40)
            at += 4;
        else if (flags & 0x80)
            at += 8;
    } while (flags & 0x20);
    data.truncate(std::min(at, data.size()));
}

struct FontTable {
    const char* tag;
    std::string data;
};

// The tables as a TrueType file: the directory, the tables on four-byte bounds, and the
// head table's checksum adjustment over the whole.
std::string AssembleFont(const std::vector<FontTable>& tables)
{
    const auto n = static_cast<std::uint16_t>(tables.size());
    std::uint16_t entrySelector = 0;
    while ((2u << entrySelector) <= n)
        ++entrySelector;
    const auto searchRange = static_cast<std::uint16_t>(16u << entrySelector);
    std::string font;
    Append32(font, 0x00010000);
    Append16(font, n);
    Append16(font, searchRange);
    Append16(font, entrySelector);
    Append16(font, static_cast<std::uint16_t>(n * 16 - searchRange));
    std::uint32_t offset = 12 + 16u * n;
    std::size_t headOffset = 0;
    for (const FontTable& t : tables) {
        font.append(t.tag, 4);
        Append32(font, Checksum(t.data));
        Append32(font, offset);
        Append32(font, static_cast<std::uint32_t>(t.data.size()));
        if (std::string_view(t.tag, 4) == "head")
            headOffset = offset;
        offset += static_cast<std::uint32_t>((t.data.size() + 3) / 4 * 4);
    }
    for (const FontTable& t : tables) {
        font += t.data;
        font.append((4 - t.data.size() % 4) % 4, '\0');
    }
    const std::uint32_t adjustment = 0xB1B0AFBAu - Checksum(font);
    Put16(font, headOffset + 8, static_cast<std::uint16_t>(adjustment >> 16));
    Put16(font, headOffset + 10, static_cast<std::uint16_t>(adjustment & 0xFFFF));
    return font;
}

}  // namespace

std::string CPdfFont::SubsetGlyphs(std::vector<std::uint32_t>& order, std::vector<std::uint32_t>& offsets) const
{
    // New glyph numbers: a glyph's CID, then the parts that composite glyphs are made of.
    std::vector<std::uint32_t> newOf(static_cast<std::size_t>(m_nGlyphs), kNoGlyph);
    for (std::size_t cid = 0; cid < order.size(); ++cid)
        if (order[cid] < static_cast<std::uint32_t>(m_nGlyphs))
            newOf[order[cid]] = static_cast<std::uint32_t>(cid);
    // The face's outlines, fetched only now: they are megabytes.
    const QByteArray glyf = m_face.fontTable("glyf");
    const QByteArray loca = m_face.fontTable("loca");
    const bool longLoca = S16(m_head, 50) == 1;
    const auto glyphData = [&](std::uint32_t g) -> QByteArray {
        if (g >= static_cast<std::uint32_t>(m_nGlyphs))
            return {};
        const qsizetype from = longLoca ? U32(loca, 4 * g) : 2 * U16(loca, 2 * g);
        const qsizetype to = longLoca ? U32(loca, 4 * (g + 1)) : 2 * U16(loca, 2 * (g + 1));
        return to <= from || to > glyf.size() ? QByteArray() : glyf.mid(from, to - from);
    };
    std::string glyphs;
    offsets.clear();
    for (std::size_t i = 0; i < order.size(); ++i) {
        offsets.push_back(static_cast<std::uint32_t>(glyphs.size()));
        if (order[i] == kNoGlyph)
            continue;
        QByteArray data = glyphData(order[i] & 0xFFFF);
        if (data.size() >= 10 && S16(data, 0) >= 0)
            DropInstructions(data);
        else if (data.size() >= 10)
            RenumberParts(data, order, newOf);
        glyphs.append(data.constData(), static_cast<std::size_t>(data.size()));
        while (glyphs.size() % 4 != 0)
            glyphs.push_back('\0');
    }
    offsets.push_back(static_cast<std::uint32_t>(glyphs.size()));
    return glyphs;
}

std::string CPdfFont::FontProgram(bool wide) const
{
    std::vector<std::uint32_t> order = SubsetOf(wide).glyphOfCid;
    std::vector<std::uint32_t> offsets;
    std::string glyphs = SubsetGlyphs(order, offsets);
    const auto count = static_cast<std::uint16_t>(order.size());

    // The metric tables of the subset's glyphs, in its numbering.
    const int metrics = std::max<int>(1, U16(m_hhea, 34));
    std::string loca;
    for (std::uint32_t off : offsets)
        Append32(loca, off);
    std::string hmtx;
    for (const std::uint32_t cidGlyph : order) {
        const std::uint32_t g = cidGlyph & 0xFFFF;
        if (cidGlyph == kNoGlyph || g >= static_cast<std::uint32_t>(m_nGlyphs)) {
            Append16(hmtx, cidGlyph == kNoGlyph || cidGlyph >> 16 == 0 ? 0 : AdvanceOf(cidGlyph));  // a carrier
            Append16(hmtx, 0);
            continue;
        }
        const int gi = static_cast<int>(g);
        Append16(hmtx, AdvanceOf(cidGlyph));
        Append16(hmtx, static_cast<std::uint16_t>(gi < metrics ? S16(m_hmtx, 4 * gi + 2)
                                                               : S16(m_hmtx, 4 * metrics + 2 * (gi - metrics))));
    }
    std::string head(m_head.constData(), static_cast<std::size_t>(m_head.size()));
    Put16(head, 8, 0);  // the checksum adjustment, set when the font is assembled
    Put16(head, 10, 0);
    Put16(head, 50, 1);  // long offsets in loca
    std::string hhea(m_hhea.constData(), static_cast<std::size_t>(m_hhea.size()));
    Put16(hhea, 34, count);
    std::string maxp(m_maxp.constData(), static_cast<std::size_t>(m_maxp.size()));
    Put16(maxp, 4, count);

    // No hinting programs: the fonts Qt embedded had none, and a printer that hints would
    // fit the glyphs to its grid differently from before.
    return AssembleFont({{"glyf", std::move(glyphs)},
                         {"head", std::move(head)},
                         {"hhea", std::move(hhea)},
                         {"hmtx", std::move(hmtx)},
                         {"loca", std::move(loca)},
                         {"maxp", std::move(maxp)}});
}
