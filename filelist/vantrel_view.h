#pragma once

#include "framework/cdc.h"
#include "framework/cmd_target.h"
#include "filelist/file_list_model.h"
#include "filelist/list_layout.h"

#include <QImage>
#include <QWidget>

#include <cstdint>
#include <string>
#include <vector>

class QScrollBar;
class QString;

// Where the choice of a folder starts when none is held: the user's desktop, else home.
QString FolderChoiceStart();

// The program's list window: the folder's files drawn by the program itself, with its
// own scroll bar, mouse and key marking, and the commands of the list. It owns all state
// of the running program (the model it derives from holds folder, entries and the
// printed-files memory).
class CVantrelView : public QWidget, public CFileListModel, public CCmdTarget {
    Q_OBJECT

public:
    explicit CVantrelView(QWidget* parent = nullptr);
    ~CVantrelView() override;

    // Builds the list from the folder saved in the settings; again at every new document.
    void OnInitialUpdate();
    bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI) override;

    // From the print command until its last job has ended (and while the preview's dump
    // is written): every command that changes the list, the marks or the document is
    // disabled, with print and preview, and clicks and arrow keys mark nothing.
    void SetPrinting(bool on);

    // Folder choice and listing.
    void OnSelectFolder();
    void OnUpdateSelectFolder(CCmdUI* pCmdUI);
    bool ChooseFolder();

    // Drawing.
    void OnDraw(CDC* pDC);
    void DrawListFrame(CDC* pDC);
    void DrawListRows(CDC* pDC);
    void DrawColumnRules(CDC* pDC);

    // Interaction.
    void OnLButtonDown(unsigned nFlags, CPoint point);
    void OnKeyDown(unsigned nChar);
    void OnSize(int cx, int cy);
    void OnVScroll(int nSBCode, int nPos);
    void UpdateScrollBar();
    void ApplyScrollState(int nPage);

    // Mark commands.
    void OnUpdateSelectAll(CCmdUI* pCmdUI);
    void OnSelectAll();
    void OnSelectNone();

    // CSV export.
    void OnUpdateFileSaveCsv(CCmdUI* pCmdUI);
    void OnFileSaveCsv();

    // Print and preview; the commands live with the printing work.
    void OnUpdatePrintDump(CCmdUI* pCmdUI);
    void OnPrintDump();
    void OnUpdatePreviewDump(CCmdUI* pCmdUI);
    void OnPreviewDump();
    // The print switch of the command line: the framework's print loop without a
    // command of the program's, so it prints nothing.
    void OnUpdatePrintDirect(CCmdUI* pCmdUI);
    void OnFilePrintDirect();

    // The geometry of the current size and scroll bar state.
    ListGeometry Geometry() const;
    // Repaint part of the view (nullptr: all of it).
    void InvalidateRect(const CRect* pRect);

    std::string m_strPrintPath;  // the file being dumped
    std::string m_strCsvFolder;  // where this run last saved the list
    // m_strFolder, m_aFiles, m_aPrinted: CFileListModel
    QScrollBar* m_pScrollBar = nullptr;
    int m_nTopRow = 0;
    int m_nRowHeight = 20;
    int m_nVisibleRows = 0;
    int m_cxVScroll = 0;
    int m_cxScrollShown = 0;
    int m_nNoticeHeight = 30;
    int m_nInfoHeight = 42;
    int m_bCancelPrint = 0;
    std::int64_t m_nFromPage = 0;
    std::int64_t m_nToPage = 0;
    CRect m_rcList;
    CRect m_rcTotal;
    int m_cxNoCol = 45;
    int m_cxSizeCol = 125;
    int m_cxPagesCol = 85;
    int m_cxPrintedCol = 60;
    bool m_bPrinting = false;

signals:
    // Marks, the list or the printing state changed: the frame updates its commands.
    void commandStateChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    // A name the list had to make smaller shows whole as the row's tooltip.
    bool event(QEvent* event) override;

private:
    void CreateScrollBar();
    void OnScrollAction(int action);
    // Empties the list and reads m_strFolder, the window still drawing itself meanwhile;
    // the caller shows the wait cursor.
    void ListFolderWaiting();
    // After a new listing: top row 0, scroll bar, whole view repainted.
    void ListingChanged();

    // Kept between paints: the off-screen image and the dots of the column rules.
    QImage m_imgBuffer;
    std::vector<CPoint> m_aRulePoints;
};
