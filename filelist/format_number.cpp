#include "filelist/format_number.h"

#include <cstdio>

std::string FormatNumber(double value, const std::string& strTemplate)
{
    // The template is UTF-8, where bytes below 0x80 never occur inside a multibyte
    // character, so plain byte searches cannot hit the second half of one.
    const bool yen = strTemplate.find('\\') != std::string::npos;
    const bool group = strTemplate.find(',') != std::string::npos;
    const bool dash = strTemplate.find(".-") != std::string::npos;

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
                if (i > 0 && (len - i) % 3 == 0) result += ',';
                result += digits[start + i];
            }
        }
    }
    if (dash) result += ".-";
    return result;
}
