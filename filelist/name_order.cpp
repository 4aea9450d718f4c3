#include "filelist/name_order.h"

#include "textfile/cp932.h"

namespace {

// a-z and full-width a-z fold to upper case.
inline std::uint32_t Folded(std::uint32_t v)
{
    if (v >= 0x61 && v <= 0x7A)
        return v - 0x20;
    if (v >= 0x8281 && v <= 0x829A)
        return v - 0x21;
    return v;
}

// Reads one character and gives its weight.
class CWeigher {
public:
#if defined(_WIN32)
    // Names are code page 932 bytes as the system gave them: a lead byte and a non-zero
    // trail byte weigh lead x 256 + trail, any other byte its value.
    std::uint32_t Next(const unsigned char*& p, const unsigned char* end) const
    {
        std::uint32_t v = *p++;
        if (IsCp932LeadByte(static_cast<unsigned char>(v)) && p < end && *p != 0)
            v = v << 8 | *p++;
        return Folded(v);
    }
#else
    std::uint32_t Next(const unsigned char*& p, const unsigned char* end) const
    {
        const char32_t cp = NextUtf8(p, end);
        if (cp & kUtf8Invalid)
            return 0x10000 + 0xDC00 + (cp & 0xFF);
        const std::uint32_t v = cp < 0x10000 ? m_table[cp] : kNoCp932;
        if (v == kNoCp932)
            return 0x10000 + cp;
        return Folded(v);
    }

private:
    const std::uint16_t* m_table = Cp932Table();
#endif
};

}  // namespace

void AppendNameKey(const std::string& name, std::vector<std::uint32_t>& key)
{
    AppendNameKey(name.data(), name.size(), key);
}

void AppendNameKey(const char* name, std::size_t size, std::vector<std::uint32_t>& key)
{
    const CWeigher weigher;
    auto p = reinterpret_cast<const unsigned char*>(name);
    const auto end = p + size;
    while (p < end)
        key.push_back(weigher.Next(p, end));
}

int CompareNames(const std::string& a, const std::string& b)
{
    const CWeigher weigher;
    auto pa = reinterpret_cast<const unsigned char*>(a.data());
    auto pb = reinterpret_cast<const unsigned char*>(b.data());
    const auto ea = pa + a.size();
    const auto eb = pb + b.size();
    while (pa < ea && pb < eb) {
        const std::uint32_t wa = weigher.Next(pa, ea);
        const std::uint32_t wb = weigher.Next(pb, eb);
        if (wa != wb)
            return wa < wb ? -1 : 1;
    }
    if (pa < ea)
        return 1;
    if (pb < eb)
        return -1;
    return 0;
}
