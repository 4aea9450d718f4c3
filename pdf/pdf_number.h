#pragma once

#include <QTransform>

#include <charconv>
#include <cmath>
#include <string>

// A number as PDF syntax wants it, whatever the process's locale: a decimal comma
// would make the file unreadable. Whole numbers as integers, others with no more than
// the given decimal places and no trailing zeros.
inline void AppendPdfNumber(std::string& out, double v, int decimals = 6)
{
    char buf[64];
    const double whole = std::round(v);
    if (std::abs(v - whole) < 1e-9 && std::abs(whole) < 1e15) {
        const auto res = std::to_chars(buf, buf + sizeof buf, static_cast<long long>(whole));
        out.append(buf, res.ptr);
        return;
    }
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    char* end = res.ptr;
    while (end > buf && end[-1] == '0')
        --end;
    if (end > buf && end[-1] == '.')
        --end;
    if (end == buf + 2 && buf[0] == '-' && buf[1] == '0')
        out.push_back('0');
    else
        out.append(buf, end);
}

inline std::string PdfNumber(double v, int decimals = 6)
{
    std::string out;
    AppendPdfNumber(out, v, decimals);
    return out;
}

// A matrix's six numbers, each followed by a blank, as the cm and Tm operators take them.
inline void AppendPdfMatrix(std::string& out, const QTransform& m)
{
    for (double v : {m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy()}) {
        AppendPdfNumber(out, v, 9);
        out.push_back(' ');
    }
}
