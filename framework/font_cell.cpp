#include "framework/font_cell.h"

#include "framework/qt_text.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPaintDevice>
#include <QStringList>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>

bool CFont::CreateFontIndirect(const CLogFont& lf)
{
    static unsigned serial = 0;
    m_lf = lf;
    m_bCreated = true;
    m_nSerial = ++serial;
    return true;
}

void InstallFontSubstitutions()
{
    // The face a Windows of another language lists under its English name, then the IPA
    // face under its English name and under the Japanese one, which Wine lists alone.
    static const char* const kFaces[][4] = {
        {"ＭＳ 明朝", "MS Mincho", "IPAMincho", "IPA明朝"},
        {"ＭＳ Ｐ明朝", "MS PMincho", "IPAPMincho", "IPA P明朝"},
        {"ＭＳ Ｐゴシック", "MS PGothic", "IPAPGothic", "IPA Pゴシック"},
        {"ＭＳ ゴシック", "MS Gothic", "IPAGothic", "IPAゴシック"},
    };
    const QStringList families = QFontDatabase::families();
    for (const auto& face : kFaces) {
        const QString name = ToQt(face[0]);
        // A system that has the real face keeps it.
        if (families.contains(name, Qt::CaseInsensitive))
            continue;
        QFont::insertSubstitutions(name, {ToQt(face[1]), ToQt(face[2]), ToQt(face[3])});
    }
}

namespace {

QFont BaseFont(const CLogFont& lf)
{
    QFont font(ToQt(lf.lfFaceName));
    const int weight = lf.lfWeight <= 0 ? FW_NORMAL : std::clamp(lf.lfWeight, 100, 900);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(lf.lfItalic != 0);
    return font;
}

int DeviceDpiY(QPaintDevice* device)
{
    return device ? std::max(1, device->logicalDpiY()) : 96;
}

int CellHeightAt(QFont font, int pixelSize, QPaintDevice* device)
{
    font.setPixelSize(pixelSize);
    QFontMetrics fm(font, device);
    return fm.ascent() + fm.descent();
}

CFontCell MakeFontCell(const CLogFont& lf, QPaintDevice* device)
{
    CFontCell cell;
    cell.font = BaseFont(lf);
    int height = lf.lfHeight;
    if (height < 0) {
        cell.font.setPixelSize(-height);
        QFontMetrics fm(cell.font, device);
        cell.ascent = fm.ascent();
        cell.descent = fm.descent();
        return cell;
    }
    if (height == 0) {
        // The classic default: a cell of about 12 points on the device.
        height = std::max(1, 16 * DeviceDpiY(device) / 96);
    }
    // The em is a fixed share of the cell for a face: H x em / (ascent + descent).
    // Qt rounds font sizes to whole pixels, and whole pixels skip some cells
    // (IPAMincho: 16 at 15 px, 18 at 16 px), so take the size nearest that share
    // whose cell fits; the cell itself is always the height asked for, split into ascent and
    // descent in the face's proportions, so layouts built on it stay exact.
    constexpr int kRef = 100;
    QFont ref = cell.font;
    ref.setPixelSize(kRef);
    const QFontMetricsF refMetrics(ref, device);
    const qreal refCell = std::max<qreal>(1.0, refMetrics.ascent() + refMetrics.descent());
    int px = std::max(1, qRound(height * kRef / refCell));
    while (px > 1 && CellHeightAt(cell.font, px, device) > height)
        --px;
    while (CellHeightAt(cell.font, px, device) < height && CellHeightAt(cell.font, px + 1, device) <= height)
        ++px;
    cell.font.setPixelSize(px);
    QFontMetrics fm(cell.font, device);
    if (fm.ascent() + fm.descent() == height) {
        cell.ascent = fm.ascent();
    } else {
        cell.ascent = std::clamp(qRound(height * refMetrics.ascent() / refCell), 0, height);
    }
    cell.descent = height - cell.ascent;
    return cell;
}

using FontKey = std::tuple<std::string, int, int, int, int, int>;

}  // namespace

const CFontCell& FontCellForLogFont(const CLogFont& lf, QPaintDevice* device)
{
    // The list paint asks for the same handful of fonts on every row; building one
    // means several metric queries, so they are kept.
    static std::map<FontKey, CFontCell> cache;
    const int dpiX = device ? device->logicalDpiX() : 0;
    const int dpiY = device ? device->logicalDpiY() : 0;
    FontKey key{lf.lfFaceName, lf.lfHeight, lf.lfWeight <= 0 ? FW_NORMAL : lf.lfWeight, lf.lfItalic != 0, dpiX, dpiY};
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    // Never cleared: the program asks for a few faces at a few dozen heights, and the
    // cells handed out stay valid.
    return cache.emplace(std::move(key), MakeFontCell(lf, device)).first->second;
}

QFont FontForLogFont(const CLogFont& lf, QPaintDevice* device)
{
    return FontCellForLogFont(lf, device).font;
}
