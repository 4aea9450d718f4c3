#include "filelist/vantrel_view.h"

// The printing work fills these in.
void CVantrelView::OnPrintDump() {}
void CVantrelView::OnPreviewDump() {}
