// The dump text of arbitrary file content: it must read back to the same bytes, laid out
// page by page as the page lookup expects, and stop cleanly when cancelled.
#include "fuzz/fuzz_common.h"
#include "printing/dump_writer.h"
#include "textfile/text_file_writer.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kLineBytes = 32;
constexpr std::size_t kPageBytes = 2560;

std::string Hex(std::uint64_t value, int digits)
{
    char text[32];
    std::snprintf(text, sizeof text, "%0*" PRIX64, digits, value);
    return text;
}

struct Model {
    std::vector<std::string> lines;
    std::vector<std::size_t> pendingAtPage;  // index of the line still unwritten at each page start
};

Model Expected(const std::string& path, const std::string& bytes, bool preview)
{
    Model model;
    const std::size_t n = bytes.size();
    if (n == 0) {
        return model;
    }
    const std::size_t total = (n - 1) / kPageBytes + 1;
    const std::size_t pages = preview && total > 5 ? 5 : total;
    model.lines.emplace_back();
    std::string column = "Position";
    for (std::size_t j = 0; j < kLineBytes; ++j) {
        column += (j == 0 || j == 16 ? "  " : " ") + Hex(j, 2);
    }
    for (std::size_t page = 1; page <= pages; ++page) {
        model.pendingAtPage.push_back(model.lines.size() - 1);
        model.lines.push_back("Name : " + path + "  Length : " + Hex(n, 8) + "(" + std::to_string(n) +
                              ")  Page : " + std::to_string(page) + " / " + std::to_string(total));
        model.lines.emplace_back();
        model.lines.push_back(column);
        const std::size_t begin = (page - 1) * kPageBytes;
        const std::size_t end = begin + kPageBytes < n ? begin + kPageBytes : n;
        for (std::size_t at = begin; at < end; at += kLineBytes) {
            if ((at - begin) % (16 * kLineBytes) == 0) {
                model.lines.emplace_back();
            }
            std::string line = Hex(at, 8);
            for (std::size_t j = 0; j < kLineBytes && at + j < n; ++j) {
                line += (j == 0 || j == 16 ? "  " : " ") + Hex(static_cast<unsigned char>(bytes[at + j]), 2);
            }
            model.lines.push_back(std::move(line));
        }
    }
    return model;
}

std::string Joined(const std::vector<std::string>& lines, std::size_t count)
{
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += lines[i] + "\r\n";
    }
    return text;
}

// Bytes shown by the dump lines of a work file, parsed without the model.
std::string ParseBack(const std::string& text)
{
    std::string bytes;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos);
        const std::string line = text.substr(start, end - start);
        start = end + 2;
        if (line.empty() || line.compare(0, 7, "Name : ") == 0 || line.compare(0, 8, "Position") == 0) {
            continue;
        }
        FUZZ_CHECK(line.size() >= 8 + 4);
        FUZZ_CHECK(std::stoull(line.substr(0, 8), nullptr, 16) == bytes.size());
        std::size_t pos = 8;
        for (std::size_t j = 0; pos < line.size(); ++j) {
            const std::size_t gap = j == 0 || j == 16 ? 2 : 1;
            FUZZ_CHECK(line.compare(pos, gap, std::string(gap, ' ')) == 0);
            pos += gap;
            FUZZ_CHECK(pos + 2 <= line.size());
            bytes.push_back(static_cast<char>(std::stoul(line.substr(pos, 2), nullptr, 16)));
            pos += 2;
        }
    }
    return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const bool preview = (data[0] & 1) != 0;
    // Cancel at that page start (0 never): mostly early, sometimes past the writer's first flush.
    const int cancelAt = data[1] < 128 ? data[1] % 8 : data[1];
    const std::string bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    const std::string& source = fuzzing::ScratchPath("dump_in");
    const std::string& output = fuzzing::ScratchPath("dump_out");
    fuzzing::WriteScratch(source, data + 2, size - 2);

    int pageStarts = 0;
    DumpHooks hooks;
    hooks.pump = [&pageStarts] { ++pageStarts; };
    hooks.cancelRequested = [&pageStarts, cancelAt] { return pageStarts == cancelAt; };

    CTextFileWriter writer;
    FUZZ_CHECK(writer.Open(output));
    const DumpResult result = WriteDumpFile(source, writer, preview ? 5 : 0, hooks);
    writer.Close();
    FUZZ_CHECK(!writer.Failed());
    const std::string text = fuzzing::ReadWhole(output);

    const Model model = Expected(source, bytes, preview);
    const std::size_t pages = model.pendingAtPage.size();
    FUZZ_CHECK(result.length == static_cast<std::int64_t>(bytes.size()));
    FUZZ_CHECK(pageStarts == static_cast<int>(cancelAt != 0 && cancelAt <= static_cast<int>(pages) ? cancelAt : pages));
    if (cancelAt != 0 && cancelAt <= static_cast<int>(pages)) {
        FUZZ_CHECK(result.status == DumpStatus::Cancelled);
        FUZZ_CHECK(text == Joined(model.lines, model.pendingAtPage[cancelAt - 1]));
    } else {
        FUZZ_CHECK(result.status == DumpStatus::Done);
        FUZZ_CHECK(result.pagesWritten == static_cast<std::int64_t>(pages));
        FUZZ_CHECK(text == Joined(model.lines, model.lines.size()));
        const std::string shown = ParseBack(text);
        FUZZ_CHECK(shown == bytes.substr(0, pages * kPageBytes));
    }
    return 0;
}
