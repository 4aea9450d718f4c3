// Both rule sets of JoinPath on arbitrary folder and name bytes.
#include "draw/join_path.h"
#include "fuzz/fuzz_common.h"
#include "textfile/cp932.h"

#include <cstdint>
#include <string>

namespace {

void CheckPosix(const std::string& folder, const std::string& name)
{
    const std::string joined = JoinPath(folder, name, PathRules::Posix);
    if (joined.empty()) {
        return;
    }
    // The folder is taken as it is, doubled separators too; the join adds one at most.
    FUZZ_CHECK(joined.size() <= 4096);
    FUZZ_CHECK(joined.find('\0') == std::string::npos);
    FUZZ_CHECK(name.find('/') == std::string::npos);
    const bool separator = !folder.empty() && folder.back() != '/';
    FUZZ_CHECK(joined == folder + (separator ? "/" : "") + name);
}

void CheckWindows(const std::string& folder, const std::string& name)
{
    const std::string joined = JoinPath(folder, name, PathRules::Windows);
    if (joined.empty()) {
        return;
    }
    FUZZ_CHECK(joined.size() <= 260);
    FUZZ_CHECK(joined.size() == folder.size() + name.size() || joined.size() == folder.size() + name.size() + 1);
    FUZZ_CHECK(joined.compare(0, folder.size(), folder) == 0);
    FUZZ_CHECK(joined.compare(joined.size() - name.size(), name.size(), name) == 0);
    if (joined.size() != folder.size() + name.size()) {
        FUZZ_CHECK(joined[folder.size()] == '\\');
    }
    // Outside double-byte pairs: no rejected character, no control byte, no doubled
    // backslash but a leading one, and a colon only as the drive's.
    bool afterPair = false;
    for (std::size_t i = 0; i < joined.size(); ++i) {
        const auto c = static_cast<unsigned char>(joined[i]);
        if (IsCp932LeadByte(c)) {
            FUZZ_CHECK(i + 1 < joined.size());
            ++i;
            afterPair = true;
            continue;
        }
        FUZZ_CHECK(std::string("\",/;<>|").find(static_cast<char>(c)) == std::string::npos);
        FUZZ_CHECK(c >= 0x09 && c != 0x7F && c != 0x80 && c != 0xA0 && c < 0xFD);
        FUZZ_CHECK(!(c >= 0x0E && c < 0x20));
        if (c == ':') {
            FUZZ_CHECK(i == 1 && ((joined[0] >= 'A' && joined[0] <= 'Z') || (joined[0] >= 'a' && joined[0] <= 'z')));
        }
        if (c == '\\' && i >= 2) {
            FUZZ_CHECK(joined[i - 1] != '\\' || afterPair);
        }
        afterPair = false;
    }
    // The same parts again must give the same path (no hidden state).
    FUZZ_CHECK(JoinPath(folder, name, PathRules::Windows) == joined);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    // Two length bytes split the rest; long inputs reach the budgets by repetition.
    const std::size_t repeat = data[1] & 0x0F;
    std::string rest(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::size_t split = rest.empty() ? 0 : data[0] % (rest.size() + 1);
    std::string folder = rest.substr(0, split);
    const std::string name = rest.substr(split);
    if (repeat > 1 && !folder.empty()) {
        std::string grown;
        for (std::size_t i = 0; i < repeat * 40 && grown.size() < 5000; ++i) {
            grown += folder;
        }
        folder = std::move(grown);
    }
    CheckPosix(folder, name);
    CheckWindows(folder, name);
    return 0;
}
