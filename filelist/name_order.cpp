#include "filelist/name_order.h"

#include "filelist/cp932.h"

namespace {

inline std::uint32_t Weight(char32_t cp, const std::uint16_t* table)
{
    if (cp & kUtf8Invalid) return 0x10000 + 0xDC00 + (cp & 0xFF);
    const std::uint32_t v = cp < 0x10000 ? table[cp] : kNoCp932;
    if (v == kNoCp932) return 0x10000 + cp;
    if (v >= 0x61 && v <= 0x7A) return v - 0x20;  // a-z
    if (v >= 0x8281 && v <= 0x829A) return v - 0x21;  // full-width a-z
    return v;
}

}  // namespace

void AppendNameKey(const std::string& name, std::vector<std::uint32_t>& key)
{
    AppendNameKey(name.data(), name.size(), key);
}

void AppendNameKey(const char* name, std::size_t size, std::vector<std::uint32_t>& key)
{
    const std::uint16_t* table = Cp932Table();
    auto p = reinterpret_cast<const unsigned char*>(name);
    const auto end = p + size;
    while (p < end) key.push_back(Weight(NextUtf8(p, end), table));
}

int CompareNames(const std::string& a, const std::string& b)
{
    const std::uint16_t* table = Cp932Table();
    auto pa = reinterpret_cast<const unsigned char*>(a.data());
    auto pb = reinterpret_cast<const unsigned char*>(b.data());
    const auto ea = pa + a.size();
    const auto eb = pb + b.size();
    while (pa < ea && pb < eb) {
        const std::uint32_t wa = Weight(NextUtf8(pa, ea), table);
        const std::uint32_t wb = Weight(NextUtf8(pb, eb), table);
        if (wa != wb) return wa < wb ? -1 : 1;
    }
    if (pa < ea) return 1;
    if (pb < eb) return -1;
    return 0;
}
