#pragma once

// The command state an update handler sets; the frame applies it to the QAction.
class CCmdUI {
public:
    explicit CCmdUI(unsigned id) : m_nID(id) {}
    void Enable(bool on = true)
    {
        m_bEnabled = on;
        m_bEnableChanged = true;
    }
    void SetCheck(int check = 1) { m_nCheck = check; }

    unsigned m_nID;
    bool m_bEnabled = true;
    bool m_bEnableChanged = false;
    int m_nCheck = 0;
};

// Something that takes commands: the view, the document, the application, the frame.
class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // pCmdUI != nullptr: run the update handler of nID if there is one (return true).
    // pCmdUI == nullptr: run the command handler of nID if there is one (return true).
    virtual bool OnCmdMsg(unsigned nID, CCmdUI* pCmdUI) = 0;
};
