#pragma once

#include "framework/cdc.h"
#include "framework/cmd_target.h"

#include <QIcon>
#include <QMainWindow>

#include <map>
#include <string>

class QAction;
class QMenu;
class QToolBar;
class CVantrelView;

// One command of the frame: its menu text, the prompt and tooltip of its string, its
// accelerators and toolbar image.
struct CommandInfo {
    unsigned id;
    const char* menuText;  // "" for commands reached only through accelerators
    const char* prompt;  // the status prompt (first part of the command's string)
    const char* tooltip;  // the part after the line feed
    const char* shortcuts;  // ";"-separated key sequences, portable text
    int image;  // index into the toolbar strip, -1 for none
};

// The program's only top-level window: fixed 575 x 420, caption with system menu and
// minimise box, menu 128, a flat fixed toolbar, the view as its client, no status bar.
// Commands are one QAction each; their state comes from the update handlers of view,
// document, application and frame, in that order, before a menu opens and whenever
// the state changes, so a disabled command never runs.
class CMainFrame : public QMainWindow, public CCmdTarget {
    Q_OBJECT

public:
    explicit CMainFrame(CVantrelView* view);
    ~CMainFrame() override;

    static constexpr int kWidth = 575;
    static constexpr int kHeight = 420;
    static constexpr int kMinTrackWidth = 475;
    static constexpr int kMinTrackHeight = 380;

    // The minimum tracking size of an interactive sizing drag (WMSZ side codes 1..8):
    // the dragged edge is pushed back. Returns false (rectangle untouched, no default
    // processing) while maximised or minimised.
    static bool OnSizing(unsigned nSide, CRect* pRect, bool bZoomed, bool bIconic);

    bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI) override;

    CVantrelView* View() const { return m_pView; }
    QToolBar* ToolBar() const { return m_wndToolBar; }
    QAction* Action(unsigned nID) const;
    const std::map<unsigned, QAction*>& Actions() const { return m_actions; }

    // Routes a command: the update handlers first; a disabled or unhandled command is
    // refused (false). Otherwise the first target that handles it runs it.
    bool ExecuteCommand(unsigned nID);
    // Runs every command's update handler and applies the result to its action.
    void UpdateCommands();
    // Update of one command: true when some target handles it and left it enabled.
    bool IsCommandEnabled(unsigned nID);

    // The window title: the constant program name, whatever the document is called.
    static QString Title();

protected:
    bool event(QEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    bool Route(unsigned nID, CCmdUI* pCmdUI);
    void CreateActions();
    void CreateMenu();
    void CreateToolBar();
    void FixFrameSize();

    CVantrelView* m_pView;
    QToolBar* m_wndToolBar = nullptr;
    std::map<unsigned, QAction*> m_actions;
    bool m_bUpdating = false;
};

// Icon 128: the program's 32 x 32 and 16 x 16 images.
QIcon ProgramIcon();

// The command table of the frame (menu, accelerators, toolbar), in id order.
const CommandInfo* FindCommandInfo(unsigned nID);
