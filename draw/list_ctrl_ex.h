#pragma once

#include "draw/image_list.h"
#include "framework/cdc.h"

#include <QAbstractScrollArea>
#include <QImage>

#include <string>
#include <vector>

class QHeaderView;
class QStandardItemModel;

// A list in report form that paints its rows itself: the highlight covers the whole row out
// to the client width, and cell texts too long for their column end in "...".
// Items, columns, image lists and styles are its own; the names follow the classic list view.
class CListCtrlEx : public QAbstractScrollArea {
    Q_OBJECT

public:
    // Styles.
    static constexpr unsigned LVS_REPORT = 0x0001;
    static constexpr unsigned LVS_TYPEMASK = 0x0003;
    static constexpr unsigned LVS_SHOWSELALWAYS = 0x0008;
    static constexpr unsigned LVS_OWNERDRAWFIXED = 0x0400;

    // Item state bits.
    static constexpr unsigned LVIS_FOCUSED = 0x0001;
    static constexpr unsigned LVIS_SELECTED = 0x0002;
    static constexpr unsigned LVIS_CUT = 0x0004;
    static constexpr unsigned LVIS_DROPHILITED = 0x0008;
    static constexpr unsigned LVIS_OVERLAYMASK = 0x0F00;
    static constexpr unsigned LVIS_STATEIMAGEMASK = 0xF000;
    static constexpr unsigned IndexToStateImageMask(unsigned i) { return i << 12; }
    static constexpr unsigned IndexToOverlayMask(unsigned i) { return i << 8; }

    // Column formats.
    static constexpr int LVCFMT_LEFT = 0;
    static constexpr int LVCFMT_RIGHT = 1;
    static constexpr int LVCFMT_CENTER = 2;
    static constexpr int LVCFMT_JUSTIFYMASK = 3;

    // Image list kinds.
    static constexpr int LVSIL_NORMAL = 0;
    static constexpr int LVSIL_SMALL = 1;
    static constexpr int LVSIL_STATE = 2;

    // Parts of an item rectangle.
    static constexpr int LVIR_BOUNDS = 0;
    static constexpr int LVIR_ICON = 1;
    static constexpr int LVIR_LABEL = 2;

    // Image lists and their drawing flags, as the classic list view names them here.
    using CImageList = ::CImageList;
    static constexpr unsigned ILD_NORMAL = CImageList::ILD_NORMAL;
    static constexpr unsigned ILD_TRANSPARENT = CImageList::ILD_TRANSPARENT;
    static constexpr unsigned ILD_BLEND50 = CImageList::ILD_BLEND50;
    static constexpr unsigned ILD_OVERLAYMASK = CImageList::ILD_OVERLAYMASK;
    static constexpr COLORREF CLR_NONE = CImageList::CLR_NONE;

    explicit CListCtrlEx(QWidget* parent = nullptr, unsigned dwStyle = LVS_REPORT | LVS_OWNERDRAWFIXED);
    ~CListCtrlEx() override;

    unsigned GetStyle() const { return m_dwStyle; }
    void ModifyStyle(unsigned dwRemove, unsigned dwAdd);

    // Full-row selection: every paint reaches the client width. (Focus changes repaint
    // the selected rows whatever this says.)
    void SetFullRowSel(bool bFullRowSel);
    bool GetFullRowSel() const { return m_bFullRowSel; }

    // Columns.
    int InsertColumn(int nCol, const std::string& strHeading, int nFormat = LVCFMT_LEFT, int nWidth = 100);
    bool DeleteColumn(int nCol);
    int GetColumnCount() const { return static_cast<int>(m_aColumns.size()); }
    int GetColumnWidth(int nCol) const;
    bool SetColumnWidth(int nCol, int cx);
    int GetColumnFormat(int nCol) const;

    // Items.
    int InsertItem(int nItem, const std::string& strText, int nImage = -1);
    bool DeleteItem(int nItem);
    bool DeleteAllItems();
    int GetItemCount() const { return static_cast<int>(m_aItems.size()); }
    bool SetItemText(int nItem, int nSubItem, const std::string& strText);
    std::string GetItemText(int nItem, int nSubItem) const;
    bool SetItemImage(int nItem, int nImage);
    int GetItemImage(int nItem) const;
    // Only one item holds the focus: focusing one takes it from the others.
    bool SetItemState(int nItem, unsigned nState, unsigned nMask);
    unsigned GetItemState(int nItem, unsigned nMask) const;
    int GetSelectedCount() const;
    int GetFocusedItem() const;
    bool GetItemRect(int nItem, CRect* pRect, int nCode) const;
    int HitTest(QPoint pt) const;
    int GetTopIndex() const;
    int GetCountPerPage() const;
    bool EnsureVisible(int nItem);
    int GetRowHeight() const;

    // The list keeps the pointer, the caller the image list; returns the previous one.
    CImageList* SetImageList(CImageList* pImageList, int nImageList);
    CImageList* GetImageList(int nImageList) const;

    bool SetTextColor(COLORREF cr);
    bool SetTextBkColor(COLORREF cr);
    bool SetBkColor(COLORREF cr);
    COLORREF GetTextColor() const { return m_clrText; }
    COLORREF GetTextBkColor() const { return m_clrTextBk; }
    COLORREF GetBkColor() const { return m_clrBkgnd; }

    // The font the rows are measured and drawn in, from the widget's font.
    const CLogFont& GetItemLogFont() const { return m_lfItem; }

    // The text to draw for a cell nColumnLen wide: the text itself when it fits with the
    // offset, else its longest prefix of whole UTF-8 characters (at least one) that fits
    // followed by "...".
    static std::string FitTextWithEllipsis(CDC* pDC, const std::string& strText, int nColumnLen, int nOffset);

    // The strip a paint of rcClip must also cover so that a full-row highlight reaches the
    // client width; empty when none is needed.
    QRect WidenedPaintStrip(const QRect& rcClip);

    bool m_bFullRowSel = false;
    bool m_bFullWidthHighlight = true;
    int m_cxClient = 0;
    int m_cxStateImage = 0;
    COLORREF m_clrText;
    COLORREF m_clrTextBk;
    COLORREF m_clrBkgnd;

protected:
    virtual void DrawItem(CDC* pDC, int nItem, const CRect& rcItem);
    // The state image and the small icon, blended into a highlight or a cut item.
    void DrawItemImages(CDC* pDC, int nItem, const CRect& rcItem, bool bHighlight);
    // The columns after the first, each text fitted into its cell.
    void DrawSubItems(CDC* pDC, int nItem, const CRect& rcItem);

    void OnSize(unsigned nType, int cx, int cy);
    void OnPaint(const QRegion& rgnUpdate);
    void OnFocusChange();
    void RedrawSelectedRows();
    void OnSetImageList(int nImageList, CImageList* pImageList);
    void OnSetTextColor(COLORREF cr);
    void OnSetTextBkColor(COLORREF cr);
    void OnSetBkColor(COLORREF cr);

    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void changeEvent(QEvent* event) override;

private:
    struct Item {
        std::vector<std::string> aTexts;  // index 0 is the label
        int nImage = -1;
        unsigned nState = 0;
    };
    struct Column {
        std::string strHeading;
        int nFormat = LVCFMT_LEFT;
        int nWidth = 0;
    };

    bool IsReportMode() const { return (m_dwStyle & LVS_TYPEMASK) == LVS_REPORT; }
    bool IsValidItem(int nItem) const { return nItem >= 0 && nItem < GetItemCount(); }
    int TotalColumnWidth() const;
    void UpdateFont();
    void UpdateScrollBars();
    void LayoutHeader();
    void InvalidateItem(int nItem);
    void SelectOnly(int nItem);
    void SelectRange(int nFrom, int nTo, bool bKeepOthers);
    void MoveFocusTo(int nItem, Qt::KeyboardModifiers mods);

    unsigned m_dwStyle;
    std::vector<Item> m_aItems;
    std::vector<Column> m_aColumns;
    CImageList* m_pSmallImages = nullptr;
    CImageList* m_pStateImages = nullptr;
    CImageList* m_pNormalImages = nullptr;
    CLogFont m_lfItem;
    CFont m_fontItem;
    int m_cyRow = 18;
    int m_nAnchor = -1;
    QHeaderView* m_pHeader = nullptr;
    QStandardItemModel* m_pHeaderModel = nullptr;
};
