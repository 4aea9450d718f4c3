#pragma once

#include "pdf/pdf_writer.h"
#include "printing/dump_writer.h"

#include <QColor>
#include <QFile>
#include <QGlyphRun>
#include <QTextLine>
#include <QPageLayout>
#include <QPaintEngine>
#include <QPainterPath>
#include <QPen>
#include <QPrintEngine>
#include <QPrinter>
#include <QRawFont>
#include <QTransform>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

class CPdfFont;

// Writes what is painted on a job's printer straight into a PDF file. Text goes out as
// strings of one-byte codes in embedded subset fonts, one font object per face for the
// whole document, and each page's content is compressed once. (Qt's own PDF engine writes
// a move of its own for every glyph and compresses that: drawing the pages took longer
// than anything else in a job.) Paths and rectangles are filled as Qt's engine fills
// them, images are kept without loss; gradients and patterns the painter hands over as
// images. Every number is written the same way whatever the locale. Text is laid out
// left to right. The file is PDF/A-1b: an archival record.
//
// What it does not draw as Qt's engine does (the dump pages need none of it): PDF/A-1
// has no transparency, so a translucent colour and an image's own transparency are laid
// on white paper (no soft mask, no blending with what is under them); a bold or oblique the face
// lacks is not made up (the face's own glyphs are drawn); glyph runs that carry no text
// (QPainter::drawGlyphRun) are not drawn, and a warning says so.
//
// The settings and the metrics are those of Qt's PDF printer, kept in a printer of their
// own, so a page has the same size and resolution as before.
class CPdfEngine : public QPaintEngine, public QPrintEngine {
public:
    static constexpr QPaintEngine::Type kType = QPaintEngine::User;

    CPdfEngine();
    ~CPdfEngine() override;
    CPdfEngine(const CPdfEngine&) = delete;
    CPdfEngine& operator=(const CPdfEngine&) = delete;

    // The engine painter paints with, or null when it paints on anything else.
    static CPdfEngine* Of(QPainter* painter);
    // Writes into this open file instead of the printer's output file name (a file
    // opened by its bytes, whatever its name); the handle stays open after end().
    void SetOutputHandle(int fd) { m_nOutputFd = fd; }
    // What the document is a record of: its title (the printer's document name when
    // empty) and the files it prints, in order; their lines make its subject, their facts
    // fields of their own in its XMP metadata. Read when the document ends, so they may be
    // set while it is drawn. The files' paths are UTF-8, as the document's text is.
    void SetRecord(const QString& title, std::vector<DumpRecord> files);
    // The pages from the next one drawn on are those of the next printed file, the first
    // showing page number firstLabel: page labels give a range its own numbers, and a
    // document of several files has an outline entry for each.
    void BeginPart(std::int64_t firstLabel)
    {
        m_parts.push_back({m_state == QPrinter::Active ? static_cast<std::int64_t>(m_pages.size()) : 0, firstLabel});
    }

    // The glyphs of font at their positions (baselines, in the painter's coordinates) in
    // color. texts holds the text each glyph shows, for text extraction: U+FFFD where
    // unknown, empty for a glyph whose characters others stand for.
    void DrawGlyphs(const QRawFont& font, std::span<const quint32> glyphs, std::span<const QPointF> positions,
                    std::span<const std::u32string> texts, const QColor& color);
    // A line of printable ASCII in a fixed-pitch face: glyphOf gives each character's
    // glyph, every one advance from the one before, from origin on the baseline. Goes out
    // as the line's own characters with a character spacing; false, with nothing drawn,
    // where the face cannot take it so (not embeddable, glyphs of more than one width).
    bool DrawAsciiLine(const QRawFont& font, const std::array<quint32, 128>& glyphOf, const QPointF& origin,
                       double advance, std::string_view text, const QColor& color);
    // text shaped in font from origin on its baseline, where QPainter::drawText puts it.
    void DrawText(const QPointF& origin, const QString& text, const QFont& font, const QColor& color);

    bool begin(QPaintDevice* device) override;
    bool end() override;
    void updateState(const QPaintEngineState& state) override;
    using QPaintEngine::drawPolygon;
    using QPaintEngine::drawRects;
    void drawPath(const QPainterPath& path) override;
    void drawPolygon(const QPointF* points, int pointCount, PolygonDrawMode mode) override;
    void drawRects(const QRectF* rects, int rectCount) override;
    void drawPixmap(const QRectF& r, const QPixmap& pm, const QRectF& sr) override;
    void drawImage(const QRectF& r, const QImage& image, const QRectF& sr, Qt::ImageConversionFlags flags) override;
    void drawTextItem(const QPointF& p, const QTextItem& textItem) override;
    Type type() const override { return kType; }

    void setProperty(PrintEnginePropertyKey key, const QVariant& value) override;
    QVariant property(PrintEnginePropertyKey key) const override;
    bool newPage() override;
    bool abort() override;
    int metric(QPaintDevice::PaintDeviceMetric id) const override;
    QPrinter::PrinterState printerState() const override { return m_state; }

private:
    struct FontEntry {
        std::unique_ptr<CPdfFont> font;
        int object[2] = {0, 0};  // the narrow and the wide font, once used
        std::array<quint32, 128> asciiGlyph{};  // checked as its character's code, by character
    };

    void StartPage();
    void FinishPage();
    void WriteFonts();
    void WriteTail();
    // The catalog's entries of an archival record: page labels, outline.
    int WritePageTree();
    std::string WritePageLabels();
    std::string WriteOutline();
    // Pages a node of the page tree holds.
    static constexpr std::size_t kNodePages = 4000;

    int FontIndex(const QRawFont& font);
    // The resource number of face index's narrow or wide font, put on the page.
    int UseFont(int index, bool wide);
    void SetFill(const QColor& color);
    bool AllClipped() const;
    void EndText();
    void BeginClip();
    // Clip, text object and fill colour for the text that follows.
    void BeginText(const QColor& color);
    void EndClip();
    void AppendPath(const QPainterPath& devicePath);
    void FillDevicePath(const QPainterPath& devicePath, const QColor& color, Qt::FillRule rule);
    void Paint(const QPainterPath& path, bool fill);
    // Where a glyph of a line stands: its run and index there, by its left edge.
    struct GlyphPlace {
        qreal x;
        std::size_t run, glyph;
    };
    static std::vector<GlyphPlace> GlyphPlaces(const QList<QGlyphRun>& runs);
    static bool IsRightToLeft(uint c);
    // The face of each of a line's runs: the runs of boxes Qt makes up for characters no
    // font has (boxes true) in the line's own face.
    std::vector<QRawFont> LineFaces(const QList<QGlyphRun>& runs, const QFont& font, std::vector<bool>* boxes);
    // The text each glyph of a line's runs shows, and whether it is drawn at all (a
    // character that shows nothing is not).
    struct GlyphText {
        std::u32string text;
        bool hidden = false;
        bool taken = false;
        std::size_t order = 0;  // of its cluster in the text
    };
    // simple is cleared where glyphs and characters do not pair off one to one.
    static std::vector<std::vector<GlyphText>> GlyphTexts(const QList<uint>& codePoints, bool rightToLeft,
                                                          const QTextLine& line, const QList<QGlyphRun>& runs,
                                                          bool* simple);
    // Glyphs of one face among those of a line: from..to.
    struct GlyphSpan {
        const QRawFont* font;
        std::size_t from, to;
    };
    // The advances that put each glyph with text where the next one begins.
    static void SetAdvances(std::span<const GlyphSpan> spans, std::span<quint32> glyphs,
                            std::span<const QPointF> positions, std::span<const std::u32string> texts);
    // The glyphs of a line, each span in its face: text in the embedded fonts, outlines
    // for faces that cannot be embedded and for glyphs without text of their own.
    void DrawLine(std::span<const GlyphSpan> spans, std::span<const quint32> glyphs, std::span<const QPointF> positions,
                  std::span<const std::u32string> texts, const QColor& color);
    // The spacing that puts fixed-pitch glyphs of one baseline where shaping put them.
    double CharacterSpacing(std::span<const QPointF> positions, std::size_t from, std::size_t to);
    // Glyphs from..to of one baseline in the open text object, from its text matrix.
    void ShowGlyphs(std::span<const quint32> glyphs, std::span<const QPointF> positions,
                    std::span<const std::u32string> texts, std::size_t from, std::size_t to);
    void DrawOutlines(const QRawFont& font, std::span<const quint32> glyphs, std::span<const QPointF> positions,
                      const QColor& color);

    QPrinter m_settings;  // Qt's PDF printer, for the settings and the metrics
    QPrinter::PrinterState m_state = QPrinter::Idle;
    QFile m_file;
    CPdfWriter m_writer;
    QString m_strTitle;
    std::vector<DumpRecord> m_records;
    struct Part {
        std::int64_t page;  // index of its first page
        std::int64_t firstLabel;
    };
    std::vector<Part> m_parts;
    std::vector<int> m_leaves;  // page tree nodes past the root's own pages
    int m_nOutputFd = -1;
    std::vector<int> m_pages;
    int m_nCatalog = 0;
    int m_nPageTree = 0;
    int m_nGraphicsState = 0;
    int m_nEncoding = 0;  // of the narrow fonts
    bool m_bWarnedGlyphRun = false;
    std::vector<FontEntry> m_fonts;
    std::map<QByteArray, int> m_fontByFace;
    std::vector<std::pair<QRawFont, int>> m_seenFaces;
    QRawFont m_lastFace;
    int m_nLastFont = -1;

    // The page being drawn.
    QPageLayout m_layout;
    int m_nResolution = 1200;
    std::string m_content;
    std::vector<int> m_pageFonts;  // resource numbers
    std::vector<int> m_pageImages;
    QColor m_fill;
    double m_tc = 0;
    bool m_bInText = false;  // a text object is open
    bool m_bLineOrigin = false;  // m_lineOrigin is where the open text object's line starts
    QPointF m_lineOrigin;
    QTransform m_lineMatrix;
    int m_nTextFont = -1;  // resource number, -1 before the first in a text object
    double m_textSize = 0;

    // The painter's state.
    QPen m_pen;
    QBrush m_brush;
    QTransform m_matrix;
    bool m_bClip = false;
    std::vector<QPainterPath> m_clips;  // in device pixels
    QColor m_fillBeforeClip;
    double m_tcBeforeClip = 0;

    // Scratch space of DrawLine.
    std::string m_codes;
    std::vector<int> m_lineFace;
    std::vector<double> m_lineSize;
    std::vector<double> m_lineAdvance;
    std::vector<quint32> m_outlineGlyphs;
    std::vector<QPointF> m_outlinePositions;
};
