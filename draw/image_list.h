#pragma once

#include "framework/cdc.h"

#include <QImage>

#include <vector>

// Images of one size, each drawn transparently where its alpha is 0: the image lists of
// the full-row list control.
class CImageList {
public:
    // Drawing flags; the overlay index travels in bits 8 to 11.
    static constexpr unsigned ILD_NORMAL = 0x0000;
    static constexpr unsigned ILD_TRANSPARENT = 0x0001;
    static constexpr unsigned ILD_BLEND50 = 0x0004;
    static constexpr unsigned ILD_OVERLAYMASK = 0x0F00;
    static constexpr COLORREF CLR_NONE = 0xFFFFFFFF;

    CImageList() = default;
    CImageList(int cx, int cy) { Create(cx, cy); }
    bool Create(int cx, int cy);
    // Scaled to the list's size when it differs; returns the index, -1 before Create.
    int Add(const QImage& image);
    int GetImageCount() const { return static_cast<int>(m_aImages.size()); }
    bool GetIconSize(int& cx, int& cy) const;
    // Overlay indexes 1 to 15 name an image drawn over another.
    bool SetOverlayImage(int nImage, int nOverlay);
    // clrBk fills the image's cell unless the flags ask for transparency or it is
    // CLR_NONE; ILD_BLEND50 mixes every painted pixel half and half with clrBlend.
    // cx and cy, when not 0, are the part of the image drawn, from its top-left.
    bool Draw(CDC* pDC, int nImage, CPoint pt, unsigned nStyle, COLORREF clrBk = CLR_NONE, COLORREF clrBlend = CLR_NONE,
              int cx = 0, int cy = 0) const;

private:
    int m_cx = 0;
    int m_cy = 0;
    std::vector<QImage> m_aImages;
    int m_aOverlay[16] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
};
