// vantrel-layout: where the window's list lies, for a script that drives the real window
// with the mouse (scripts/test-windows-gui.sh). It starts as the program does, with the
// settings and the folder the program would read, so that the frame is laid out as the
// program's is, in the same style, fonts and window manager. It prints, in the frame's
// client pixels: the client's width and height, the top of the first entry row, the row
// height, and the left and right edges of the name column and of the printed column.

#include "app/main_frame.h"
#include "app/vantrel_app.h"
#include "filelist/list_layout.h"
#include "filelist/vantrel_view.h"

#include <QPoint>
#include <QSize>
#include <QTest>

#include <cstdio>

// Says why it gives up: a run that writes nothing at all is taken for Wine's failure to
// start (cmake/wine-run.sh).
static int Fail(const char* why)
{
    std::fprintf(stderr, "vantrel-layout: %s\n", why);
    theApp.ExitInstance();
    return 1;
}

int main(int argc, char** argv)
{
    if (!theApp.InitInstance(argc, argv))
        return Fail("the program did not start");
    CMainFrame* frame = theApp.MainFrame();
    CVantrelView* view = theApp.View();
    if (frame == nullptr || view == nullptr)
        return Fail("the program has no frame or no list");
    // The first window on a new display of a busy machine can take a while.
    if (!QTest::qWaitForWindowExposed(frame, 30000))
        return Fail("the frame did not show in 30 s");
    // The client takes its size once the window manager's frame is known: wait until it
    // holds still.
    QSize size;
    for (int i = 0; i < 50 && size != frame->size(); ++i) {
        size = frame->size();
        QTest::qWait(100);
    }
    const QPoint at = view->mapTo(frame, QPoint(0, 0));
    const ListGeometry g = view->Geometry();
    std::printf("%d %d %d %d %d %d %d %d\n", size.width(), size.height(), at.y() + g.RowsTop(), g.nRowHeight,
                at.x() + g.NameLeft(), at.x() + g.SizeLeft(), at.x() + g.PrintedLeft(), at.x() + g.Right());
    std::fflush(stdout);
    theApp.ExitInstance();
    return 0;
}
