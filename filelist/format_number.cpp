#include "filelist/format_number.h"

#include "textfile/cp932.h"

#include <cstdio>

namespace {

// The template's single-byte characters only. In UTF-8 no byte below 0x80 occurs inside
// a multibyte character; in code page 932 (Windows) a trail byte may be 0x5C, the yen
// sign's byte, so the pairs are stepped over.
std::string SingleBytes(const std::string& text)
{
#if defined(_WIN32)
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (IsCp932LeadByte(c) && i + 1 < text.size()) {
            out += ' ';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
#else
    return text;
#endif
}

}  // namespace

std::string FormatNumber(double value, const std::string& strTemplate)
{
    const std::string marks = SingleBytes(strTemplate);
    const bool yen = marks.find('\\') != std::string::npos;
    const bool group = marks.find(',') != std::string::npos;
    const bool dash = marks.find(".-") != std::string::npos;

    std::string result = yen ? "\\" : "";
    if (!(value < 0.0 || value > 0.0)) {  // zero, and NaN with it
        result += '0';
    } else {
        char buf[512];  // "%.0f" of the largest double has 309 digits
        const int n = std::snprintf(buf, sizeof buf, "%.0f", value);
        const std::string digits(buf, n > 0 ? static_cast<std::size_t>(n) : 0);
        if (!group) {
            result += digits;
        } else {
            // A negative value groups its digits only: -1234 gives -1,234.
            std::size_t start = 0;
            if (!digits.empty() && digits[0] == '-') {
                result += '-';
                start = 1;
            }
            const std::size_t len = digits.size() - start;
            for (std::size_t i = 0; i < len; ++i) {
                if (i > 0 && (len - i) % 3 == 0)
                    result += ',';
                result += digits[start + i];
            }
        }
    }
    if (dash)
        result += ".-";
    return result;
}
