#include "framework/wait_cursor.h"

#include <QCursor>
#include <QGuiApplication>

namespace {
int g_nWaitDepth = 0;
}

void BeginWaitCursor()
{
    ++g_nWaitDepth;
    if (qGuiApp)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

void EndWaitCursor()
{
    // Unbalanced ends must not pop a cursor someone else pushed.
    if (g_nWaitDepth == 0)
        return;
    --g_nWaitDepth;
    if (qGuiApp)
        QGuiApplication::restoreOverrideCursor();
}
