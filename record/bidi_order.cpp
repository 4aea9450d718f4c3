#include "record/bidi_order.h"

#include "record/pdf_cmap.h"
#include "textfile/cp932.h"

#include <algorithm>
#include <vector>

namespace {

enum class Bidi { L, R, AL, EN, ES, ET, AN, CS, NSM, BN, WS, ON };

struct Range {
    char32_t from, to;
    Bidi bidi;
};

// The classes of the characters a name is likely to hold that are not L; the first range
// that holds a character decides.
constexpr Range kClasses[] = {
    {0x0009, 0x0009, Bidi::WS},  {0x0020, 0x0020, Bidi::WS},  {0x0021, 0x0022, Bidi::ON},  {0x0023, 0x0025, Bidi::ET},
    {0x0026, 0x002A, Bidi::ON},  {0x002B, 0x002B, Bidi::ES},  {0x002C, 0x002C, Bidi::CS},  {0x002D, 0x002D, Bidi::ES},
    {0x002E, 0x002F, Bidi::CS},  {0x0030, 0x0039, Bidi::EN},  {0x003A, 0x003A, Bidi::CS},  {0x003B, 0x0040, Bidi::ON},
    {0x005B, 0x0060, Bidi::ON},  {0x007B, 0x007E, Bidi::ON},  {0x00A0, 0x00A0, Bidi::CS},  {0x00A1, 0x00A1, Bidi::ON},
    {0x00A2, 0x00A5, Bidi::ET},  {0x00A6, 0x00A9, Bidi::ON},  {0x00AB, 0x00AC, Bidi::ON},  {0x00AD, 0x00AD, Bidi::BN},
    {0x00AE, 0x00AF, Bidi::ON},  {0x00B0, 0x00B1, Bidi::ET},  {0x00B2, 0x00B3, Bidi::EN},  {0x00B4, 0x00B4, Bidi::ON},
    {0x00B6, 0x00B8, Bidi::ON},  {0x00B9, 0x00B9, Bidi::EN},  {0x00BB, 0x00BF, Bidi::ON},  {0x00D7, 0x00D7, Bidi::ON},
    {0x00F7, 0x00F7, Bidi::ON},  {0x0300, 0x036F, Bidi::NSM}, {0x0483, 0x0489, Bidi::NSM}, {0x0591, 0x05BD, Bidi::NSM},
    {0x05BF, 0x05BF, Bidi::NSM}, {0x05C1, 0x05C2, Bidi::NSM}, {0x05C4, 0x05C5, Bidi::NSM}, {0x05C7, 0x05C7, Bidi::NSM},
    {0x0590, 0x05FF, Bidi::R},   {0x0600, 0x0605, Bidi::AN},  {0x0609, 0x060A, Bidi::ET},  {0x060C, 0x060C, Bidi::CS},
    {0x060E, 0x060F, Bidi::ON},  {0x0610, 0x061A, Bidi::NSM}, {0x064B, 0x065F, Bidi::NSM}, {0x0660, 0x0669, Bidi::AN},
    {0x066A, 0x066A, Bidi::ET},  {0x066B, 0x066C, Bidi::AN},  {0x0670, 0x0670, Bidi::NSM}, {0x06D6, 0x06DC, Bidi::NSM},
    {0x06DD, 0x06DD, Bidi::AN},  {0x06DE, 0x06DE, Bidi::ON},  {0x06DF, 0x06E4, Bidi::NSM}, {0x06E7, 0x06E8, Bidi::NSM},
    {0x06E9, 0x06E9, Bidi::ON},  {0x06EA, 0x06ED, Bidi::NSM}, {0x06F0, 0x06F9, Bidi::EN},  {0x0711, 0x0711, Bidi::NSM},
    {0x0730, 0x074A, Bidi::NSM}, {0x07A6, 0x07B0, Bidi::NSM}, {0x0600, 0x07BF, Bidi::AL},  {0x07C0, 0x085F, Bidi::R},
    {0x08D3, 0x08FF, Bidi::NSM}, {0x0860, 0x08FF, Bidi::AL},  {0x2000, 0x200A, Bidi::WS},  {0x200B, 0x200D, Bidi::BN},
    {0x2010, 0x2027, Bidi::ON},  {0x2028, 0x2028, Bidi::WS},  {0x202F, 0x202F, Bidi::CS},  {0x2030, 0x2034, Bidi::ET},
    {0x2035, 0x2043, Bidi::ON},  {0x2044, 0x2044, Bidi::CS},  {0x2045, 0x205E, Bidi::ON},  {0x205F, 0x205F, Bidi::WS},
    {0x2060, 0x206F, Bidi::BN},  {0x2070, 0x2079, Bidi::EN},  {0x207A, 0x207B, Bidi::ES},  {0x2080, 0x2089, Bidi::EN},
    {0x208A, 0x208B, Bidi::ES},  {0x20A0, 0x20CF, Bidi::ET},  {0x20D0, 0x20F0, Bidi::NSM}, {0x2190, 0x2BFF, Bidi::ON},
    {0x3000, 0x3000, Bidi::WS},  {0x3001, 0x3004, Bidi::ON},  {0x3008, 0x3020, Bidi::ON},  {0xFB1D, 0xFB1D, Bidi::R},
    {0xFB1E, 0xFB1E, Bidi::NSM}, {0xFB1F, 0xFB4F, Bidi::R},   {0xFB50, 0xFDFF, Bidi::AL},  {0xFE00, 0xFE0F, Bidi::NSM},
    {0xFE20, 0xFE2F, Bidi::NSM}, {0xFE50, 0xFE50, Bidi::CS},  {0xFE52, 0xFE52, Bidi::CS},  {0xFE55, 0xFE55, Bidi::CS},
    {0xFE70, 0xFEFE, Bidi::AL},  {0xFEFF, 0xFEFF, Bidi::BN},  {0xFF01, 0xFF02, Bidi::ON},  {0xFF03, 0xFF05, Bidi::ET},
    {0xFF0B, 0xFF0B, Bidi::ES},  {0xFF0C, 0xFF0C, Bidi::CS},  {0xFF0D, 0xFF0D, Bidi::ES},  {0xFF0E, 0xFF0F, Bidi::CS},
    {0xFF10, 0xFF19, Bidi::EN},  {0xFF1A, 0xFF1A, Bidi::CS},  {0x10800, 0x10FFF, Bidi::R}, {0x1E800, 0x1EFFF, Bidi::R},
};

Bidi ClassOf(char32_t c)
{
    for (const Range& range : kClasses)
        if (c >= range.from && c <= range.to)
            return range.bidi;
    return Bidi::L;
}

bool IsNeutral(Bidi b)
{
    return b == Bidi::WS || b == Bidi::ON || b == Bidi::BN;
}

// The types after the weak and neutral rules (W1-W7, N1-N2): L, R, EN or AN.
void Resolve(std::vector<Bidi>& t)
{
    const std::size_t n = t.size();
    // BN takes the type before it (X9 leaves it out; here it goes with its neighbour).
    for (std::size_t i = 0; i < n; ++i)
        if (t[i] == Bidi::BN || t[i] == Bidi::NSM)
            t[i] = i == 0 ? Bidi::L : t[i - 1];  // W1
    Bidi strong = Bidi::L;  // sos of a left-to-right paragraph
    for (std::size_t i = 0; i < n; ++i) {
        if (t[i] == Bidi::L || t[i] == Bidi::R || t[i] == Bidi::AL)
            strong = t[i];
        else if (t[i] == Bidi::EN && strong == Bidi::AL)
            t[i] = Bidi::AN;  // W2
    }
    std::replace(t.begin(), t.end(), Bidi::AL, Bidi::R);  // W3
    for (std::size_t i = 1; i + 1 < n; ++i) {  // W4
        if (t[i] == Bidi::ES && t[i - 1] == Bidi::EN && t[i + 1] == Bidi::EN)
            t[i] = Bidi::EN;
        else if (t[i] == Bidi::CS && t[i - 1] == t[i + 1] && (t[i - 1] == Bidi::EN || t[i - 1] == Bidi::AN))
            t[i] = t[i - 1];
    }
    for (std::size_t i = 0; i < n;) {  // W5
        std::size_t end = i;
        while (end < n && t[end] == Bidi::ET)
            ++end;
        if (end > i && ((i > 0 && t[i - 1] == Bidi::EN) || (end < n && t[end] == Bidi::EN)))
            std::fill(t.begin() + static_cast<std::ptrdiff_t>(i), t.begin() + static_cast<std::ptrdiff_t>(end),
                      Bidi::EN);
        i = end > i ? end : i + 1;
    }
    for (Bidi& b : t)  // W6
        if (b == Bidi::ES || b == Bidi::ET || b == Bidi::CS)
            b = Bidi::ON;
    strong = Bidi::L;
    for (Bidi& b : t) {  // W7
        if (b == Bidi::L || b == Bidi::R)
            strong = b;
        else if (b == Bidi::EN && strong == Bidi::L)
            b = Bidi::L;
    }
    // N1, N2: a run of neutrals between two of one direction (numbers count as R) takes
    // it; any other takes the paragraph's, L. Both ends of the line count as L.
    const auto direction = [](Bidi b) { return b == Bidi::L ? Bidi::L : Bidi::R; };
    for (std::size_t i = 0; i < n;) {
        if (!IsNeutral(t[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < n && IsNeutral(t[end]))
            ++end;
        const Bidi before = i == 0 ? Bidi::L : direction(t[i - 1]);
        const Bidi after = end == n ? Bidi::L : direction(t[end]);
        std::fill(t.begin() + static_cast<std::ptrdiff_t>(i), t.begin() + static_cast<std::ptrdiff_t>(end),
                  before == after ? before : Bidi::L);
        i = end;
    }
}

}  // namespace

std::string VisualOrder(std::string_view utf8)
{
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(utf8);  // ASCII holds nothing right to left
    std::vector<char32_t> chars;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    bool anyRightToLeft = false;
    while (p < end) {
        chars.push_back(NextUtf8(p, end));
        const Bidi b = ClassOf(chars.back());
        anyRightToLeft = anyRightToLeft || b == Bidi::R || b == Bidi::AL || b == Bidi::AN;
    }
    if (!anyRightToLeft)
        return std::string(utf8);
    std::vector<Bidi> types(chars.size());
    std::transform(chars.begin(), chars.end(), types.begin(),
                   [](char32_t c) { return (c & kUtf8Invalid) != 0 ? Bidi::L : ClassOf(c); });
    Resolve(types);
    // I1, then L2: runs at level 2 (numbers) reversed, then runs at level 1 or more.
    std::vector<int> levels(chars.size());
    std::transform(types.begin(), types.end(), levels.begin(), [](Bidi b) {
        return b == Bidi::L ? 0 : b == Bidi::R ? 1 : 2;
    });
    for (int level = 2; level >= 1; --level) {
        for (std::size_t i = 0; i < chars.size();) {
            std::size_t stop = i;
            while (stop < chars.size() && levels[stop] >= level)
                ++stop;
            std::reverse(chars.begin() + static_cast<std::ptrdiff_t>(i),
                         chars.begin() + static_cast<std::ptrdiff_t>(stop));
            std::reverse(levels.begin() + static_cast<std::ptrdiff_t>(i),
                         levels.begin() + static_cast<std::ptrdiff_t>(stop));
            i = stop > i ? stop : i + 1;
        }
    }
    std::string visual;
    for (const char32_t c : chars) {
        if ((c & kUtf8Invalid) != 0)
            visual.push_back(static_cast<char>(c & 0xFF));
        else
            AppendUtf8(c, visual);
    }
    return visual;
}
