#include "framework/pdf_engine.h"

#include "framework/pdf_font.h"

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

// Whole numbers as integers, others with no more than the given decimal places: the
// positions of shaped text are multiples of 1/64 pixel, which six places keep exact.
void AppendNumber(std::string& out, double v, int decimals = 6)
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

void AppendMatrix(std::string& out, const QTransform& m)
{
    for (double v : {m.m11(), m.m12(), m.m21(), m.m22(), m.dx(), m.dy()}) {
        AppendNumber(out, v, 9);
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
        dict += " /F" + std::to_string(font) + " " + Ref(m_fonts[static_cast<std::size_t>(font)].object);
    dict += " >> /ExtGState << /GSa " + Ref(m_nGraphicsState) + " >> /XObject <<";
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
        WriteStream(m_nEncoding, std::string(" /Type /CMap /CMapName /") + CPdfFont::kEncodingName + identity,
                    CPdfFont::EncodingMap());
    for (std::size_t i = 0; i < m_fonts.size(); ++i) {
        const FontEntry& entry = m_fonts[i];
        if (entry.object == 0)
            continue;
        const CPdfFont& font = *entry.font;
        const std::string base = font.BaseFontName(static_cast<int>(i));
        const std::string program = font.FontProgram();
        const int file = NewObject();
        WriteStream(file, " /Length1 " + std::to_string(program.size()), program);
        const int descriptor = NewObject();
        BeginObject(descriptor);
        Write("<< /Type /FontDescriptor /FontName /" + base + " " + font.DescriptorEntries() + " /FontFile2 " +
              Ref(file) + " >>\nendobj\n");
        const int cidFont = NewObject();
        BeginObject(cidFont);
        Write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + base + identity + " /FontDescriptor " +
              Ref(descriptor) + " /CIDToGIDMap /Identity " + font.WidthArray() + " >>\nendobj\n");
        const int toUnicode = NewObject();
        WriteStream(toUnicode, std::string(), font.ToUnicodeMap());
        BeginObject(entry.object);
        Write("<< /Type /Font /Subtype /Type0 /BaseFont /" + base + " /Encoding " + Ref(m_nEncoding) +
              " /DescendantFonts [" + Ref(cidFont) + "] /ToUnicode " + Ref(toUnicode) + " >>\nendobj\n");
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
    const QString zone = offset == 0 ? QStringLiteral("Z")
                                     : QString::asprintf("%c%02d'%02d'", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                                                         std::abs(offset) % 60);
    Write("<< /Title " + TextString(m_settings.docName()) + " /Creator " + TextString(m_settings.creator()) +
          " /Producer (Vantrel) /CreationDate (D:" + now.toString("yyyyMMddHHmmss").toStdString() +
          zone.toStdString() + ") >>\nendobj\n");
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
    Write("trailer\n<< /Size " + std::to_string(m_xref.size()) + " /Root " + Ref(m_nCatalog) + " /Info " + Ref(info) +
          " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n");
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
            if (entry.font->IsEmbeddable()) {
                entry.object = NewObject();
                if (m_nEncoding == 0)
                    m_nEncoding = NewObject();
            }
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

void CPdfEngine::SetFill(const QColor& color)
{
    if (color == m_fill)
        return;
    m_fill = color;
    AppendNumber(m_content, color.redF(), 4);
    m_content.push_back(' ');
    AppendNumber(m_content, color.greenF(), 4);
    m_content.push_back(' ');
    AppendNumber(m_content, color.blueF(), 4);
    m_content += " rg\n";
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
        AppendNumber(m_content, e.x);
        m_content.push_back(' ');
        AppendNumber(m_content, e.y);
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
                AppendNumber(m_content, c.x);
                m_content.push_back(' ');
                AppendNumber(m_content, c.y);
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
                AppendNumber(m_content, v);
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
    // Glyph runs carry no text to shape again; nothing here draws them.
    const QString text = textItem.text();
    if (!text.isEmpty())
        DrawText(p, text, textItem.font(), m_pen.color());
}

void CPdfEngine::DrawText(const QPointF& origin, const QString& text, const QFont& font, const QColor& color)
{
    QTextLayout layout(text, font, paintDevice());
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    if (!line.isValid())
        return;
    std::vector<QPointF> positions;
    const QList<uint> codePoints = text.toUcs4();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> shaped = run.positions();
        positions.resize(static_cast<std::size_t>(shaped.size()));
        for (qsizetype i = 0; i < shaped.size(); ++i)
            positions[static_cast<std::size_t>(i)] = origin + QPointF(shaped[i].x(), shaped[i].y() - line.ascent());
        // The character behind each glyph, where the face maps one straight to it.
        const QRawFont raw = run.rawFont();
        const CPdfFont& pdf = *m_fonts[static_cast<std::size_t>(FontIndex(raw))].font;
        m_chars.assign(static_cast<std::size_t>(glyphs.size()), 0);
        if (pdf.IsEmbeddable() &&
            std::any_of(glyphs.begin(), glyphs.end(), [&](quint32 g) { return !pdf.KnowsText(g); })) {
            for (uint cp : codePoints) {
                const char32_t c = cp;
                const QList<quint32> mapped = raw.glyphIndexesForString(QString::fromUcs4(&c, 1));
                for (qsizetype i = 0; i < glyphs.size() && !mapped.isEmpty(); ++i)
                    if (glyphs[i] == mapped[0] && m_chars[static_cast<std::size_t>(i)] == 0)
                        m_chars[static_cast<std::size_t>(i)] = c;
            }
        }
        DrawGlyphs(raw, std::span<const quint32>(glyphs.constData(), static_cast<std::size_t>(glyphs.size())),
                   positions, m_chars, color);
    }
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
    if (m_state != QPrinter::Active || glyphs.empty() || positions.size() < glyphs.size() || color.alpha() == 0)
        return;
    if (state != nullptr)
        syncState();
    const int index = FontIndex(font);
    CPdfFont& pdf = *m_fonts[static_cast<std::size_t>(index)].font;
    if (!pdf.IsEmbeddable()) {
        DrawOutlines(font, glyphs, positions, color);
        return;
    }
    if (AllClipped())
        return;
    if (std::find(m_pageFonts.begin(), m_pageFonts.end(), index) == m_pageFonts.end())
        m_pageFonts.push_back(index);
    BeginClip();
    const double size = font.pixelSize();
    const double unit = size / 1000.0;
    // Lines in one font follow each other in one text object.
    if (!m_bInText || m_nTextFont != index || m_textSize != size) {
        EndText();
        m_content += "BT\n/F" + std::to_string(index) + " ";
        AppendNumber(m_content, size);
        m_content += " Tf\n";
        m_bInText = true;
        m_nTextFont = index;
        m_textSize = size;
    }
    SetFill(color);
    const std::size_t n = glyphs.size();
    for (std::size_t from = 0; from < n;) {
        // One string for the glyphs on one baseline.
        std::size_t to = from + 1;
        while (to < n && positions[to].y() == positions[from].y())
            ++to;
        AppendMatrix(m_content, QTransform(1, 0, 0, -1, positions[from].x(), positions[from].y()) * m_matrix);
        m_content += "Tm\n";

        // Glyphs a fixed distance apart beyond their widths (fixed-pitch text whose
        // advances were rounded to pixels) take that distance as character spacing.
        m_gaps.clear();
        bool even = true;
        for (std::size_t k = from; k + 1 < to; ++k) {
            m_gaps.push_back(positions[k + 1].x() - positions[k].x() - pdf.Width(glyphs[k]) * unit);
            even = even && std::abs(m_gaps.back() - m_gaps.front()) < 1e-4;
        }
        double tc = m_gaps.empty() ? m_tc : even ? std::round(m_gaps.front() * 1e6) / 1e6 : 0.0;
        if (std::abs(tc) < 1e-6)
            tc = 0;
        if (tc != m_tc) {
            AppendNumber(m_content, tc);
            m_content += " Tc\n";
            m_tc = tc;
        }

        // Where a glyph is not where the widths put it, a shift in the string moves it.
        std::string& run = m_codes;
        run.assign(1, '(');
        bool shifted = false;
        double pen = positions[from].x();
        for (std::size_t k = from; k < to; ++k) {
            if (k > from) {
                const double off = positions[k].x() - pen;
                if (std::abs(off) > kDrift) {
                    const double shift = std::round(-off / unit * 1000) / 1000;
                    run += ")";
                    AppendNumber(run, shift, 3);
                    run += "(";
                    pen -= shift * unit;
                    shifted = true;
                }
            }
            const std::size_t at = run.size();
            if (!pdf.AppendCode(glyphs[k], k < chars.size() ? chars[k] : 0, run))
                pdf.AppendCode(0, 0, run);  // more than 32,768 glyphs of one face
            for (std::size_t b = at; b < run.size(); ++b) {
                const char c = run[b];
                if (c == '(' || c == ')' || c == '\\' || c == '\r') {
                    run.insert(b, 1, '\\');
                    ++b;
                    if (c == '\r')
                        run[b] = 'r';
                }
            }
            pen += pdf.Width(glyphs[k]) * unit + tc;
        }
        run += ')';
        if (shifted) {
            m_content += '[';
            m_content += run;
            m_content += "] TJ\n";
        } else {
            m_content += run;
            m_content += " Tj\n";
        }
        from = to;
    }
    if (m_bClip)
        EndText();
    EndClip();
}

void CPdfEngine::EndText()
{
    if (m_bInText)
        m_content += "ET\n";
    m_bInText = false;
}
