#include "record/pdf_document_text.h"

#include "record/pdf_text_font.h"
#include "textfile/error_text.h"
#include "textfile/input_file.h"

#include <qpdf/BufferInputSource.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFTokenizer.hh>

#include <fcntl.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

namespace {

// A PDF matrix [a b c d e f]; a point goes through this one, then through next.
struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    Matrix Then(const Matrix& m) const
    {
        return {a * m.a + b * m.c, a * m.b + b * m.d,       c * m.a + d * m.c,
                c * m.b + d * m.d, e * m.a + f * m.c + m.e, e * m.b + f * m.d + m.f};
    }
};

struct TextState {
    const CPdfTextFont* font = nullptr;
    double size = 0;
    double charSpacing = 0;
    double wordSpacing = 0;
    double scale = 1;  // Tz, as a fraction
    double leading = 0;
    double rise = 0;
    int render = 0;
};

struct GraphicsState {
    Matrix ctm;
    TextState text;
};

// One shown string where it stands on the page, in default user space.
struct Piece {
    double x = 0, y = 0, xEnd = 0, size = 0;
    std::string text;
};

constexpr int kMaxFormDepth = 8;

using Token = QPDFTokenizer::Token;

double NumberOf(const Token& token)
{
    if (token.getType() != QPDFTokenizer::tt_integer && token.getType() != QPDFTokenizer::tt_real)
        return 0;
    std::string_view text = token.getValue();
    if (!text.empty() && text.front() == '+')
        text.remove_prefix(1);
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

std::string Utf8Of(QPDFObjectHandle object)
{
    return object.isString() ? object.getUTF8Value() : std::string();
}

}  // namespace

struct CPdfDocumentText::State {
    std::FILE* file = nullptr;
    std::string path;
    std::unique_ptr<QPDF> pdf;
    // Where the walk of the page tree stands: the nodes above the next page, each with
    // its next kid. Objects by number, so that the walk goes on in a fresh QPDF.
    struct Node {
        QPDFObjGen node;
        int next = 0;
    };
    std::vector<Node> walk;
    std::int64_t pagesSinceOpen = 0;
    // Content streams let go of in this QPDF: a page that shares one needs a fresh QPDF.
    std::set<QPDFObjGen> released;
    // Fonts by object, kept across fresh QPDFs: they hold no handles.
    std::map<QPDFObjGen, std::unique_ptr<CPdfTextFont>> fonts;
    std::vector<std::unique_ptr<CPdfTextFont>> directFonts;  // a page's fonts that are not objects of their own
    std::vector<Piece> pieces;
    std::string problem;  // the first thing on the page that could not be read

    ~State()
    {
        pdf.reset();
        if (file != nullptr)
            std::fclose(file);
    }
    void Load();
    static std::vector<QPDFObjGen> ContentsOf(QPDFObjectHandle page);
    bool NextPageObject(QPDFObjectHandle& page, std::string& why);
    const CPdfTextFont* FontOf(QPDFObjectHandle resources, const std::string& name);
    void Run(const std::shared_ptr<Buffer>& content, const QPDFObjectHandle& resources, GraphicsState gs, int depth);
    void Show(const GraphicsState& gs, Matrix& tm, const std::string& string);
    void RunForm(const std::string& name, QPDFObjectHandle resources, const GraphicsState& gs, int depth);
    void Lines(std::vector<std::string>& lines);
    void Fail(const std::string& why)
    {
        if (problem.empty())
            problem = why;
    }
};

void CPdfDocumentText::State::Load()
{
    pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    // A damaged file is not mended behind the user's back: it is not the record.
    pdf->setAttemptRecovery(false);
    // The file stays open: every QPDF reads the same file, whatever its name names now.
    pdf->processFile(path.c_str(), file, false);
    pagesSinceOpen = 0;
    released.clear();
}

std::vector<QPDFObjGen> CPdfDocumentText::State::ContentsOf(QPDFObjectHandle page)
{
    std::vector<QPDFObjGen> streams;
    QPDFObjectHandle contents = page.getKey("/Contents");
    if (contents.isIndirect())
        streams.push_back(contents.getObjGen());
    for (int i = 0; contents.isArray() && i < contents.getArrayNItems(); ++i)
        if (QPDFObjectHandle part = contents.getArrayItem(i); part.isIndirect())
            streams.push_back(part.getObjGen());
    return streams;
}

bool CPdfDocumentText::State::NextPageObject(QPDFObjectHandle& page, std::string& why)
{
    constexpr std::size_t kMaxDepth = 64;
    while (!walk.empty()) {
        Node& at = walk.back();
        QPDFObjectHandle kids = pdf->getObjectByObjGen(at.node).getKey("/Kids");
        if (!kids.isArray() || at.next >= kids.getArrayNItems()) {
            walk.pop_back();
            continue;
        }
        QPDFObjectHandle kid = kids.getArrayItem(at.next++);
        // A page read before is gone: a page that comes twice is a damaged tree.
        if (!kid.isIndirect() || !kid.isDictionary()) {
            why = "ページ木が壊れています (the page tree is damaged)";
            return false;
        }
        if (kid.getKey("/Type").isNameAndEquals("/Page") || !kid.getKey("/Kids").isArray()) {
            page = kid;
            return true;
        }
        if (walk.size() >= kMaxDepth) {
            why = "ページ木が深すぎます (the page tree is too deep)";
            return false;
        }
        walk.push_back({kid.getObjGen(), 0});
    }
    return false;
}

const CPdfTextFont* CPdfDocumentText::State::FontOf(QPDFObjectHandle resources, const std::string& name)
{
    QPDFObjectHandle fonts = resources.isDictionary() ? resources.getKey("/Font") : QPDFObjectHandle();
    QPDFObjectHandle font = fonts.isDictionary() ? fonts.getKey(name) : QPDFObjectHandle();
    if (!font.isIndirect()) {
        directFonts.push_back(std::make_unique<CPdfTextFont>(font));
        return directFonts.back().get();
    }
    std::unique_ptr<CPdfTextFont>& known = this->fonts[font.getObjGen()];
    if (known == nullptr)
        known = std::make_unique<CPdfTextFont>(font);
    return known.get();
}

void CPdfDocumentText::State::Show(const GraphicsState& gs, Matrix& tm, const std::string& string)
{
    const TextState& ts = gs.text;
    if (ts.font == nullptr) {
        Fail("フォントの選ばれていない文字列があります (text shown without a font)");
        return;
    }
    if (!ts.font->Problem().empty()) {
        Fail(ts.font->Problem());
        return;
    }
    Piece piece;
    const CPdfTextFont::Shown shown = ts.font->Show(string, piece.text);
    const double advance =
        (shown.width * ts.size + shown.codes * ts.charSpacing + shown.spaces * ts.wordSpacing) * ts.scale;
    const Matrix trm = tm.Then(gs.ctm);
    piece.x = trm.e + ts.rise * trm.c;
    piece.y = trm.f + ts.rise * trm.d;
    piece.xEnd = piece.x + advance * trm.a;
    piece.size = ts.size * std::hypot(trm.c, trm.d);
    // Invisible text (render modes 3 and 7) is not on the page.
    if (ts.render != 3 && ts.render != 7 && !piece.text.empty())
        pieces.push_back(std::move(piece));
    tm.e += advance * tm.a;
    tm.f += advance * tm.b;
}

void CPdfDocumentText::State::RunForm(const std::string& name, QPDFObjectHandle resources, const GraphicsState& gs,
                                      int depth)
{
    QPDFObjectHandle objects = resources.isDictionary() ? resources.getKey("/XObject") : QPDFObjectHandle();
    QPDFObjectHandle form = objects.isDictionary() ? objects.getKey(name) : QPDFObjectHandle();
    if (!form.isStream() || !form.getDict().getKey("/Subtype").isNameAndEquals("/Form"))
        return;  // an image, or nothing
    if (depth >= kMaxFormDepth) {
        Fail("入れ子の深すぎるフォームがあります (forms nested too deep)");
        return;
    }
    GraphicsState inner = gs;
    QPDFObjectHandle matrix = form.getDict().getKey("/Matrix");
    if (matrix.isArray() && matrix.getArrayNItems() == 6) {
        double m[6];
        for (int i = 0; i < 6; ++i)
            m[i] = matrix.getArrayItem(i).isNumber() ? matrix.getArrayItem(i).getNumericValue() : 0;
        inner.ctm = Matrix{m[0], m[1], m[2], m[3], m[4], m[5]}.Then(gs.ctm);
    }
    QPDFObjectHandle own = form.getDict().getKey("/Resources");
    Run(form.getStreamData(qpdf_dl_generalized), own.isDictionary() ? own : resources, inner, depth + 1);
}

void CPdfDocumentText::State::Run(const std::shared_ptr<Buffer>& content, const QPDFObjectHandle& resources,
                                  GraphicsState gs, int depth)
{
    const auto input = std::make_shared<BufferInputSource>("page", content.get());
    QPDFTokenizer tokenizer;
    tokenizer.allowEOF();
    std::vector<Token> operands;
    std::vector<GraphicsState> saved;
    Matrix tm, tlm;
    const auto number = [&operands](std::size_t fromEnd) {
        return fromEnd <= operands.size() ? NumberOf(operands[operands.size() - fromEnd]) : 0.0;
    };
    const auto moveLine = [&](double tx, double ty) {
        tlm = Matrix{1, 0, 0, 1, tx, ty}.Then(tlm);
        tm = tlm;
    };
    const auto lastString = [&operands]() -> const std::string* {
        return !operands.empty() && operands.back().getType() == QPDFTokenizer::tt_string ? &operands.back().getValue()
                                                                                          : nullptr;
    };
    for (;;) {
        Token token = tokenizer.readToken(input, "page", true);
        const auto type = token.getType();
        if (type == QPDFTokenizer::tt_eof)
            break;
        if (type == QPDFTokenizer::tt_bad) {
            Fail("ページの内容を読めません (a page's content cannot be read): " + token.getErrorMessage());
            return;
        }
        if (type != QPDFTokenizer::tt_word) {
            operands.push_back(std::move(token));
            continue;
        }
        const std::string& op = token.getValue();
        TextState& ts = gs.text;
        if (op == "Tj") {
            if (const std::string* s = lastString())
                Show(gs, tm, *s);
        } else if (op == "Td" || op == "TD") {
            if (op == "TD")
                ts.leading = -number(1);
            moveLine(number(2), number(1));
        } else if (op == "Tm") {
            tlm = tm = Matrix{number(6), number(5), number(4), number(3), number(2), number(1)};
        } else if (op == "TJ") {
            // The array's strings in turn; a number moves the next one back by
            // thousandths of the font size.
            auto it = operands.begin();
            while (it != operands.end() && it->getType() != QPDFTokenizer::tt_array_open)
                ++it;
            for (; it != operands.end(); ++it) {
                if (it->getType() == QPDFTokenizer::tt_string) {
                    Show(gs, tm, it->getValue());
                } else if (it->getType() == QPDFTokenizer::tt_integer || it->getType() == QPDFTokenizer::tt_real) {
                    const double tx = -NumberOf(*it) / 1000 * ts.size * ts.scale;
                    tm.e += tx * tm.a;
                    tm.f += tx * tm.b;
                }
            }
        } else if (op == "T*" || op == "'" || op == "\"") {
            if (op == "\"") {
                ts.wordSpacing = number(3);
                ts.charSpacing = number(2);
            }
            moveLine(0, -ts.leading);
            if (const std::string* s = op == "T*" ? nullptr : lastString())
                Show(gs, tm, *s);
        } else if (op == "BT") {
            tm = tlm = Matrix{};
        } else if (op == "Tf") {
            if (operands.size() >= 2 && operands[operands.size() - 2].getType() == QPDFTokenizer::tt_name)
                ts.font = FontOf(resources, operands[operands.size() - 2].getValue());
            ts.size = number(1);
        } else if (op == "Tc") {
            ts.charSpacing = number(1);
        } else if (op == "Tw") {
            ts.wordSpacing = number(1);
        } else if (op == "Tz") {
            ts.scale = number(1) / 100;
        } else if (op == "TL") {
            ts.leading = number(1);
        } else if (op == "Ts") {
            ts.rise = number(1);
        } else if (op == "Tr") {
            ts.render = static_cast<int>(number(1));
        } else if (op == "q") {
            saved.push_back(gs);
        } else if (op == "Q") {
            if (!saved.empty()) {
                gs = saved.back();
                saved.pop_back();
            }
        } else if (op == "cm") {
            gs.ctm = Matrix{number(6), number(5), number(4), number(3), number(2), number(1)}.Then(gs.ctm);
        } else if (op == "Do") {
            if (!operands.empty() && operands.back().getType() == QPDFTokenizer::tt_name)
                RunForm(operands.back().getValue(), resources, gs, depth);
        } else if (op == "ID") {
            // An inline image's data up to its EI, skipped whole.
            char ch = 0;
            input->read(&ch, 1);
            tokenizer.expectInlineImage(input);
            tokenizer.readToken(input, "page", true);
        }
        operands.clear();
    }
}

void CPdfDocumentText::State::Lines(std::vector<std::string>& lines)
{
    lines.clear();
    // Top to bottom; strings whose baselines lie within a third of their size make one
    // line, left to right, with a space where a gap of a quarter of the size parts them.
    std::stable_sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.y > b.y; });
    for (std::size_t from = 0; from < pieces.size();) {
        std::size_t to = from + 1;
        while (to < pieces.size() && pieces[from].y - pieces[to].y <= pieces[from].size / 3)
            ++to;
        std::stable_sort(pieces.begin() + static_cast<std::ptrdiff_t>(from),
                         pieces.begin() + static_cast<std::ptrdiff_t>(to),
                         [](const Piece& a, const Piece& b) { return a.x < b.x; });
        std::string line = std::move(pieces[from].text);
        for (std::size_t k = from + 1; k < to; ++k) {
            if (pieces[k].x - pieces[k - 1].xEnd > pieces[k].size / 4)
                line += ' ';
            line += pieces[k].text;
        }
        lines.push_back(std::move(line));
        from = to;
    }
}

CPdfDocumentText::CPdfDocumentText() : m(std::make_unique<State>())
{
}
CPdfDocumentText::~CPdfDocumentText() = default;

CPdfDocumentText::Opened CPdfDocumentText::Open(const std::string& path, std::string& detail)
{
    m->path = path;
    // A regular file only, as every input: a fifo would block the read, a device never end.
    int fd = -1;
    std::int64_t length = 0;
    const std::error_code err = OpenInputFile(path, &fd, &length);
    if (!err && ::fcntl(fd, F_SETFL, 0) == 0)
        m->file = ::fdopen(fd, "rb");
    if (m->file == nullptr) {
        if (fd >= 0)
            CloseInputFile(fd);
        detail = CommandLineErrorText(err ? err : SystemError(errno));
        return Opened::Unreadable;
    }
    try {
        m->Load();
        if (m->pdf->isEncrypted())
            return Opened::Encrypted;
        QPDFObjectHandle pages = m->pdf->getRoot().getKey("/Pages");
        if (!pages.isIndirect() || !pages.isDictionary()) {
            detail = "ページ木がありません (no page tree)";
            return Opened::Damaged;
        }
        m->walk.push_back({pages.getObjGen(), 0});
    } catch (const QPDFExc& e) {
        detail = e.getMessageDetail();
        return e.getErrorCode() == qpdf_e_password ? Opened::Encrypted : Opened::Damaged;
    } catch (const std::exception& e) {
        detail = e.what();
        return Opened::Damaged;
    }
    return Opened::Ok;
}

std::string CPdfDocumentText::Info(const std::string& key) const
{
    try {
        QPDFObjectHandle info = m->pdf->getTrailer().getKey("/Info");
        return info.isDictionary() ? Utf8Of(info.getKey(key)) : std::string();
    } catch (const std::exception&) {
        return {};  // a damaged entry says nothing
    }
}

std::string CPdfDocumentText::Metadata() const
{
    try {
        QPDFObjectHandle metadata = m->pdf->getRoot().getKey("/Metadata");
        if (!metadata.isStream())
            return {};
        const std::shared_ptr<Buffer> data = metadata.getStreamData(qpdf_dl_generalized);
        return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    } catch (const std::exception&) {
        return {};
    }
}

std::int64_t CPdfDocumentText::PageCount() const
{
    try {
        QPDFObjectHandle count = m->pdf->getRoot().getKey("/Pages").getKey("/Count");
        return count.isInteger() ? count.getIntValue() : 0;
    } catch (const std::exception&) {
        return 0;
    }
}

bool CPdfDocumentText::NextPage(std::vector<std::string>& lines, std::string& why)
{
    // A fresh QPDF now and then lets go of every object the pages before needed.
    constexpr std::int64_t kPagesPerLoad = 4096;
    // Fonts are kept for the pages after, but not without end: a file of a font a page
    // would otherwise grow with its pages.
    constexpr std::size_t kFontsKept = 256;
    if (m->fonts.size() > kFontsKept)
        m->fonts.clear();
    lines.clear();
    why.clear();
    m->pieces.clear();
    m->directFonts.clear();
    m->problem.clear();
    try {
        if (m->pagesSinceOpen == kPagesPerLoad)
            m->Load();
        QPDFObjectHandle page;
        if (!m->NextPageObject(page, why))
            return false;
        std::vector<QPDFObjGen> contents = State::ContentsOf(page);
        if (std::any_of(contents.begin(), contents.end(),
                        [this](QPDFObjGen og) { return m->released.count(og) != 0; })) {
            m->Load();
            page = m->pdf->getObjectByObjGen(page.getObjGen());
        }
        ++m->pagesSinceOpen;
        QPDFPageObjectHelper helper(page);
        Pl_Buffer buffer("page");
        helper.pipeContents(&buffer);
        m->Run(buffer.getBufferSharedPointer(), helper.getAttribute("/Resources", false), GraphicsState{}, 0);
        // What only this page needs is let go at once; a page met again is then a
        // damaged tree, a content stream met again is read in a fresh QPDF.
        m->pdf->replaceObject(page.getObjGen(), QPDFObjectHandle::newNull());
        for (const QPDFObjGen og : contents) {
            m->pdf->replaceObject(og, QPDFObjectHandle::newNull());
            m->released.insert(og);
        }
    } catch (const std::exception& e) {
        why = std::string("ページを読めません (a page cannot be read): ") + e.what();
        return false;
    }
    if (!m->problem.empty()) {
        why = m->problem;
        return false;
    }
    m->Lines(lines);
    return true;
}
