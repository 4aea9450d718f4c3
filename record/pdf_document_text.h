#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A PDF's pages read as a text reader reads them, through qpdf: the file, its objects
// and streams are qpdf's; each page's content is interpreted for its text (the string
// of every text-showing operator decoded through its font, placed by the text and
// graphics state) and the strings are set into lines by their baselines, top to bottom,
// each left to right. Pages are read in order, each as it is asked for: the file is
// never read whole, and what a page needed is let go after it, so memory stays the
// same whatever the page count.
class CPdfDocumentText {
public:
    CPdfDocumentText();
    ~CPdfDocumentText();
    CPdfDocumentText(const CPdfDocumentText&) = delete;
    CPdfDocumentText& operator=(const CPdfDocumentText&) = delete;

    // Unreadable: the system's reason; Damaged: qpdf's.
    enum class Opened { Ok, Unreadable, Damaged, Encrypted };
    [[nodiscard]] Opened Open(const std::string& path, std::string& detail);

    // A text string of the document information (key "/Subject"), in UTF-8; "" when none.
    std::string Info(const std::string& key) const;
    // The document's XMP metadata; "" when none.
    std::string Metadata() const;
    // The pages the page tree's root counts.
    std::int64_t PageCount() const;
    // The text lines of the next page. False at the end (why empty) or when the page
    // cannot be read (why says so).
    [[nodiscard]] bool NextPage(std::vector<std::string>& lines, std::string& why);

private:
    struct State;
    std::unique_ptr<State> m;
};
