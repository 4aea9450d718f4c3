#include "draw/image_list.h"

#include <QPainter>

bool CImageList::Create(int cx, int cy)
{
    if (cx <= 0 || cy <= 0)
        return false;
    m_cx = cx;
    m_cy = cy;
    m_aImages.clear();
    return true;
}

int CImageList::Add(const QImage& image)
{
    if (m_cx <= 0 || image.isNull())
        return -1;
    QImage img = image.convertToFormat(QImage::Format_ARGB32);
    if (img.width() != m_cx || img.height() != m_cy)
        img = img.scaled(m_cx, m_cy, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    m_aImages.push_back(std::move(img));
    return GetImageCount() - 1;
}

bool CImageList::GetIconSize(int& cx, int& cy) const
{
    if (m_cx <= 0)
        return false;
    cx = m_cx;
    cy = m_cy;
    return true;
}

bool CImageList::SetOverlayImage(int nImage, int nOverlay)
{
    if (nOverlay < 1 || nOverlay > 15 || nImage < 0 || nImage >= GetImageCount())
        return false;
    m_aOverlay[nOverlay] = nImage;
    return true;
}

bool CImageList::Draw(CDC* pDC, int nImage, CPoint pt, unsigned nStyle, COLORREF clrBk, COLORREF clrBlend, int cx,
                      int cy) const
{
    if (nImage < 0 || nImage >= GetImageCount())
        return false;
    QPainter* p = pDC->Painter();
    const int w = cx > 0 ? cx : m_cx;
    const int h = cy > 0 ? cy : m_cy;
    if (!(nStyle & ILD_TRANSPARENT) && clrBk != CLR_NONE)
        pDC->FillSolidRect(pt.x, pt.y, w, h, clrBk);
    p->save();
    p->setClipRect(QRect(pt.x, pt.y, w, h), Qt::IntersectClip);

    auto paint = [&](const QImage& src) {
        if ((nStyle & ILD_BLEND50) && clrBlend != CLR_NONE) {
            QImage img = src;
            const int br = GetRValue(clrBlend), bg = GetGValue(clrBlend), bb = GetBValue(clrBlend);
            for (int y = 0; y < img.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
                for (int x = 0; x < img.width(); ++x) {
                    const QRgb c = line[x];
                    if (qAlpha(c) == 0)
                        continue;
                    line[x] = qRgba((qRed(c) + br) / 2, (qGreen(c) + bg) / 2, (qBlue(c) + bb) / 2, qAlpha(c));
                }
            }
            p->drawImage(QPoint(pt.x, pt.y), img);
        } else {
            p->drawImage(QPoint(pt.x, pt.y), src);
        }
    };
    paint(m_aImages[static_cast<std::size_t>(nImage)]);
    const unsigned nOverlay = (nStyle & ILD_OVERLAYMASK) >> 8;
    if (nOverlay != 0) {
        const int nOver = m_aOverlay[nOverlay];
        if (nOver >= 0 && nOver < GetImageCount())
            paint(m_aImages[static_cast<std::size_t>(nOver)]);
    }
    p->restore();
    return true;
}
