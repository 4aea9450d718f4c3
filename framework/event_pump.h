#pragma once

#include <QElapsedTimer>

// The message pump of long work (a dump, the pages of a job): the window stays alive
// and a quit request, however it comes, ends the work at once.

// Lets the window handle waiting events; false once the application was asked to quit,
// then the caller stops its work at once.
bool PumpWaitingMessages();
bool QuitRequested();
// Asks the application to quit, as closing its window does: every event loop running
// ends, and work running inside a pump ends at its next check.
void RequestQuit();
// Forgets a quit request (tests that simulate one).
void ClearQuitRequest();

// A pump for work that would pump at every small step: events are handled at most once in
// intervalMs, so a page drawn in a tenth of a millisecond does not also repaint the window
// (the status window's page line, flushed to the display) every time; a quit is seen at
// every step.
class CPacedPump {
public:
    explicit CPacedPump(int intervalMs) : m_nInterval(intervalMs) {}
    // As PumpWaitingMessages, once the interval has passed since it last pumped.
    bool Pump();

private:
    int m_nInterval;
    QElapsedTimer m_last;
};
