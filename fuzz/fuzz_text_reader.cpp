// ReadLine and GetField over arbitrary bytes, checked against a plain model of the rules.
#include "fuzz/fuzz_common.h"
#include "textfile/text_file_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string Trimmed(std::string text)
{
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// The field rules byte by byte, with a buffer that grows as needed.
std::string ModelField(const std::string& line, char delimiter, char comment, std::int16_t n)
{
    std::int16_t counter = 0;
    std::string buffer;
    for (const char ch : line) {
        const int value = static_cast<signed char>(ch);
        if (ch == '\r' || ch == '\n') {
            return counter == n ? Trimmed(buffer) : std::string();
        }
        if (value == static_cast<unsigned char>(delimiter)) {
            if (counter == n) {
                return Trimmed(buffer);
            }
            counter = static_cast<std::int16_t>(counter + 1);
            buffer.clear();
            continue;
        }
        if (buffer.empty()) {
            if (value == static_cast<unsigned char>(comment)) {
                return {};
            }
            if (ch == ' ') {
                continue;
            }
        }
        buffer.push_back(ch);
    }
    return counter == n ? Trimmed(buffer) : std::string();
}

// The lines ReadLine must give: split at line feeds, a final CR turned into the line feed.
std::vector<std::string> ModelLines(const std::string& bytes)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t lf = bytes.find('\n', start);
        std::string line = bytes.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
        if (!line.empty() && line.back() == '\r') {
            line.back() = '\n';
        } else {
            line.push_back('\n');
        }
        lines.push_back(std::move(line));
        start = lf == std::string::npos ? bytes.size() : lf + 1;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) {
        return 0;
    }
    const char delimiter = static_cast<char>(data[0]);
    const char comment = static_cast<char>(data[1]);
    const auto field = static_cast<std::int16_t>(data[2] | (data[3] << 8));
    const std::string bytes(reinterpret_cast<const char*>(data + 4), size - 4);
    const std::string& path = fuzzing::ScratchPath("reader");
    fuzzing::WriteScratch(path, data + 4, size - 4);

    const std::vector<std::string> expected = ModelLines(bytes);
    CTextFileReader reader;
    reader.SetDelimiter(delimiter);
    reader.m_chComment = comment;
    FUZZ_CHECK(reader.Open(path));
    std::size_t index = 0;
    while (reader.ReadLine()) {
        FUZZ_CHECK(index < expected.size());
        FUZZ_CHECK(reader.m_strLine == expected[index]);
        for (const std::int16_t n : {field, std::int16_t{0}, std::int16_t{1}, std::int16_t{-1}}) {
            FUZZ_CHECK(reader.GetField(n) == ModelField(reader.m_strLine, delimiter, comment, n));
        }
        ++index;
    }
    FUZZ_CHECK(index == expected.size());
    FUZZ_CHECK(reader.m_strLine == "\n");
    FUZZ_CHECK(!reader.HadError());
    FUZZ_CHECK(reader.Tell() == bytes.size());

    // Starting mid-file gives the rest of the line the offset falls into.
    const std::size_t offset = bytes.empty() ? 0 : static_cast<std::uint16_t>(field) % bytes.size();
    FUZZ_CHECK(reader.Seek(offset));
    FUZZ_CHECK(reader.Tell() == offset);
    const bool more = reader.ReadLine();
    FUZZ_CHECK(more == (offset < bytes.size()));
    if (more) {
        FUZZ_CHECK(reader.m_strLine == ModelLines(bytes.substr(offset)).front());
    }
    reader.Close();
    return 0;
}
