// The list's name order: a total order that agrees with the sort keys.
#include "filelist/name_order.h"
#include "fuzz/fuzz_common.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

int Sign(int value)
{
    return (value > 0) - (value < 0);
}

int KeySign(const std::string& a, const std::string& b)
{
    std::vector<std::uint32_t> ka;
    std::vector<std::uint32_t> kb;
    AppendNameKey(a, ka);
    AppendNameKey(b, kb);
    return ka < kb ? -1 : (kb < ka ? 1 : 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::size_t cut1 = data[0] % (rest.size() + 1);
    const std::size_t cut2 = cut1 + data[1] % (rest.size() - cut1 + 1);
    const std::string a = rest.substr(0, cut1);
    const std::string b = rest.substr(cut1, cut2 - cut1);
    const std::string c = rest.substr(cut2);

    const int ab = Sign(CompareNames(a, b));
    const int bc = Sign(CompareNames(b, c));
    const int ac = Sign(CompareNames(a, c));
    FUZZ_CHECK(CompareNames(a, a) == 0);
    FUZZ_CHECK(ab == -Sign(CompareNames(b, a)));
    FUZZ_CHECK(ab == KeySign(a, b));
    FUZZ_CHECK(bc == KeySign(b, c));
    FUZZ_CHECK(ac == KeySign(a, c));
    if (ab <= 0 && bc <= 0) {
        FUZZ_CHECK(ac <= 0);
    }
    if (ab >= 0 && bc >= 0) {
        FUZZ_CHECK(ac >= 0);
    }
    // A name that ends first sorts first; an ASCII byte never joins the character before it.
    FUZZ_CHECK(CompareNames(a, a + "A") < 0);
    FUZZ_CHECK(CompareNames(a + "a", a + "A") == 0);
    return 0;
}
