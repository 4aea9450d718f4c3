#pragma once

#include "framework/print_loop.h"

#include <QPointer>
#include <QPrinter>
#include <QWidget>

#include <functional>
#include <memory>

class QMainWindow;
class QPrintPreviewWidget;
class QPushButton;

// The print preview shown in the frame in place of the view: the pages the view's
// printing hooks draw, under a bar with the seven buttons of the preview bar.
class CPrintPreview : public QWidget {
    Q_OBJECT

public:
    // Button ids of the preview bar.
    enum : unsigned {
        ID_PREVIEW_CLOSE = 58112,
        ID_PREVIEW_NUMPAGE = 58113,
        ID_PREVIEW_NEXT = 58114,
        ID_PREVIEW_PREV = 58115,
        ID_PREVIEW_PRINT = 58116,
        ID_PREVIEW_ZOOMIN = 58117,
        ID_PREVIEW_ZOOMOUT = 58118,
    };
    enum ZoomState { ZoomOut, ZoomMiddle, ZoomIn };

    // Prepares the pages through the hooks (m_bPreview set) and puts the preview in
    // place of view in its frame, showing one page or two as the application's preview
    // setting says. Null when the hooks declined. The hooks must outlive the preview.
    // onPrint runs after the preview closed for its print button.
    static CPrintPreview* Open(CPrintHooks& hooks, QWidget* view, std::function<void()> onPrint);

    ~CPrintPreview() override;

    // Puts the view back, ends the job (OnEndPrinting) and deletes the preview later.
    void Close();
    void NextPage();
    void PrevPage();
    // Switches between one and two pages and keeps the choice in the preview setting.
    void ToggleTwoPages();
    void ZoomInStep();
    void ZoomOutStep();

    QPushButton* Button(unsigned id) const;
    QPrintPreviewWidget* PreviewWidget() const { return m_pPreview; }
    const CPrintInfo& Info() const { return m_info; }
    const QPrinter& Printer() const { return m_printer; }
    int CurrentPage() const;
    int PageCount() const;
    // The first page shown: in two pages the left one of the pair 1|2, 3|4, ...
    int FirstShownPage() const;
    bool TwoPages() const { return m_bTwoPages; }
    ZoomState Zoom() const { return m_nZoom; }

signals:
    void closed();

private:
    CPrintPreview(CPrintHooks& hooks, QWidget* view, std::function<void()> onPrint);
    void BuildBar();
    void PaintPages(QPrinter* printer);
    void ApplyView();
    // Two pages side by side from page 1 (Qt's facing pages put page 1 alone on the
    // right), the pair of page fitted into the view.
    void ShowPair(int page);
    void UpdateButtons();
    bool eventFilter(QObject* watched, QEvent* event) override;

    CPrintHooks& m_hooks;
    CPrintInfo m_info;
    QPrinter m_printer{QPrinter::HighResolution};
    QPointer<QWidget> m_pView;
    QPointer<QMainWindow> m_pFrame;
    std::function<void()> m_onPrint;
    QWidget* m_pBar = nullptr;
    QPrintPreviewWidget* m_pPreview = nullptr;
    ZoomState m_nZoom = ZoomOut;
    bool m_bTwoPages = false;
    bool m_bClosed = false;
};
