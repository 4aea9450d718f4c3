#pragma once

#include <QFont>

#include <string>

class QPaintDevice;

// Fonts as the classic device context describes them, matched to Qt's fonts whose cell
// has the height asked for.

enum { FW_NORMAL = 400, FW_BOLD = 700 };
enum { DEFAULT_CHARSET = 1 };

// The fields of a font description the program sets. A positive height is the cell
// height (ascent plus descent), a negative one the em height.
struct CLogFont {
    int lfHeight = 0;
    int lfWeight = 0;  // 0 = the default weight
    int lfItalic = 0;
    int lfCharSet = 0;
    std::string lfFaceName;  // UTF-8
};

class CFont {
public:
    bool CreateFontIndirect(const CLogFont& lf);
    const CLogFont& LogFont() const { return m_lf; }
    bool IsCreated() const { return m_bCreated; }
    // Different for every font ever created, so a device context can tell its cell is
    // still the one it found.
    unsigned Serial() const { return m_nSerial; }

private:
    CLogFont m_lf;
    bool m_bCreated = false;
    unsigned m_nSerial = 0;
};

// Maps "ＭＳ 明朝", "ＭＳ Ｐ明朝" and "ＭＳ Ｐゴシック" onto the IPA faces where the system
// lacks them. Call once after the QApplication exists.
void InstallFontSubstitutions();

// A font with the cell the classic device context reports for it: ascent + descent
// is exactly a positive lfHeight even where no whole pixel size of the face gives
// that cell (the glyphs then come from the largest size that fits inside it).
struct CFontCell {
    QFont font;
    int ascent = 0;
    int descent = 0;
};
// The reference stays valid for the program's life.
const CFontCell& FontCellForLogFont(const CLogFont& lf, QPaintDevice* device);

// The Qt font whose cell height (ascent + descent) on device equals a positive
// lfHeight, or whose em equals a negative one; cached.
QFont FontForLogFont(const CLogFont& lf, QPaintDevice* device);
