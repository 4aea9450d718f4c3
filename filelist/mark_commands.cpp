#include "filelist/vantrel_view.h"

#include "framework/wait_cursor.h"

void CVantrelView::OnUpdateSelectAll(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(!m_aFiles.empty());
}

void CVantrelView::OnSelectAll()
{
    BeginWaitCursor();
    SetAllMarks(1);
    InvalidateRect(nullptr);
    // The commands' state follows the marks while the wait cursor still shows.
    emit commandStateChanged();
    EndWaitCursor();
}

void CVantrelView::OnSelectNone()
{
    BeginWaitCursor();
    SetAllMarks(0);
    InvalidateRect(nullptr);
    emit commandStateChanged();
    EndWaitCursor();
}

void CVantrelView::OnUpdatePrintDump(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(MarkedCount() >= 1);
}

void CVantrelView::OnUpdatePreviewDump(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(MarkedCount() == 1);
}
