#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a logout, kill, Ctrl+C) end the program as closing its
// window does. The handler only writes the signal's number into a pipe; the event loop
// reads it and calls onSignal, so no work runs inside the handler. A no-op on systems
// without these signals.
class CExitSignals : public QObject {
public:
    explicit CExitSignals(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~CExitSignals() override;  // the handlers the program had before come back

private:
    void Deliver();

    std::function<void(int)> m_onSignal;
    QSocketNotifier* m_pNotifier = nullptr;
};
