#include "draw/list_ctrl_ex.h"

#include "framework/qt_text.h"
#if defined(_WIN32)
#include "textfile/ansi_names.h"
#endif

#include <QFocusEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>

#include <algorithm>

namespace {

constexpr int kOffsetFirst = 2;  // inset of the label text, each side
constexpr int kOffsetOther = 6;  // inset of the other cells' text, each side
constexpr int kSmallIcon = 16;
constexpr char kDots[] = "...";

// Where each character of a UTF-8 text begins; a stray continuation byte stays with the
// character before it, so a cut never splits a sequence. On Windows the text is in the
// ANSI code page, whose trail bytes look like anything.
std::vector<std::size_t> CharStarts(const std::string& s)
{
#if defined(_WIN32)
    return CharacterStarts(s);
#else
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (i == 0 || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80)
            starts.push_back(i);
    }
    return starts;
#endif
}

enum class Align { Left, Centre, Right };

// One line, vertically centred, unclipped, no prefix processing.
void DrawTextLine(CDC* pDC, const std::string& text, const CRect& rc, Align align)
{
    const CSize ext = pDC->GetTextExtent(text);
    int x = rc.left;
    if (align == Align::Right)
        x = rc.right - ext.cx;
    else if (align == Align::Centre)
        x = rc.left + (rc.Width() - ext.cx) / 2;
    pDC->TextOut(x, rc.top + (rc.Height() - ext.cy) / 2, text);
}

// A dotted outline that inverts what lies under it, so it shows on any background and a
// second call removes it.
void DrawFocusRect(CDC* pDC, const CRect& rc)
{
    if (rc.IsRectEmpty())
        return;
    QPainter* p = pDC->Painter();
    p->save();
    p->setRenderHint(QPainter::Antialiasing, false);
    p->setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p->setPen(QPen(Qt::white, 0));
    auto dot = [&](int x, int y) {
        if (((x - rc.left) + (y - rc.top)) % 2 == 0)
            p->drawPoint(x, y);
    };
    const int right = rc.right - 1;
    const int bottom = rc.bottom - 1;
    for (int x = rc.left; x <= right; ++x) {
        dot(x, rc.top);
        if (bottom != rc.top)
            dot(x, bottom);
    }
    for (int y = rc.top + 1; y < bottom; ++y) {
        dot(rc.left, y);
        if (right != rc.left)
            dot(right, y);
    }
    p->restore();
}

// Also says whether the text was shortened: a text that itself ends in "..." may come
// back unchanged from a cut.
std::string FitText(CDC* pDC, const std::string& strText, int nColumnLen, int nOffset, bool& bShortened)
{
    bShortened = false;
    if (strText.empty() || pDC->GetTextExtent(strText).cx + nOffset <= nColumnLen)
        return strText;

    bShortened = true;
    const int cxDots = pDC->GetTextExtent(kDots).cx;
    const std::vector<std::size_t> starts = CharStarts(strText);
    // Drop whole characters from the end, keeping at least the first.
    std::size_t nLen = strText.size();
    for (std::size_t i = starts.size() - 1; i >= 1; --i) {
        nLen = starts[i];
        if (pDC->GetTextExtent(strText.substr(0, nLen)).cx + cxDots + nOffset <= nColumnLen)
            break;
    }
    return strText.substr(0, nLen) + kDots;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CListCtrlEx

CListCtrlEx::CListCtrlEx(QWidget* parent, unsigned dwStyle)
    : QAbstractScrollArea(parent), m_clrText(GetSysColor(COLOR_WINDOWTEXT)), m_clrTextBk(GetSysColor(COLOR_WINDOW)),
      m_clrBkgnd(GetSysColor(COLOR_WINDOW)), m_dwStyle(dwStyle)
{
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    m_pHeaderModel = new QStandardItemModel(0, 0, this);
    m_pHeader = new QHeaderView(Qt::Horizontal, this);
    m_pHeader->setModel(m_pHeaderModel);
    m_pHeader->setSectionsClickable(false);
    m_pHeader->setHighlightSections(false);
    m_pHeader->setStretchLastSection(false);
    m_pHeader->setMinimumSectionSize(0);
    m_pHeader->setFocusPolicy(Qt::NoFocus);
    connect(m_pHeader, &QHeaderView::sectionResized, this, [this](int nCol, int, int cx) {
        if (nCol < 0 || nCol >= GetColumnCount() || m_aColumns[static_cast<std::size_t>(nCol)].nWidth == cx)
            return;
        m_aColumns[static_cast<std::size_t>(nCol)].nWidth = cx;
        UpdateScrollBars();
        viewport()->update();
    });

    UpdateFont();
    LayoutHeader();
}

CListCtrlEx::~CListCtrlEx() = default;

void CListCtrlEx::ModifyStyle(unsigned dwRemove, unsigned dwAdd)
{
    m_dwStyle = (m_dwStyle & ~dwRemove) | dwAdd;
    viewport()->update();
}

void CListCtrlEx::SetFullRowSel(bool bFullRowSel)
{
    if (m_bFullRowSel == bFullRowSel)
        return;
    m_bFullRowSel = bFullRowSel;
    viewport()->update();
}

// --- columns ---

int CListCtrlEx::InsertColumn(int nCol, const std::string& strHeading, int nFormat, int nWidth)
{
    nCol = std::clamp(nCol, 0, GetColumnCount());
    m_aColumns.insert(m_aColumns.begin() + nCol, Column{strHeading, nFormat & LVCFMT_JUSTIFYMASK, std::max(0, nWidth)});
    // Sub-item texts follow their column; the label always stays the label.
    if (nCol > 0) {
        for (Item& item : m_aItems) {
            if (static_cast<int>(item.aTexts.size()) > nCol)
                item.aTexts.insert(item.aTexts.begin() + nCol, std::string());
        }
    }
    m_pHeaderModel->insertColumn(nCol);
    auto* pHead = new QStandardItem(ToQt(strHeading));
    const int fmt = nFormat & LVCFMT_JUSTIFYMASK;
    pHead->setTextAlignment(Qt::AlignVCenter | (fmt == LVCFMT_RIGHT    ? Qt::AlignRight
                                                : fmt == LVCFMT_CENTER ? Qt::AlignHCenter
                                                                       : Qt::AlignLeft));
    m_pHeaderModel->setHorizontalHeaderItem(nCol, pHead);
    m_pHeader->resizeSection(nCol, m_aColumns[static_cast<std::size_t>(nCol)].nWidth);
    UpdateScrollBars();
    viewport()->update();
    return nCol;
}

bool CListCtrlEx::DeleteColumn(int nCol)
{
    if (nCol < 0 || nCol >= GetColumnCount())
        return false;
    m_aColumns.erase(m_aColumns.begin() + nCol);
    if (nCol > 0) {
        for (Item& item : m_aItems) {
            if (static_cast<int>(item.aTexts.size()) > nCol)
                item.aTexts.erase(item.aTexts.begin() + nCol);
        }
    }
    m_pHeaderModel->removeColumn(nCol);
    UpdateScrollBars();
    viewport()->update();
    return true;
}

int CListCtrlEx::GetColumnWidth(int nCol) const
{
    if (nCol < 0 || nCol >= GetColumnCount())
        return 0;
    return m_aColumns[static_cast<std::size_t>(nCol)].nWidth;
}

bool CListCtrlEx::SetColumnWidth(int nCol, int cx)
{
    if (nCol < 0 || nCol >= GetColumnCount())
        return false;
    m_aColumns[static_cast<std::size_t>(nCol)].nWidth = std::max(0, cx);
    m_pHeader->resizeSection(nCol, std::max(0, cx));
    UpdateScrollBars();
    viewport()->update();
    return true;
}

int CListCtrlEx::GetColumnFormat(int nCol) const
{
    if (nCol < 0 || nCol >= GetColumnCount())
        return LVCFMT_LEFT;
    return m_aColumns[static_cast<std::size_t>(nCol)].nFormat;
}

int CListCtrlEx::TotalColumnWidth() const
{
    int cx = 0;
    for (const Column& col : m_aColumns)
        cx += col.nWidth;
    return cx;
}

// --- items ---

int CListCtrlEx::InsertItem(int nItem, const std::string& strText, int nImage)
{
    nItem = std::clamp(nItem, 0, GetItemCount());
    Item item;
    item.aTexts.push_back(strText);
    item.nImage = nImage;
    m_aItems.insert(m_aItems.begin() + nItem, std::move(item));
    if (m_nAnchor >= nItem)
        ++m_nAnchor;
    UpdateScrollBars();
    viewport()->update();
    return nItem;
}

bool CListCtrlEx::DeleteItem(int nItem)
{
    if (!IsValidItem(nItem))
        return false;
    m_aItems.erase(m_aItems.begin() + nItem);
    if (m_nAnchor == nItem)
        m_nAnchor = -1;
    else if (m_nAnchor > nItem)
        --m_nAnchor;
    UpdateScrollBars();
    viewport()->update();
    return true;
}

bool CListCtrlEx::DeleteAllItems()
{
    m_aItems.clear();
    m_nAnchor = -1;
    UpdateScrollBars();
    viewport()->update();
    return true;
}

bool CListCtrlEx::SetItemText(int nItem, int nSubItem, const std::string& strText)
{
    if (!IsValidItem(nItem) || nSubItem < 0 || (nSubItem > 0 && nSubItem >= GetColumnCount()))
        return false;
    auto& texts = m_aItems[static_cast<std::size_t>(nItem)].aTexts;
    if (static_cast<int>(texts.size()) <= nSubItem)
        texts.resize(static_cast<std::size_t>(nSubItem) + 1);
    texts[static_cast<std::size_t>(nSubItem)] = strText;
    InvalidateItem(nItem);
    return true;
}

std::string CListCtrlEx::GetItemText(int nItem, int nSubItem) const
{
    if (!IsValidItem(nItem) || nSubItem < 0)
        return {};
    const auto& texts = m_aItems[static_cast<std::size_t>(nItem)].aTexts;
    return nSubItem < static_cast<int>(texts.size()) ? texts[static_cast<std::size_t>(nSubItem)] : std::string();
}

bool CListCtrlEx::SetItemImage(int nItem, int nImage)
{
    if (!IsValidItem(nItem))
        return false;
    m_aItems[static_cast<std::size_t>(nItem)].nImage = nImage;
    InvalidateItem(nItem);
    return true;
}

int CListCtrlEx::GetItemImage(int nItem) const
{
    return IsValidItem(nItem) ? m_aItems[static_cast<std::size_t>(nItem)].nImage : -1;
}

bool CListCtrlEx::SetItemState(int nItem, unsigned nState, unsigned nMask)
{
    if (!IsValidItem(nItem))
        return false;
    nMask &= 0xFFFF;
    if ((nMask & LVIS_FOCUSED) && (nState & LVIS_FOCUSED)) {
        for (int i = 0; i < GetItemCount(); ++i) {
            Item& other = m_aItems[static_cast<std::size_t>(i)];
            if (i != nItem && (other.nState & LVIS_FOCUSED)) {
                other.nState &= ~LVIS_FOCUSED;
                InvalidateItem(i);
            }
        }
    }
    Item& item = m_aItems[static_cast<std::size_t>(nItem)];
    const unsigned nNew = (item.nState & ~nMask) | (nState & nMask);
    if (nNew != item.nState) {
        item.nState = nNew;
        InvalidateItem(nItem);
    }
    return true;
}

unsigned CListCtrlEx::GetItemState(int nItem, unsigned nMask) const
{
    return IsValidItem(nItem) ? (m_aItems[static_cast<std::size_t>(nItem)].nState & nMask) : 0;
}

int CListCtrlEx::GetSelectedCount() const
{
    return static_cast<int>(std::count_if(m_aItems.begin(), m_aItems.end(),
                                          [](const Item& item) { return (item.nState & LVIS_SELECTED) != 0; }));
}

int CListCtrlEx::GetFocusedItem() const
{
    for (int i = 0; i < GetItemCount(); ++i) {
        if (m_aItems[static_cast<std::size_t>(i)].nState & LVIS_FOCUSED)
            return i;
    }
    return -1;
}

int CListCtrlEx::GetRowHeight() const
{
    return m_cyRow;
}

int CListCtrlEx::GetTopIndex() const
{
    return verticalScrollBar()->value();
}

int CListCtrlEx::GetCountPerPage() const
{
    return std::max(1, viewport()->height() / m_cyRow);
}

bool CListCtrlEx::GetItemRect(int nItem, CRect* pRect, int nCode) const
{
    if (!IsValidItem(nItem) || !pRect)
        return false;
    CRect rc;
    rc.left = -horizontalScrollBar()->value();
    rc.right = rc.left + TotalColumnWidth();
    rc.top = (nItem - GetTopIndex()) * m_cyRow;
    rc.bottom = rc.top + m_cyRow;
    if (nCode == LVIR_BOUNDS) {
        *pRect = rc;
        return true;
    }
    int cxState = 0, cyState = 0;
    if (!m_pStateImages || !m_pStateImages->GetIconSize(cxState, cyState))
        cxState = 0;
    CRect rcIcon = rc;
    rcIcon.left = rc.left + cxState;
    rcIcon.right = rcIcon.left + (m_pSmallImages ? kSmallIcon : 0);
    if (nCode == LVIR_ICON) {
        *pRect = rcIcon;
        return true;
    }
    if (nCode == LVIR_LABEL) {
        CRect rcLabel = rc;
        rcLabel.left = rcIcon.right;
        rcLabel.right = std::max(rcLabel.left, rc.left + GetColumnWidth(0));
        *pRect = rcLabel;
        return true;
    }
    return false;
}

int CListCtrlEx::HitTest(QPoint pt) const
{
    if (pt.y() < 0 || m_aItems.empty())
        return -1;
    const int nItem = GetTopIndex() + pt.y() / m_cyRow;
    if (!IsValidItem(nItem))
        return -1;
    if (!m_bFullRowSel) {
        CRect rc;
        GetItemRect(nItem, &rc, LVIR_BOUNDS);
        if (pt.x() < rc.left || pt.x() >= rc.right)
            return -1;
    }
    return nItem;
}

bool CListCtrlEx::EnsureVisible(int nItem)
{
    if (!IsValidItem(nItem))
        return false;
    const int nTop = GetTopIndex();
    const int nPage = GetCountPerPage();
    if (nItem < nTop)
        verticalScrollBar()->setValue(nItem);
    else if (nItem >= nTop + nPage)
        verticalScrollBar()->setValue(nItem - nPage + 1);
    return true;
}

void CListCtrlEx::InvalidateItem(int nItem)
{
    CRect rc;
    if (!GetItemRect(nItem, &rc, LVIR_BOUNDS))
        return;
    // The row's highlight may reach past its columns.
    if (m_bFullWidthHighlight)
        rc.right = std::max(rc.right, viewport()->width());
    viewport()->update(QRect(rc.left, rc.top, rc.Width(), rc.Height()));
}

// --- image lists and colours ---

CListCtrlEx::CImageList* CListCtrlEx::SetImageList(CImageList* pImageList, int nImageList)
{
    CImageList** slot = nImageList == LVSIL_STATE    ? &m_pStateImages
                        : nImageList == LVSIL_SMALL  ? &m_pSmallImages
                        : nImageList == LVSIL_NORMAL ? &m_pNormalImages
                                                     : nullptr;
    if (!slot)
        return nullptr;
    OnSetImageList(nImageList, pImageList);
    CImageList* pOld = *slot;
    *slot = pImageList;
    UpdateFont();
    UpdateScrollBars();
    viewport()->update();
    return pOld;
}

CListCtrlEx::CImageList* CListCtrlEx::GetImageList(int nImageList) const
{
    switch (nImageList) {
    case LVSIL_STATE:
        return m_pStateImages;
    case LVSIL_SMALL:
        return m_pSmallImages;
    case LVSIL_NORMAL:
        return m_pNormalImages;
    default:
        return nullptr;
    }
}

void CListCtrlEx::OnSetImageList(int nImageList, CImageList* pImageList)
{
    if (nImageList != LVSIL_STATE)
        return;
    int cx = 0, cy = 0;
    m_cxStateImage = (pImageList && pImageList->GetIconSize(cx, cy)) ? cx : 0;
}

bool CListCtrlEx::SetTextColor(COLORREF cr)
{
    OnSetTextColor(cr);
    viewport()->update();
    return true;
}

bool CListCtrlEx::SetTextBkColor(COLORREF cr)
{
    OnSetTextBkColor(cr);
    viewport()->update();
    return true;
}

bool CListCtrlEx::SetBkColor(COLORREF cr)
{
    OnSetBkColor(cr);
    viewport()->update();
    return true;
}

void CListCtrlEx::OnSetTextColor(COLORREF cr)
{
    m_clrText = cr;
}

void CListCtrlEx::OnSetTextBkColor(COLORREF cr)
{
    m_clrTextBk = cr;
}

void CListCtrlEx::OnSetBkColor(COLORREF cr)
{
    m_clrBkgnd = cr;
}

// --- geometry ---

void CListCtrlEx::UpdateFont()
{
    const QFont f = font();
    const QFontMetrics fm(f);
    m_lfItem = CLogFont{};
    m_lfItem.lfHeight = fm.ascent() + fm.descent();
    m_lfItem.lfWeight = f.bold() ? FW_BOLD : 0;
    m_lfItem.lfItalic = f.italic() ? 1 : 0;
    m_lfItem.lfCharSet = DEFAULT_CHARSET;
    m_lfItem.lfFaceName = FromQt(f.family());
    m_fontItem.CreateFontIndirect(m_lfItem);

    int cyImage = 0;
    int cx = 0, cy = 0;
    if (m_pSmallImages && m_pSmallImages->GetIconSize(cx, cy))
        cyImage = std::max(cyImage, cy);
    if (m_pStateImages && m_pStateImages->GetIconSize(cx, cy))
        cyImage = std::max(cyImage, cy);
    m_cyRow = std::max(m_lfItem.lfHeight + 4, cyImage + 2);
}

void CListCtrlEx::UpdateScrollBars()
{
    QScrollBar* v = verticalScrollBar();
    const int nPage = GetCountPerPage();
    v->setRange(0, std::max(0, GetItemCount() - nPage));
    v->setPageStep(nPage);
    v->setSingleStep(1);

    QScrollBar* h = horizontalScrollBar();
    const int cxView = viewport()->width();
    h->setRange(0, std::max(0, TotalColumnWidth() - cxView));
    h->setPageStep(std::max(1, cxView));
    h->setSingleStep(std::max(1, m_cyRow));
}

void CListCtrlEx::LayoutHeader()
{
    const int cyHeader = m_pHeader->sizeHint().height();
    setViewportMargins(0, cyHeader, 0, 0);
    const QRect rcView = viewport()->geometry();
    m_pHeader->setGeometry(rcView.left(), rcView.top() - cyHeader, rcView.width(), cyHeader);
    m_pHeader->setOffset(horizontalScrollBar()->value());
}

void CListCtrlEx::OnSize(unsigned /*nType*/, int cx, int /*cy*/)
{
    m_cxClient = cx;
}

void CListCtrlEx::resizeEvent(QResizeEvent* event)
{
    OnSize(0, viewport()->width(), viewport()->height());
    LayoutHeader();
    UpdateScrollBars();
    QAbstractScrollArea::resizeEvent(event);
}

void CListCtrlEx::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        UpdateFont();
        LayoutHeader();
        UpdateScrollBars();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
}

void CListCtrlEx::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    m_pHeader->setOffset(horizontalScrollBar()->value());
    viewport()->update();
}

// --- painting ---

QRect CListCtrlEx::WidenedPaintStrip(const QRect& rcClip)
{
    if (!(m_bFullWidthHighlight && m_bFullRowSel && IsReportMode()))
        return {};
    m_cxClient = viewport()->width();
    CRect rcBounds;
    if (!GetItemRect(0, &rcBounds, LVIR_BOUNDS) || rcBounds.right >= m_cxClient)
        return {};
    const int left = std::min(rcClip.left(), rcBounds.right - 1);
    if (left >= m_cxClient)
        return {};
    return QRect(QPoint(left, rcClip.top()), QPoint(m_cxClient - 1, rcClip.bottom()));
}

void CListCtrlEx::OnPaint(const QRegion& rgnUpdate)
{
    // The list invalidates only what changed; a highlight that reaches the client width
    // needs the strip right of the columns painted with it. Qt cannot widen a paint already
    // under way, so ask for the missing part at once.
    const QRect strip = WidenedPaintStrip(rgnUpdate.boundingRect());
    if (!strip.isEmpty() && !(QRegion(strip) - rgnUpdate).isEmpty())
        viewport()->update(strip);

    QPainter painter(viewport());
    CDC dc(&painter);
    CFont* pOldFont = dc.SelectObject(&m_fontItem);
    const QRect rcUpdate = rgnUpdate.boundingRect();
    painter.fillRect(rcUpdate, ToQColor(m_clrBkgnd));

    const int nTop = GetTopIndex();
    const int nFirst = nTop + std::max(0, rcUpdate.top()) / m_cyRow;
    const int nLast = nTop + std::max(0, rcUpdate.bottom()) / m_cyRow;
    for (int nItem = nFirst; nItem <= nLast && nItem < GetItemCount(); ++nItem) {
        CRect rcItem;
        GetItemRect(nItem, &rcItem, LVIR_BOUNDS);
        DrawItem(&dc, nItem, rcItem);
    }
    dc.SelectObject(pOldFont);
}

void CListCtrlEx::paintEvent(QPaintEvent* event)
{
    OnPaint(event->region());
}

std::string CListCtrlEx::FitTextWithEllipsis(CDC* pDC, const std::string& strText, int nColumnLen, int nOffset)
{
    bool bShortened = false;
    return FitText(pDC, strText, nColumnLen, nOffset, bShortened);
}

void CListCtrlEx::DrawItem(CDC* pDC, int nItem, const CRect& rcItem)
{
    const bool bFocus = hasFocus();
    const Item& item = m_aItems[static_cast<std::size_t>(nItem)];
    const unsigned nState = item.nState & 0xFFFF;

    const bool bHighlight =
        ((nState & LVIS_SELECTED) && (bFocus || (m_dwStyle & LVS_SHOWSELALWAYS))) || (nState & LVIS_DROPHILITED);

    CRect rcLabel;
    GetItemRect(nItem, &rcLabel, LVIR_LABEL);
    CRect rcHighlight = rcItem;
    rcHighlight.left = rcLabel.left;
    if (m_bFullWidthHighlight && rcHighlight.right < m_cxClient)
        rcHighlight.right = m_cxClient;

    const COLORREF clrOldText = pDC->SetTextColor(bHighlight ? GetSysColor(COLOR_HIGHLIGHTTEXT) : RGB(0, 0, 255));
    const COLORREF clrOldBk = pDC->GetBkColor();
    if (bHighlight)
        pDC->SetBkColor(GetSysColor(COLOR_HIGHLIGHT));
    // The row is already filled, so text needs no background of its own.
    const int nOldBkMode = pDC->SetBkMode(TRANSPARENT);
    pDC->FillSolidRect(rcHighlight, bHighlight ? GetSysColor(COLOR_HIGHLIGHT) : m_clrTextBk);

    DrawItemImages(pDC, nItem, rcItem, bHighlight);

    CRect rcText = rcLabel;
    rcText.right -= m_cxStateImage;
    bool bShortened = false;
    const std::string strLabel = FitText(pDC, item.aTexts.front(), rcText.Width(), 2 * kOffsetFirst, bShortened);
    rcText.left += kOffsetFirst;
    rcText.right -= kOffsetFirst;
    DrawTextLine(pDC, strLabel, rcText, Align::Left);

    DrawSubItems(pDC, nItem, rcItem);

    if ((nState & LVIS_FOCUSED) && bFocus)
        DrawFocusRect(pDC, rcHighlight);

    pDC->SetBkMode(nOldBkMode);
    pDC->SetTextColor(clrOldText);
    if (bHighlight)
        pDC->SetBkColor(clrOldBk);
}

void CListCtrlEx::DrawItemImages(CDC* pDC, int nItem, const CRect& rcItem, bool bHighlight)
{
    const Item& item = m_aItems[static_cast<std::size_t>(nItem)];
    const unsigned nState = item.nState & 0xFFFF;
    unsigned nImageStyle = ILD_TRANSPARENT;
    COLORREF clrBlend = CLR_NONE;
    if (nState & LVIS_CUT) {
        nImageStyle |= ILD_BLEND50;
        clrBlend = m_clrBkgnd;
    }
    if (bHighlight) {
        nImageStyle |= ILD_BLEND50;
        clrBlend = GetSysColor(COLOR_HIGHLIGHT);
    }

    const unsigned nStateImage = (nState & LVIS_STATEIMAGEMASK) >> 12;
    if (nStateImage != 0 && m_pStateImages)
        m_pStateImages->Draw(pDC, static_cast<int>(nStateImage) - 1, CPoint{rcItem.left, rcItem.top}, ILD_TRANSPARENT);

    if (m_pSmallImages && rcItem.Width() > 1) {
        CRect rcIcon;
        GetItemRect(nItem, &rcIcon, LVIR_ICON);
        // In the 16 by 16 icon cell, whatever the list's own image size: a larger image
        // would cover the label.
        m_pSmallImages->Draw(pDC, item.nImage, CPoint{rcIcon.left, rcIcon.top},
                             nImageStyle | (nState & LVIS_OVERLAYMASK), m_clrBkgnd, clrBlend, kSmallIcon, kSmallIcon);
    }
}

void CListCtrlEx::DrawSubItems(CDC* pDC, int nItem, const CRect& rcItem)
{
    bool bShortened = false;
    CRect rcCell = rcItem;
    rcCell.right = rcItem.left + GetColumnWidth(0);
    for (int nCol = 1; nCol < GetColumnCount(); ++nCol) {
        rcCell.left = rcCell.right;
        rcCell.right += GetColumnWidth(nCol);
        const std::string strCell = GetItemText(nItem, nCol);
        if (strCell.empty())
            continue;
        const std::string strShown = FitText(pDC, strCell, rcCell.Width(), 2 * kOffsetOther, bShortened);
        CRect rcCellText = rcCell;
        rcCellText.left += kOffsetOther;
        rcCellText.right -= kOffsetOther;
        Align align = Align::Left;
        // A shortened text keeps its start in view whatever the column's alignment.
        if (!bShortened) {
            const int fmt = GetColumnFormat(nCol);
            align = fmt == LVCFMT_RIGHT ? Align::Right : fmt == LVCFMT_CENTER ? Align::Centre : Align::Left;
        }
        DrawTextLine(pDC, strShown, rcCellText, align);
    }
}

// --- focus ---

void CListCtrlEx::OnFocusChange()
{
    // The highlight and the focus rectangle follow the focus whatever the full-row
    // setting: nothing else repaints those rows.
    if (IsReportMode())
        RedrawSelectedRows();
}

void CListCtrlEx::RedrawSelectedRows()
{
    const bool bAllSelected = !(m_dwStyle & LVS_SHOWSELALWAYS);
    QRegion rgn;
    const int nLast = std::min(GetItemCount() - 1, GetTopIndex() + GetCountPerPage());
    for (int nItem = GetTopIndex(); nItem <= nLast; ++nItem) {
        const unsigned nState = GetItemState(nItem, LVIS_FOCUSED | LVIS_SELECTED);
        if (!((nState & LVIS_FOCUSED) || (bAllSelected && (nState & LVIS_SELECTED))))
            continue;
        CRect rcBounds, rcLabel;
        GetItemRect(nItem, &rcBounds, LVIR_BOUNDS);
        GetItemRect(nItem, &rcLabel, LVIR_LABEL);
        rcBounds.left = rcLabel.left;
        rgn += QRect(rcBounds.left, rcBounds.top, rcBounds.Width(), rcBounds.Height());
    }
    // At once, not at the next idle moment: the focus change is visible immediately.
    if (!rgn.isEmpty())
        viewport()->repaint(rgn);
}

void CListCtrlEx::focusInEvent(QFocusEvent* event)
{
    OnFocusChange();
    QAbstractScrollArea::focusInEvent(event);
}

void CListCtrlEx::focusOutEvent(QFocusEvent* event)
{
    OnFocusChange();
    QAbstractScrollArea::focusOutEvent(event);
}

// --- mouse and keys ---

void CListCtrlEx::SelectOnly(int nItem)
{
    for (int i = 0; i < GetItemCount(); ++i)
        SetItemState(i, i == nItem ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

void CListCtrlEx::SelectRange(int nFrom, int nTo, bool bKeepOthers)
{
    const int lo = std::min(nFrom, nTo), hi = std::max(nFrom, nTo);
    for (int i = 0; i < GetItemCount(); ++i) {
        if (i >= lo && i <= hi)
            SetItemState(i, LVIS_SELECTED, LVIS_SELECTED);
        else if (!bKeepOthers)
            SetItemState(i, 0, LVIS_SELECTED);
    }
}

void CListCtrlEx::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const int nItem = HitTest(event->position().toPoint());
    const Qt::KeyboardModifiers mods = event->modifiers();
    if (nItem < 0) {
        if (!(mods & (Qt::ControlModifier | Qt::ShiftModifier)))
            SelectOnly(-1);
    } else if ((mods & Qt::ShiftModifier) && m_nAnchor >= 0) {
        SelectRange(m_nAnchor, nItem, (mods & Qt::ControlModifier) != 0);
        SetItemState(nItem, LVIS_FOCUSED, LVIS_FOCUSED);
    } else if (mods & Qt::ControlModifier) {
        SetItemState(nItem, GetItemState(nItem, LVIS_SELECTED) ^ LVIS_SELECTED, LVIS_SELECTED);
        SetItemState(nItem, LVIS_FOCUSED, LVIS_FOCUSED);
        m_nAnchor = nItem;
    } else if (event->button() == Qt::RightButton && GetItemState(nItem, LVIS_SELECTED)) {
        // A right click on a selected row keeps the selection, as for a context menu.
        SetItemState(nItem, LVIS_FOCUSED, LVIS_FOCUSED);
    } else {
        SelectOnly(nItem);
        SetItemState(nItem, LVIS_FOCUSED, LVIS_FOCUSED);
        m_nAnchor = nItem;
    }
    event->accept();
}

void CListCtrlEx::mouseReleaseEvent(QMouseEvent* event)
{
    // The press did the work; the release belongs to it.
    event->accept();
}

void CListCtrlEx::MoveFocusTo(int nItem, Qt::KeyboardModifiers mods)
{
    nItem = std::clamp(nItem, 0, GetItemCount() - 1);
    if (mods & Qt::ShiftModifier) {
        if (m_nAnchor < 0)
            m_nAnchor = std::max(0, GetFocusedItem());
        SelectRange(m_nAnchor, nItem, (mods & Qt::ControlModifier) != 0);
    } else if (!(mods & Qt::ControlModifier)) {
        SelectOnly(nItem);
        m_nAnchor = nItem;
    }
    SetItemState(nItem, LVIS_FOCUSED, LVIS_FOCUSED);
    EnsureVisible(nItem);
}

void CListCtrlEx::keyPressEvent(QKeyEvent* event)
{
    if (m_aItems.empty()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const int nFocus = GetFocusedItem();
    const int nPage = GetCountPerPage();
    const Qt::KeyboardModifiers mods = event->modifiers();
    switch (event->key()) {
    case Qt::Key_Up:
        MoveFocusTo(nFocus < 0 ? 0 : nFocus - 1, mods);
        break;
    case Qt::Key_Down:
        MoveFocusTo(nFocus < 0 ? 0 : nFocus + 1, mods);
        break;
    case Qt::Key_Home:
        MoveFocusTo(0, mods);
        break;
    case Qt::Key_End:
        MoveFocusTo(GetItemCount() - 1, mods);
        break;
    case Qt::Key_PageUp:
        MoveFocusTo(nFocus < 0 ? 0 : nFocus - std::max(1, nPage - 1), mods);
        break;
    case Qt::Key_PageDown:
        MoveFocusTo(nFocus < 0 ? 0 : nFocus + std::max(1, nPage - 1), mods);
        break;
    case Qt::Key_Space:
        if (nFocus >= 0) {
            if (mods & Qt::ControlModifier)
                SetItemState(nFocus, GetItemState(nFocus, LVIS_SELECTED) ^ LVIS_SELECTED, LVIS_SELECTED);
            else
                SetItemState(nFocus, LVIS_SELECTED, LVIS_SELECTED);
            m_nAnchor = nFocus;
        }
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}
