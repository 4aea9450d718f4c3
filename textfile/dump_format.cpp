#include "textfile/dump_format.h"

#include "textfile/visible_text.h"

#include <cstdio>

std::string DumpPageHeader(const std::string& path, std::int64_t length, std::int64_t page, std::int64_t pageTotal)
{
    char tail[128];
    std::snprintf(tail, sizeof tail, "  Length : %08llX(%lld)  Page : %lld / %lld",
                  static_cast<unsigned long long>(length), static_cast<long long>(length), static_cast<long long>(page),
                  static_cast<long long>(pageTotal));
    // Nothing in a name may move or hide the header's own fields.
    return "Name : " + VisibleText(path) + tail;
}
