#include "filelist/vantrel_view.h"
#include "printing/view_printing.h"

// The commands hand over to the view's printing, which keeps the chain's own state.
void CVantrelView::OnPrintDump()
{
    CViewPrinting::Of(this).OnPrintDump();
}

void CVantrelView::OnPreviewDump()
{
    CViewPrinting::Of(this).OnPreviewDump();
}

void CVantrelView::OnUpdatePrintDirect(CCmdUI* pCmdUI)
{
    pCmdUI->Enable(true);
}

void CVantrelView::OnFilePrintDirect()
{
    CViewPrinting::Of(this).OnFilePrintDirect();
}
