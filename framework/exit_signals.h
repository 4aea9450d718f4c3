#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl+C) end the program as closing its
// window does. The handler only writes the signal's number into a pipe; the event loop
// reads it and calls onSignal, so no work runs inside the handler. On Windows a console's
// Ctrl+C or Ctrl+Break (as SIGINT) and its close, log-off or shut-down (as SIGTERM) come
// the same way, the console's handler waiting for the program to end; the end of the
// session (WM_ENDSESSION) calls onSessionEnd inside the system's message, after which the
// process may be ended at any moment: it must do the exit work itself.
class CExitSignals : public QObject {
public:
    explicit CExitSignals(std::function<void(int)> onSignal, std::function<void()> onSessionEnd = {},
                          QObject* parent = nullptr);
    ~CExitSignals() override;  // the handlers the program had before come back

    // On the main thread: onSignal with signo (the console's events on Windows).
    void DeliverSignal(int signo)
    {
        if (m_onSignal)
            m_onSignal(signo);
    }

private:
    void Deliver();

    std::function<void(int)> m_onSignal;
    std::function<void()> m_onSessionEnd;
    QSocketNotifier* m_pNotifier = nullptr;
};
