#include "framework/pdf_engine.h"

#include "framework/pdf_font.h"
#include "framework/pdf_number.h"
#include "textfile/sha256.h"

#include <QDateTime>
#include <QFile>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPixmap>
#include <QTextLayout>

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// zlib's own default: a page of dump text shrinks to about 5 KiB in a few tenths of a
// millisecond; the fastest level saves little time and writes a few percent more.
constexpr int kCompression = 6;

void AppendMatrix(std::string& out, const QTransform& m)
{
    for (double v : {m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy()}) {
        AppendPdfNumber(out, v, 9);
        out.push_back(' ');
    }
}

// A PDF text string: UTF-16 with its byte order mark, in hexadecimal.
std::string TextString(const QString& text)
{
    std::string out = "<FEFF";
    char buf[8];
    for (QChar c : text) {
        std::snprintf(buf, sizeof buf, "%04X", c.unicode());
        out += buf;
    }
    return out + ">";
}

std::string Ref(int object)
{
    return std::to_string(object) + " 0 R";
}

// How far a glyph may stand from where the widths put it before the string moves it:
// a hundredth of a printer pixel, far below what shows, so that rounded advances of
// proportional faces do not put a shift between every two glyphs.
constexpr double kDrift = 0.01;

constexpr QPaintEngine::PaintEngineFeatures kFeatures =
    QPaintEngine::PrimitiveTransform | QPaintEngine::PixmapTransform | QPaintEngine::PainterPaths |
    QPaintEngine::Antialiasing | QPaintEngine::PaintOutsidePaintEvent;

}  // namespace

CPdfEngine::CPdfEngine() : QPaintEngine(kFeatures), m_settings(QPrinter::HighResolution)
{
    m_settings.setOutputFormat(QPrinter::PdfFormat);
}

CPdfEngine::~CPdfEngine() = default;

CPdfEngine* CPdfEngine::Of(QPainter* painter)
{
    QPaintEngine* engine = painter != nullptr ? painter->paintEngine() : nullptr;
    return engine != nullptr && engine->type() == kType ? dynamic_cast<CPdfEngine*>(engine) : nullptr;
}

void CPdfEngine::setProperty(PrintEnginePropertyKey key, const QVariant& value)
{
    m_settings.printEngine()->setProperty(key, value);
}

QVariant CPdfEngine::property(PrintEnginePropertyKey key) const
{
    return m_settings.printEngine()->property(key);
}

int CPdfEngine::metric(QPaintDevice::PaintDeviceMetric id) const
{
    return m_settings.printEngine()->metric(id);
}

int CPdfEngine::NewObject()
{
    m_xref.push_back(0);
    return static_cast<int>(m_xref.size() - 1);
}

void CPdfEngine::Write(std::string_view data)
{
    if (!m_file.isOpen() || m_bFailed)
        return;
    if (m_file.write(data.data(), static_cast<qint64>(data.size())) != static_cast<qint64>(data.size()))
        m_bFailed = true;
    m_nOffset += data.size();
}

void CPdfEngine::BeginObject(int object)
{
    m_xref[static_cast<std::size_t>(object)] = m_nOffset;
    Write(std::to_string(object) + " 0 obj\n");
}

void CPdfEngine::WriteStream(int object, const std::string& dictionary, std::string_view data)
{
    const QByteArray packed =
        qCompress(reinterpret_cast<const uchar*>(data.data()), static_cast<qsizetype>(data.size()), kCompression);
    // qCompress puts the length in four bytes before the zlib stream.
    const std::string_view stream(packed.constData() + 4, static_cast<std::size_t>(std::max<qsizetype>(0, packed.size() - 4)));
    BeginObject(object);
    Write("<< /Length " + std::to_string(stream.size()) + " /Filter /FlateDecode" + dictionary + " >>\nstream\n");
    Write(stream);
    Write("\nendstream\nendobj\n");
}

bool CPdfEngine::begin(QPaintDevice*)
{
    if (m_state == QPrinter::Active)
        return false;
    if (m_nOutputFd >= 0) {
        if (!m_file.open(m_nOutputFd, QIODevice::WriteOnly, QFileDevice::DontCloseHandle))
            return false;
    } else {
        const QString path = m_settings.outputFileName();
        if (path.isEmpty())
            return false;
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return false;
    }
    m_layout = m_settings.pageLayout();
    m_nResolution = m_settings.resolution();
    m_bFailed = false;
    m_nOffset = 0;
    m_xref.assign(1, 0);
    m_pages.clear();
    m_fonts.clear();
    m_fontByFace.clear();
    m_seenFaces.clear();
    m_lastFace = QRawFont();
    m_nLastFont = -1;
    m_nEncoding = 0;
    m_alphaStates.clear();
    m_bWarnedGlyphRun = false;
    m_pen = QPen();
    m_brush = QBrush();
    m_matrix = QTransform();
    m_bClip = false;
    m_clips.clear();

    Write("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
    m_nCatalog = NewObject();
    m_nPageTree = NewObject();
    // Stroke adjustment, as Qt's engine asks for it.
    m_nGraphicsState = NewObject();
    BeginObject(m_nGraphicsState);
    Write("<< /Type /ExtGState /SA true >>\nendobj\n");
    m_state = QPrinter::Active;
    StartPage();
    return true;
}

bool CPdfEngine::end()
{
    if (m_state != QPrinter::Active)
        return false;
    FinishPage();
    WriteFonts();
    WriteTail();
    if (!m_file.flush())
        m_bFailed = true;
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        m_bFailed = true;
    m_state = QPrinter::Idle;
    m_fonts.clear();
    m_fontByFace.clear();
    m_seenFaces.clear();
    m_lastFace = QRawFont();
    m_nLastFont = -1;
    return !m_bFailed;
}

bool CPdfEngine::newPage()
{
    if (m_state != QPrinter::Active)
        return false;
    FinishPage();
    StartPage();
    return !m_bFailed;
}

bool CPdfEngine::abort()
{
    m_file.close();
    m_state = QPrinter::Aborted;
    return true;
}

void CPdfEngine::StartPage()
{
    m_content.clear();
    m_pageFonts.clear();
    m_pageImages.clear();
    m_pageAlphas.clear();
    m_fill = Qt::black;
    m_tc = 0;
    m_bInText = false;
    // Device pixels with the origin at the top left, as Qt's engine sets them up.
    const double scale = 72.0 / m_nResolution;
    QTransform page(scale, 0, 0, -scale, 0, m_layout.fullRectPoints().height());
    if (m_layout.mode() != QPageLayout::FullPageMode) {
        const QRect paint = m_layout.paintRectPixels(m_nResolution);
        page.translate(paint.left(), paint.top());
    }
    AppendMatrix(m_content, page);
    m_content += "cm\n/GSa gs\n";
}

void CPdfEngine::FinishPage()
{
    EndText();
    const int contents = NewObject();
    WriteStream(contents, std::string(), m_content);
    const int page = NewObject();
    const QRect media = m_layout.fullRectPoints();
    std::string dict = "<< /Type /Page /Parent " + Ref(m_nPageTree) + " /MediaBox [0 0 " +
                       std::to_string(media.width()) + " " + std::to_string(media.height()) + "] /Resources << /Font <<";
    for (int font : m_pageFonts)
        dict += " /F" + std::to_string(font) + " " + Ref(m_fonts[static_cast<std::size_t>(font / 2)].object[font % 2]);
    dict += " >> /ExtGState << /GSa " + Ref(m_nGraphicsState);
    for (int alpha : m_pageAlphas)
        dict += " /A" + std::to_string(alpha) + " " + Ref(m_alphaStates[alpha]);
    dict += " >> /XObject <<";
    for (int image : m_pageImages)
        dict += " /Im" + std::to_string(image) + " " + Ref(image);
    dict += " >> >> /Contents " + Ref(contents) + " >>\nendobj\n";
    BeginObject(page);
    Write(dict);
    m_pages.push_back(page);
}

void CPdfEngine::WriteFonts()
{
    const std::string identity = " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>";
    if (m_nEncoding != 0)
        WriteStream(m_nEncoding, std::string(" /Type /CMap /CMapName /") + CPdfFont::kNarrowEncodingName + identity,
                    CPdfFont::NarrowEncodingMap());
    for (const FontEntry& entry : m_fonts) {
        for (const bool wide : {false, true}) {
            if (entry.object[wide ? 1 : 0] == 0)
                continue;
            const CPdfFont& font = *entry.font;
            const std::string base = font.BaseFontName(wide);
            const std::string program = font.FontProgram(wide);
            const int file = NewObject();
            WriteStream(file, " /Length1 " + std::to_string(program.size()), program);
            const int descriptor = NewObject();
            BeginObject(descriptor);
            Write("<< /Type /FontDescriptor /FontName /" + base + " " + font.DescriptorEntries() + " /FontFile2 " +
                  Ref(file) + " >>\nendobj\n");
            const int cidFont = NewObject();
            BeginObject(cidFont);
            Write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + base + identity + " /FontDescriptor " +
                  Ref(descriptor) + " /CIDToGIDMap /Identity " + font.WidthArray(wide) + " >>\nendobj\n");
            const int toUnicode = NewObject();
            WriteStream(toUnicode, std::string(), font.ToUnicodeMap(wide));
            BeginObject(entry.object[wide ? 1 : 0]);
            Write("<< /Type /Font /Subtype /Type0 /BaseFont /" + base + " /Encoding " +
                  (wide ? std::string("/Identity-H") : Ref(m_nEncoding)) + " /DescendantFonts [" + Ref(cidFont) +
                  "] /ToUnicode " + Ref(toUnicode) + " >>\nendobj\n");
        }
    }
}

void CPdfEngine::WriteTail()
{
    BeginObject(m_nPageTree);
    std::string kids = "<< /Type /Pages /Count " + std::to_string(m_pages.size()) + " /Kids [";
    for (int page : m_pages) {
        kids += Ref(page) + " ";
        if (kids.size() > 60000) {
            Write(kids);
            kids.clear();
        }
    }
    Write(kids + "] >>\nendobj\n");

    const int info = NewObject();
    BeginObject(info);
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    char date[48];
    std::snprintf(date, sizeof date, "D:%04d%02d%02d%02d%02d%02d", now.date().year(), now.date().month(),
                  now.date().day(), now.time().hour(), now.time().minute(), now.time().second());
    std::string created = date;
    if (offset == 0) {
        created += 'Z';
    } else {
        std::snprintf(date, sizeof date, "%c%02d'%02d'", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                      std::abs(offset) % 60);
        created += date;
    }
    std::string dict = "<< /Title " + TextString(m_strTitle.isEmpty() ? m_settings.docName() : m_strTitle);
    if (!m_strSubject.isEmpty())
        dict += " /Subject " + TextString(m_strSubject);
    dict += " /Creator " + TextString(m_settings.creator()) + " /Producer (Vantrel) /CreationDate (" + created + ")";
    Write(dict + " >>\nendobj\n");
    BeginObject(m_nCatalog);
    Write("<< /Type /Catalog /Pages " + Ref(m_nPageTree) + " >>\nendobj\n");

    const std::uint64_t xref = m_nOffset;
    Write("xref\n0 " + std::to_string(m_xref.size()) + "\n0000000000 65535 f \n");
    char entry[32];
    std::string table;
    for (std::size_t i = 1; i < m_xref.size(); ++i) {
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(m_xref[i]));
        table += entry;
        if (table.size() > 60000) {
            Write(table);
            table.clear();
        }
    }
    Write(table);
    // The file's identifier: from what it says and when, so two records differ.
    CSha256 sha;
    for (const std::string& part : {dict, created, std::to_string(m_nOffset), std::to_string(m_pages.size())})
        sha.Update(part.data(), part.size() + 1);
    const std::string id = "<" + CSha256::Hex(sha.Final()).substr(0, 32) + ">";
    Write("trailer\n<< /Size " + std::to_string(m_xref.size()) + " /Root " + Ref(m_nCatalog) + " /Info " + Ref(info) +
          " /ID [" + id + " " + id + "] >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
}

int CPdfEngine::FontIndex(const QRawFont& font)
{
    if (m_nLastFont >= 0 && font == m_lastFace)
        return m_nLastFont;
    int index = -1;
    for (const auto& [face, seen] : m_seenFaces)
        if (face == font)
            index = seen;
    if (index < 0) {
        // A face is known by its own tables: the family a font was asked for may be the
        // name of a substitute ("ＭＳ 明朝" for IPAMincho), and one face serves every size.
        QByteArray key = font.fontTable("head");
        key += key.isEmpty() ? font.familyName().toUtf8() : font.fontTable("name");
        key += QByteArray::number(font.weight()) + QByteArray::number(font.style());
        auto it = m_fontByFace.find(key);
        if (it == m_fontByFace.end()) {
            FontEntry entry;
            entry.font = std::make_unique<CPdfFont>(font);
            m_fonts.push_back(std::move(entry));
            it = m_fontByFace.emplace(key, static_cast<int>(m_fonts.size() - 1)).first;
        }
        index = it->second;
        m_seenFaces.emplace_back(font, index);
    }
    m_lastFace = font;
    m_nLastFont = index;
    return index;
}

int CPdfEngine::UseFont(int index, bool wide)
{
    const int resource = 2 * index + (wide ? 1 : 0);
    int& object = m_fonts[static_cast<std::size_t>(index)].object[wide ? 1 : 0];
    if (object == 0) {
        object = NewObject();
        if (!wide && m_nEncoding == 0)
            m_nEncoding = NewObject();
    }
    if (std::find(m_pageFonts.begin(), m_pageFonts.end(), resource) == m_pageFonts.end())
        m_pageFonts.push_back(resource);
    return resource;
}

void CPdfEngine::SetFill(const QColor& color)
{
    if (color.rgba64() == m_fill.rgba64())
        return;
    if (color.alpha() != m_fill.alpha()) {
        // Translucency is a graphics state of its own, as in Qt's engine.
        const int alpha = color.alpha();
        int& state = m_alphaStates[alpha];
        if (state == 0) {
            state = NewObject();
            BeginObject(state);
            std::string dict = "<< /Type /ExtGState /ca ";
            AppendPdfNumber(dict, alpha / 255.0, 4);
            dict += " /CA ";
            AppendPdfNumber(dict, alpha / 255.0, 4);
            Write(dict + " >>\nendobj\n");
        }
        if (std::find(m_pageAlphas.begin(), m_pageAlphas.end(), alpha) == m_pageAlphas.end())
            m_pageAlphas.push_back(alpha);
        m_content += "/A" + std::to_string(alpha) + " gs\n";
    }
    if (color.rgb() != m_fill.rgb()) {
        AppendPdfNumber(m_content, color.redF(), 4);
        m_content.push_back(' ');
        AppendPdfNumber(m_content, color.greenF(), 4);
        m_content.push_back(' ');
        AppendPdfNumber(m_content, color.blueF(), 4);
        m_content += " rg\n";
    }
    m_fill = color;
}

bool CPdfEngine::AllClipped() const
{
    return m_bClip && std::any_of(m_clips.begin(), m_clips.end(), [](const QPainterPath& c) { return c.isEmpty(); });
}

void CPdfEngine::BeginClip()
{
    if (!m_bClip)
        return;
    EndText();
    m_fillBeforeClip = m_fill;
    m_tcBeforeClip = m_tc;
    m_content += "q\n";
    for (const QPainterPath& clip : m_clips) {
        AppendPath(clip);
        m_content += clip.fillRule() == Qt::OddEvenFill ? "W* n\n" : "W n\n";
    }
}

void CPdfEngine::EndClip()
{
    if (!m_bClip)
        return;
    m_content += "Q\n";
    m_fill = m_fillBeforeClip;
    m_tc = m_tcBeforeClip;
}

void CPdfEngine::AppendPath(const QPainterPath& devicePath)
{
    for (int i = 0; i < devicePath.elementCount(); ++i) {
        const QPainterPath::Element& e = devicePath.elementAt(i);
        AppendPdfNumber(m_content, e.x);
        m_content.push_back(' ');
        AppendPdfNumber(m_content, e.y);
        switch (e.type) {
        case QPainterPath::MoveToElement:
            m_content += " m\n";
            break;
        case QPainterPath::LineToElement:
            m_content += " l\n";
            break;
        case QPainterPath::CurveToElement:
            for (int j = 1; j <= 2 && i + 1 < devicePath.elementCount(); ++j) {
                const QPainterPath::Element& c = devicePath.elementAt(++i);
                m_content.push_back(' ');
                AppendPdfNumber(m_content, c.x);
                m_content.push_back(' ');
                AppendPdfNumber(m_content, c.y);
            }
            m_content += " c\n";
            break;
        case QPainterPath::CurveToDataElement:
            m_content += " l\n";
            break;
        }
    }
}

void CPdfEngine::FillDevicePath(const QPainterPath& devicePath, const QColor& color, Qt::FillRule rule)
{
    if (devicePath.isEmpty())
        return;
    EndText();
    SetFill(color);
    AppendPath(devicePath);
    m_content += rule == Qt::OddEvenFill ? "f*\n" : "f\n";
}

void CPdfEngine::Paint(const QPainterPath& path, bool fill)
{
    if (m_state != QPrinter::Active || AllClipped())
        return;
    BeginClip();
    if (fill && m_brush.style() != Qt::NoBrush && m_brush.color().alpha() != 0)
        FillDevicePath(m_matrix.map(path), m_brush.color(), path.fillRule());
    if (m_pen.style() != Qt::NoPen && m_pen.color().alpha() != 0) {
        // Strokes become fills of their outline, as in Qt's engine; a cosmetic pen is
        // as wide on the device whatever the transformation.
        QPainterPathStroker stroker(m_pen);
        if (m_pen.isCosmetic()) {
            stroker.setWidth(std::max<qreal>(1, m_pen.widthF()));
            FillDevicePath(stroker.createStroke(m_matrix.map(path)), m_pen.color(), Qt::WindingFill);
        } else {
            FillDevicePath(m_matrix.map(stroker.createStroke(path)), m_pen.color(), Qt::WindingFill);
        }
    }
    EndClip();
}

void CPdfEngine::updateState(const QPaintEngineState& state)
{
    const QPaintEngine::DirtyFlags flags = state.state();
    if (flags & DirtyTransform)
        m_matrix = state.transform();
    if (flags & DirtyPen)
        m_pen = state.pen();
    if (flags & DirtyBrush)
        m_brush = state.brush();
    if (flags & (DirtyClipPath | DirtyClipRegion)) {
        QPainterPath clip;
        if (flags & DirtyClipPath) {
            clip = state.clipPath();
        } else {
            for (const QRect& rect : state.clipRegion())
                clip.addRect(rect);
        }
        switch (state.clipOperation()) {
        case Qt::NoClip:
            m_bClip = false;
            m_clips.clear();
            break;
        case Qt::ReplaceClip:
            m_bClip = true;
            m_clips.assign(1, m_matrix.map(clip));
            break;
        case Qt::IntersectClip:
            m_bClip = true;
            m_clips.push_back(m_matrix.map(clip));
            break;
        }
    } else if (flags & DirtyClipEnabled) {
        m_bClip = state.isClipEnabled() && !m_clips.empty();
    }
}

void CPdfEngine::drawPath(const QPainterPath& path)
{
    Paint(path, true);
}

void CPdfEngine::drawPolygon(const QPointF* points, int pointCount, PolygonDrawMode mode)
{
    if (pointCount <= 0)
        return;
    QPainterPath path(points[0]);
    for (int i = 1; i < pointCount; ++i)
        path.lineTo(points[i]);
    if (mode != PolylineMode) {
        path.closeSubpath();
        path.setFillRule(mode == OddEvenMode ? Qt::OddEvenFill : Qt::WindingFill);
    }
    Paint(path, mode != PolylineMode);
}

void CPdfEngine::drawRects(const QRectF* rects, int rectCount)
{
    // Filled boxes as rectangles, which readers fit to whole pixels as they do Qt's: a
    // box one printer pixel high stays a solid line, however small on the screen.
    if (m_state == QPrinter::Active && m_pen.style() == Qt::NoPen && m_matrix.type() <= QTransform::TxScale &&
        !AllClipped()) {
        if (m_brush.style() == Qt::NoBrush || m_brush.color().alpha() == 0)
            return;
        EndText();
        BeginClip();
        SetFill(m_brush.color());
        for (int i = 0; i < rectCount; ++i) {
            const QRectF r = m_matrix.mapRect(rects[i]);
            for (double v : {r.x(), r.y(), r.width(), r.height()}) {
                AppendPdfNumber(m_content, v);
                m_content.push_back(' ');
            }
            m_content += "re\n";
        }
        m_content += "f\n";
        EndClip();
        return;
    }
    QPainterPath path;
    for (int i = 0; i < rectCount; ++i)
        path.addRect(rects[i]);
    Paint(path, true);
}

void CPdfEngine::drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr)
{
    drawImage(r, pm.toImage(), sr, Qt::AutoColor);
}

void CPdfEngine::drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags)
{
    if (m_state != QPrinter::Active || image.isNull() || r.isEmpty())
        return;
    // On white paper, as the page shows it.
    const QImage part = image.copy(sr.toAlignedRect());
    QImage rgb(part.size(), QImage::Format_RGB888);
    rgb.fill(Qt::white);
    {
        QPainter p(&rgb);
        p.drawImage(0, 0, part);
    }
    std::string data;
    data.reserve(static_cast<std::size_t>(rgb.width()) * 3 * static_cast<std::size_t>(rgb.height()));
    for (int y = 0; y < rgb.height(); ++y)
        data.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), static_cast<std::size_t>(rgb.width()) * 3);
    const int object = NewObject();
    WriteStream(object,
                " /Type /XObject /Subtype /Image /Width " + std::to_string(rgb.width()) + " /Height " +
                    std::to_string(rgb.height()) + " /ColorSpace /DeviceRGB /BitsPerComponent 8",
                data);
    m_pageImages.push_back(object);
    EndText();
    BeginClip();
    m_content += "q\n";
    AppendMatrix(m_content, QTransform(r.width(), 0, 0, -r.height(), r.x(), r.y() + r.height()) * m_matrix);
    m_content += "cm\n/Im" + std::to_string(object) + " Do\nQ\n";
    EndClip();
}

void CPdfEngine::drawTextItem(const QPointF& p, const QTextItem& textItem)
{
    const QString text = textItem.text();
    if (!text.isEmpty()) {
        DrawText(p, text, textItem.font(), m_pen.color());
    } else if (!m_bWarnedGlyphRun) {
        // A glyph run carries no text to shape again and no glyphs this engine can reach.
        m_bWarnedGlyphRun = true;
        qWarning("Vantrel's PDF writer does not draw glyph runs without text (QPainter::drawGlyphRun)");
    }
}

void CPdfEngine::DrawText(const QPointF& origin, const QString& text, const QFont& font, const QColor& color)
{
    QTextLayout layout(text, font, paintDevice());
    // Left to right whatever the text begins with, as the painter lays it out.
    QTextOption option;
    option.setTextDirection(Qt::LeftToRight);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    const QList<QGlyphRun> runs = layout.glyphRuns();
    const std::vector<std::vector<char32_t>> chars = GlyphCharacters(text, line, runs);
    // The whole line in the order of its places, face after face as it needs them:
    // some readers take text in the order it is drawn, and a fresh start between two
    // faces for a gap between words.
    const std::vector<GlyphPlace> places = GlyphPlaces(runs);
    std::vector<QRawFont> faces;
    std::vector<GlyphSpan> spans;
    std::vector<quint32> glyphs;
    std::vector<QPointF> positions;
    std::vector<char32_t> shown;
    for (const QGlyphRun& run : runs)
        faces.push_back(run.rawFont());
    for (const GlyphPlace& place : places) {
        const QGlyphRun& run = runs[static_cast<qsizetype>(place.run)];
        const auto i = static_cast<qsizetype>(place.glyph);
        if (spans.empty() || spans.back().font != &faces[place.run])
            spans.push_back({&faces[place.run], glyphs.size(), glyphs.size()});
        ++spans.back().to;
        glyphs.push_back(run.glyphIndexes()[i]);
        positions.push_back(origin + QPointF(run.positions()[i].x(), run.positions()[i].y() - line.ascent()));
        shown.push_back(chars[place.run][place.glyph]);
    }
    DrawLine(spans, glyphs, positions, shown, color);
}

std::vector<CPdfEngine::GlyphPlace> CPdfEngine::GlyphPlaces(const QList<QGlyphRun>& runs)
{
    std::vector<GlyphPlace> places;
    for (std::size_t r = 0; r < static_cast<std::size_t>(runs.size()); ++r) {
        const QList<QPointF> positions = runs[static_cast<qsizetype>(r)].positions();
        for (std::size_t i = 0; i < static_cast<std::size_t>(positions.size()); ++i)
            places.push_back({positions[static_cast<qsizetype>(i)].x(), r, i});
    }
    std::stable_sort(places.begin(), places.end(), [](const GlyphPlace& a, const GlyphPlace& b) { return a.x < b.x; });
    return places;
}

std::vector<std::vector<char32_t>> CPdfEngine::GlyphCharacters(const QString& text, const QTextLine& line,
                                                               const QList<QGlyphRun>& runs)
{
    // The character each glyph shows, so that it reads back as itself: also a glyph the
    // faces lack (.notdef, for every such character) or one from a fallback face.
    std::vector<std::vector<char32_t>> chars;
    std::size_t glyphCount = 0;
    for (const QGlyphRun& run : runs) {
        chars.emplace_back(static_cast<std::size_t>(run.glyphIndexes().size()), 0);
        glyphCount += chars.back().size();
    }
    const QList<uint> codePoints = text.toUcs4();
    const bool leftToRight = std::none_of(codePoints.begin(), codePoints.end(), [](uint c) {
        const QChar::Direction d = QChar::direction(c);
        return d == QChar::DirR || d == QChar::DirAL || d == QChar::DirAN || d == QChar::DirRLE ||
               d == QChar::DirRLO || d == QChar::DirRLI;
    });
    if (leftToRight && glyphCount == static_cast<std::size_t>(codePoints.size())) {
        // A glyph a character, left to right: the glyphs by their places are the
        // characters in order, whichever face each came from.
        const std::vector<GlyphPlace> places = GlyphPlaces(runs);
        for (std::size_t k = 0; k < places.size(); ++k)
            chars[places[k].run][places[k].glyph] = codePoints[static_cast<qsizetype>(k)];
        return chars;
    }
    // Else character by character, through the glyphs the layout gives each; a glyph
    // that no character has to itself reads as the replacement character.
    int at = 0;
    for (const uint c : codePoints) {
        const int length = c > 0xFFFF ? 2 : 1;
        for (const QGlyphRun& part : line.glyphRuns(at, length)) {
            for (std::size_t r = 0; r < chars.size(); ++r) {
                const QGlyphRun& run = runs[static_cast<qsizetype>(r)];
                if (run.rawFont() != part.rawFont() || part.glyphIndexes().isEmpty())
                    continue;
                const QList<quint32> glyphs = run.glyphIndexes();
                const QList<QPointF> positions = run.positions();
                for (std::size_t i = 0; i < chars[r].size(); ++i) {
                    const auto q = static_cast<qsizetype>(i);
                    if (chars[r][i] == 0 && glyphs[q] == part.glyphIndexes()[0] &&
                        positions[q] == part.positions()[0]) {
                        chars[r][i] = c;
                        break;
                    }
                }
            }
        }
        at += length;
    }
    return chars;
}

void CPdfEngine::DrawOutlines(const QRawFont& font, std::span<const quint32> glyphs,
                              std::span<const QPointF> positions, const QColor& color)
{
    QPainterPath outlines;
    for (std::size_t i = 0; i < glyphs.size() && i < positions.size(); ++i)
        outlines.addPath(font.pathForGlyph(glyphs[i]).translated(positions[i]));
    QPen pen = m_pen;
    QBrush brush = m_brush;
    m_pen = Qt::NoPen;
    m_brush = color;
    Paint(outlines, true);
    m_pen = pen;
    m_brush = brush;
}

void CPdfEngine::DrawGlyphs(const QRawFont& font, std::span<const quint32> glyphs, std::span<const QPointF> positions,
                            std::span<const char32_t> chars, const QColor& color)
{
    const GlyphSpan span{&font, 0, glyphs.size()};
    DrawLine(std::span<const GlyphSpan>(&span, 1), glyphs, positions, chars, color);
}

void CPdfEngine::DrawLine(std::span<const GlyphSpan> spans, std::span<const quint32> glyphs,
                          std::span<const QPointF> positions, std::span<const char32_t> chars, const QColor& color)
{
    if (m_state != QPrinter::Active || glyphs.empty() || positions.size() < glyphs.size() || color.alpha() == 0)
        return;
    if (state != nullptr)
        syncState();
    // Each glyph's face (-1: drawn as outlines), its size and its advance as the width
    // arrays give it.
    m_lineFace.assign(glyphs.size(), -1);
    m_lineSize.resize(glyphs.size());
    m_lineAdvance.resize(glyphs.size());
    bool anyText = false;
    for (const GlyphSpan& span : spans) {
        const int index = FontIndex(*span.font);
        const CPdfFont& pdf = *m_fonts[static_cast<std::size_t>(index)].font;
        if (!pdf.IsEmbeddable()) {
            DrawOutlines(*span.font, glyphs.subspan(span.from, span.to - span.from),
                         positions.subspan(span.from, span.to - span.from), color);
            continue;
        }
        anyText = true;
        const double size = span.font->pixelSize();
        for (std::size_t k = span.from; k < span.to; ++k) {
            m_lineFace[k] = index;
            m_lineSize[k] = size;
            m_lineAdvance[k] = pdf.Width(glyphs[k]) * size / 1000.0;
        }
    }
    if (!anyText || AllClipped())
        return;
    BeginClip();
    if (!m_bInText) {
        m_content += "BT\n";
        m_bInText = true;
        m_nTextFont = -1;
    }
    SetFill(color);
    const std::size_t n = glyphs.size();
    for (std::size_t from = 0; from < n;) {
        if (m_lineFace[from] < 0) {
            ++from;
            continue;
        }
        // One row of strings for the glyphs on one baseline.
        std::size_t to = from + 1;
        while (to < n && positions[to].y() == positions[from].y())
            ++to;
        AppendMatrix(m_content, QTransform(1, 0, 0, -1, positions[from].x(), positions[from].y()) * m_matrix);
        m_content += "Tm\n";
        const double tc = CharacterSpacing(positions, from, to);
        if (tc != m_tc) {
            AppendPdfNumber(m_content, tc);
            m_content += " Tc\n";
            m_tc = tc;
        }
        ShowGlyphs(glyphs, positions, chars, from, to);
        from = to;
    }
    if (m_bClip)
        EndText();
    EndClip();
}

double CPdfEngine::CharacterSpacing(std::span<const QPointF> positions, std::size_t from, std::size_t to)
{
    // Glyphs a fixed distance apart beyond their widths (fixed-pitch text whose advances
    // were rounded to pixels) take that distance as character spacing.
    if (to - from == 1)
        return m_tc;
    const double first = positions[from + 1].x() - positions[from].x() - m_lineAdvance[from];
    for (std::size_t k = from; k + 1 < to; ++k) {
        if (m_lineFace[k] < 0 || m_lineFace[k + 1] < 0 ||
            std::abs(positions[k + 1].x() - positions[k].x() - m_lineAdvance[k] - first) >= 1e-4)
            return 0;
    }
    const double tc = std::round(first * 1e6) / 1e6;
    return std::abs(tc) < 1e-6 ? 0 : tc;
}

void CPdfEngine::ShowGlyphs(std::span<const quint32> glyphs, std::span<const QPointF> positions,
                            std::span<const char32_t> chars, std::size_t from, std::size_t to)
{
    // The strings of one font in a row; a glyph not where the widths put it is moved by
    // a shift in the string, and a glyph of another font starts a new row.
    std::string& run = m_codes;
    run.clear();
    bool shifted = false;  // the row needs TJ
    bool open = false;  // a string is open
    const auto flush = [&] {
        if (run.empty())
            return;
        if (open)
            run += ')';
        if (shifted) {
            m_content += '[';
            m_content += run;
            m_content += "] TJ\n";
        } else {
            m_content += run;
            m_content += " Tj\n";
        }
        run.clear();
        shifted = false;
        open = false;
    };
    const auto put = [&run](char c) {
        switch (c) {
        case '(':
        case ')':
        case '\\':
            run += '\\';
            break;
        case '\r':
            run += "\\r";
            return;
        default:
            break;
        }
        run += c;
    };
    double pen = positions[from].x();
    for (std::size_t k = from; k < to; ++k) {
        if (m_lineFace[k] < 0)
            continue;  // drawn as outlines: the next glyph's shift steps over it
        const int index = m_lineFace[k];
        CPdfFont::Code code;
        if (!m_fonts[static_cast<std::size_t>(index)].font->CodeFor(glyphs[k], k < chars.size() ? chars[k] : 0, &code))
            code = CPdfFont::Code{0, true};  // more glyphs of one face than codes: .notdef
        const int resource = 2 * index + (code.wide ? 1 : 0);
        const double size = m_lineSize[k];
        if (resource != m_nTextFont || size != m_textSize) {
            UseFont(index, code.wide);
            flush();
            m_content += "/F" + std::to_string(resource) + " ";
            AppendPdfNumber(m_content, size);
            m_content += " Tf\n";
            m_nTextFont = resource;
            m_textSize = size;
        }
        const double off = positions[k].x() - pen;
        if (k > from && std::abs(off) > kDrift) {
            const double shift = std::round(-off / size * 1000 * 1000) / 1000;
            if (open)
                run += ')';
            open = false;
            AppendPdfNumber(run, shift, 3);
            pen -= shift * size / 1000.0;
            shifted = true;
        }
        if (!open)
            run += '(';
        open = true;
        if (code.wide)
            put(static_cast<char>(code.value >> 8));
        put(static_cast<char>(code.value & 0xFF));
        pen += m_lineAdvance[k] + m_tc;
    }
    flush();
}

void CPdfEngine::EndText()
{
    if (m_bInText)
        m_content += "ET\n";
    m_bInText = false;
}
