#include "pdf/pdf_engine.h"

#include "pdf/pdf_archive.h"
#include "pdf/pdf_font.h"
#include "pdf/pdf_number.h"

#include <QDateTime>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPathStroker>
#include <QPixmap>

#include <algorithm>
#include <cmath>

namespace {

constexpr const char* kProducer = "Vantrel " VANTREL_VERSION;

constexpr QPaintEngine::PaintEngineFeatures kFeatures =
    QPaintEngine::PrimitiveTransform | QPaintEngine::PixmapTransform | QPaintEngine::PainterPaths |
    QPaintEngine::Antialiasing | QPaintEngine::PaintOutsidePaintEvent;

// PDF/A-1 allows strings of at most 65,535 bytes (readers count a hexadecimal string's
// digits): a title or subject of many files is cut after the last whole part that fits,
// and says how much is left out. The XMP fields name every file.
QString Bounded(const QString& text, const QString& separator)
{
    constexpr qsizetype kMaxUnits = 16000;
    if (text.size() <= kMaxUnits)
        return text;
    const qsizetype cut = text.lastIndexOf(separator, kMaxUnits - 64);
    const QString kept = text.left(cut < 0 ? 0 : cut);
    const qsizetype more = text.mid(kept.size()).count(separator) + (cut < 0 ? 1 : 0);
    return kept + separator + QString("... %1 more").arg(more);
}

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

void CPdfEngine::SetRecord(const QString& title, std::vector<DumpRecord> files)
{
    m_strTitle = title;
    m_records = std::move(files);
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
    m_writer.Start(&m_file);
    m_pages.clear();
    m_fonts.clear();
    m_fontByFace.clear();
    m_seenFaces.clear();
    m_lastFace = QRawFont();
    m_nLastFont = -1;
    m_nEncoding = 0;
    m_leaves.clear();
    m_bWarnedGlyphRun = false;
    m_pen = QPen();
    m_brush = QBrush();
    m_matrix = QTransform();
    m_bClip = false;
    m_clips.clear();

    m_nCatalog = m_writer.NewObject();
    m_nPageTree = m_writer.NewObject();
    // Stroke adjustment, as Qt's engine asks for it.
    m_nGraphicsState = m_writer.NewObject();
    m_writer.WriteObject(m_nGraphicsState, "<< /Type /ExtGState /SA true >>");
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
        m_writer.SetFailed();
    m_file.close();
    if (m_file.error() != QFileDevice::NoError)
        m_writer.SetFailed();
    m_state = QPrinter::Idle;
    m_fonts.clear();
    m_fontByFace.clear();
    m_seenFaces.clear();
    m_lastFace = QRawFont();
    m_nLastFont = -1;
    return !m_writer.Failed();
}

bool CPdfEngine::newPage()
{
    if (m_state != QPrinter::Active)
        return false;
    FinishPage();
    StartPage();
    return !m_writer.Failed();
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
    m_bLineOrigin = false;
    // Device pixels with the origin at the top left, as Qt's engine sets them up.
    const double scale = 72.0 / m_nResolution;
    QTransform page(scale, 0, 0, -scale, 0, m_layout.fullRectPoints().height());
    if (m_layout.mode() != QPageLayout::FullPageMode) {
        const QRect paint = m_layout.paintRectPixels(m_nResolution);
        page.translate(paint.left(), paint.top());
    }
    AppendPdfMatrix(m_content, page);
    m_content += "cm\n/GSa gs\n";
}

void CPdfEngine::FinishPage()
{
    EndText();
    const int contents = m_writer.NewObject();
    m_writer.WriteStream(contents, std::string(), m_content);
    const int page = m_writer.NewObject();
    // The root holds the first pages, then nodes of as many each: no array of the file
    // grows past what PDF/A allows (8,191 elements).
    if (m_pages.size() >= kNodePages && m_pages.size() % kNodePages == 0)
        m_leaves.push_back(m_writer.NewObject());
    const int parent = m_leaves.empty() ? m_nPageTree : m_leaves.back();
    const QRect media = m_layout.fullRectPoints();
    std::string dict = "<< /Type /Page /Parent " + PdfRef(parent) + " /MediaBox [0 0 " + std::to_string(media.width()) +
                       " " + std::to_string(media.height()) + "] /Resources << /Font <<";
    for (int font : m_pageFonts)
        dict +=
            " /F" + std::to_string(font) + " " + PdfRef(m_fonts[static_cast<std::size_t>(font / 2)].object[font % 2]);
    dict += " >> /ExtGState << /GSa " + PdfRef(m_nGraphicsState);
    dict += " >> /XObject <<";
    for (int image : m_pageImages)
        dict += " /Im" + std::to_string(image) + " " + PdfRef(image);
    dict += " >> >> /Contents " + PdfRef(contents) + " >>\nendobj\n";
    m_writer.BeginObject(page);
    m_writer.Write(dict);
    m_pages.push_back(page);
}

void CPdfEngine::WriteFonts()
{
    const std::string identity = " /CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >>";
    if (m_nEncoding != 0)
        m_writer.WriteStream(m_nEncoding,
                             std::string(" /Type /CMap /CMapName /") + CPdfFont::kNarrowEncodingName + identity,
                             CPdfFont::NarrowEncodingMap());
    for (const FontEntry& entry : m_fonts) {
        for (const bool wide : {false, true}) {
            if (entry.object[wide ? 1 : 0] == 0)
                continue;
            const CPdfFont& font = *entry.font;
            const std::string base = font.BaseFontName(wide);
            const std::string program = font.FontProgram(wide);
            const int file = m_writer.NewObject();
            m_writer.WriteStream(file, " /Length1 " + std::to_string(program.size()), program);
            const int cidSet = m_writer.NewObject();
            m_writer.WriteStream(cidSet, std::string(), font.CidSet(wide));
            const int descriptor = m_writer.NewObject();
            m_writer.BeginObject(descriptor);
            m_writer.Write("<< /Type /FontDescriptor /FontName /" + base + " " + font.DescriptorEntries() +
                           " /FontFile2 " + PdfRef(file) + " /CIDSet " + PdfRef(cidSet) + " >>\nendobj\n");
            const int cidFont = m_writer.NewObject();
            m_writer.BeginObject(cidFont);
            // Once a font: one expression reads as the object it writes.
            // NOLINTNEXTLINE(performance-inefficient-string-concatenation)
            m_writer.Write("<< /Type /Font /Subtype /CIDFontType2 /BaseFont /" + base + identity + " /FontDescriptor " +
                           PdfRef(descriptor) + " /CIDToGIDMap /Identity " + font.WidthArray(wide) + " >>\nendobj\n");
            const int toUnicode = m_writer.NewObject();
            m_writer.WriteStream(toUnicode, std::string(), font.ToUnicodeMap(wide));
            m_writer.BeginObject(entry.object[wide ? 1 : 0]);
            m_writer.Write("<< /Type /Font /Subtype /Type0 /BaseFont /" + base + " /Encoding " +
                           (wide ? std::string("/Identity-H") : PdfRef(m_nEncoding)) + " /DescendantFonts [" +
                           PdfRef(cidFont) + "] /ToUnicode " + PdfRef(toUnicode) + " >>\nendobj\n");
        }
    }
}

int CPdfEngine::WritePageTree()
{
    const auto kids = [this](std::size_t from, std::size_t to, const std::vector<int>& more) {
        std::string list = " /Kids [";
        for (std::size_t i = from; i < to; ++i) {
            list += PdfRef(m_pages[i]) + " ";
            if (list.size() > 60000) {
                m_writer.Write(list);
                list.clear();
            }
        }
        for (const int node : more)
            list += PdfRef(node) + " ";
        m_writer.Write(list + "] >>\nendobj\n");
    };
    for (std::size_t n = 0; n < m_leaves.size(); ++n) {
        const std::size_t from = (n + 1) * kNodePages;
        const std::size_t to = std::min(m_pages.size(), from + kNodePages);
        m_writer.BeginObject(m_leaves[n]);
        m_writer.Write("<< /Type /Pages /Parent " + PdfRef(m_nPageTree) + " /Count " + std::to_string(to - from));
        kids(from, to, {});
    }
    m_writer.BeginObject(m_nPageTree);
    m_writer.Write("<< /Type /Pages /Count " + std::to_string(m_pages.size()));
    kids(0, std::min(m_pages.size(), kNodePages), m_leaves);
    return m_nPageTree;
}

void CPdfEngine::WriteTail()
{
    WritePageTree();
    const QDateTime now = QDateTime::currentDateTime();
    const int offset = now.offsetFromUtc() / 60;
    char date[48];
    std::snprintf(date, sizeof date, "D:%04d%02d%02d%02d%02d%02d", now.date().year(), now.date().month(),
                  now.date().day(), now.time().hour(), now.time().minute(), now.time().second());
    std::string created = date;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                  std::abs(offset) % 60);
    if (offset == 0) {
        created += 'Z';
    } else {
        std::snprintf(date, sizeof date, "%c%02d'%02d'", offset < 0 ? '-' : '+', std::abs(offset) / 60,
                      std::abs(offset) % 60);
        created += date;
    }
    std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d", now.date().year(), now.date().month(),
                  now.date().day(), now.time().hour(), now.time().minute(), now.time().second());
    const std::string isoCreated = std::string(date) + zone;
    const QString title = Bounded(m_strTitle.isEmpty() ? m_settings.docName() : m_strTitle, " / ");
    std::string subject;
    for (const DumpRecord& file : m_records)
        subject += (subject.empty() ? "" : "\n") + DumpSubject(file);
    subject = Bounded(QString::fromStdString(subject), "\n").toStdString();
    std::string dict = "<< /Title " + PdfTextString(title);
    if (!subject.empty())
        dict += " /Subject " + PdfTextString(QString::fromStdString(subject));
    dict += " /Creator " + PdfTextString(m_settings.creator()) + " /Producer (" + kProducer + ") /CreationDate (" +
            created + ") >>";
    const int info = m_writer.NewObject();
    m_writer.WriteObject(info, dict);
    PdfDocumentFacts facts{title.toStdString(), subject,    m_settings.creator().toStdString(),
                           kProducer,           isoCreated, m_records};
    const int metadata = m_writer.NewObject();
    m_writer.WriteStream(metadata, " /Type /Metadata /Subtype /XML", PdfXmpPacket(facts), false);
    const int profile = m_writer.NewObject();
    m_writer.WriteStream(profile, " /N 3", SrgbIccProfile());
    std::string catalog = "<< /Type /Catalog /Pages " + PdfRef(m_nPageTree) + " /Metadata " + PdfRef(metadata) +
                          " /OutputIntents [<< /Type /OutputIntent /S /GTS_PDFA1 /OutputConditionIdentifier "
                          "(sRGB IEC61966-2.1) /Info (sRGB IEC61966-2.1) /RegistryName (http://www.color.org) "
                          "/DestOutputProfile " +
                          PdfRef(profile) + " >>]";
    catalog += WritePageLabels() + WriteOutline();
    m_writer.WriteObject(m_nCatalog, catalog + " >>");
    m_writer.Finish(m_nCatalog, info, dict + std::to_string(m_pages.size()));
    m_parts.clear();
}

std::string CPdfEngine::WritePageLabels()
{
    // Each file's pages by their own numbers: a range from its first page, several
    // files each from its page 1. Pages before the first part keep their place.
    if (m_parts.empty() || (m_parts.size() == 1 && m_parts[0].page == 0 && m_parts[0].firstLabel == 1))
        return {};
    std::vector<std::string> entries;
    for (const Part& part : m_parts)
        entries.push_back(std::to_string(part.page) + " << /S /D /St " + std::to_string(part.firstLabel) + " >>");
    // A number tree of leaves of at most 4,000 entries each: no array past PDF/A's limit
    // (pypdf 3.4 reads one leaf only).
    constexpr std::size_t kLeaf = 4000;
    if (entries.size() <= kLeaf) {
        std::string nums = " /PageLabels << /Nums [";
        for (const std::string& e : entries)
            nums += e + " ";
        return nums + "] >>";
    }
    std::string kids = " /PageLabels << /Kids [";
    for (std::size_t from = 0; from < entries.size(); from += kLeaf) {
        const std::size_t to = std::min(entries.size(), from + kLeaf);
        std::string leaf = "<< /Limits [" + std::to_string(m_parts[from].page) + " " +
                           std::to_string(m_parts[to - 1].page) + "] /Nums [";
        for (std::size_t i = from; i < to; ++i)
            leaf += entries[i] + " ";
        const int object = m_writer.NewObject();
        m_writer.WriteObject(object, leaf + "] >>");
        kids += PdfRef(object) + " ";
    }
    return kids + "] >>";
}

std::string CPdfEngine::WriteOutline()
{
    // An entry for each file of a document of several, at its first page.
    if (m_parts.size() < 2)
        return {};
    const int root = m_writer.NewObject();
    std::vector<int> items;
    for (std::size_t i = 0; i < m_parts.size(); ++i)
        items.push_back(m_writer.NewObject());
    for (std::size_t i = 0; i < items.size(); ++i) {
        const QString title = i < m_records.size() ? QString::fromStdString(m_records[i].path)
                                                   : QString::number(static_cast<qlonglong>(i + 1));
        const auto page = static_cast<std::size_t>(
            std::min<std::int64_t>(m_parts[i].page, static_cast<std::int64_t>(m_pages.size()) - 1));
        std::string item = "<< /Title " + PdfTextString(title) + " /Parent " + PdfRef(root);
        if (i > 0)
            item += " /Prev " + PdfRef(items[i - 1]);
        if (i + 1 < items.size())
            item += " /Next " + PdfRef(items[i + 1]);
        m_writer.WriteObject(items[i], item + " /Dest [" + PdfRef(m_pages[page]) + " /Fit] >>");
    }
    m_writer.WriteObject(root, "<< /Type /Outlines /First " + PdfRef(items.front()) + " /Last " + PdfRef(items.back()) +
                                   " /Count " + std::to_string(items.size()) + " >>");
    return " /Outlines " + PdfRef(root);
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
        // One without tables (not TrueType, or the boxes Qt draws for characters no font
        // has, whose family it does not know) is a face of its own at each size.
        QByteArray key = font.fontTable("head");
        key += key.isEmpty() ? "#" + QByteArray::number(m_seenFaces.size()) : font.fontTable("name");
        key += QByteArray::number(font.weight()) + QByteArray::number(font.style());
        auto it = m_fontByFace.find(key);
        if (it == m_fontByFace.end()) {
            FontEntry entry;
            entry.font = std::make_unique<CPdfFont>(font);
            entry.asciiGlyph.fill(0xFFFFFFFF);  // none checked yet
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
        object = m_writer.NewObject();
        if (!wide && m_nEncoding == 0)
            m_nEncoding = m_writer.NewObject();
    }
    if (std::find(m_pageFonts.begin(), m_pageFonts.end(), resource) == m_pageFonts.end())
        m_pageFonts.push_back(resource);
    return resource;
}

void CPdfEngine::SetFill(const QColor& color)
{
    // Laid on white paper: PDF/A-1 has no transparency.
    QColor shown = color;
    if (color.alpha() != 255) {
        const double a = color.alphaF();
        shown = QColor::fromRgbF(static_cast<float>(color.redF() * a + 1 - a),
                                 static_cast<float>(color.greenF() * a + 1 - a),
                                 static_cast<float>(color.blueF() * a + 1 - a));
    }
    if (shown.rgb() == m_fill.rgb())
        return;
    AppendPdfNumber(m_content, shown.redF(), 4);
    m_content.push_back(' ');
    AppendPdfNumber(m_content, shown.greenF(), 4);
    m_content.push_back(' ');
    AppendPdfNumber(m_content, shown.blueF(), 4);
    m_content += " rg\n";
    m_fill = shown;
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
    const int object = m_writer.NewObject();
    m_writer.WriteStream(object,
                         " /Type /XObject /Subtype /Image /Width " + std::to_string(rgb.width()) + " /Height " +
                             std::to_string(rgb.height()) + " /ColorSpace /DeviceRGB /BitsPerComponent 8",
                         data);
    m_pageImages.push_back(object);
    EndText();
    BeginClip();
    m_content += "q\n";
    AppendPdfMatrix(m_content, QTransform(r.width(), 0, 0, -r.height(), r.x(), r.y() + r.height()) * m_matrix);
    m_content += "cm\n/Im" + std::to_string(object) + " Do\nQ\n";
    EndClip();
}
