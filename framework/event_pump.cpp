#include "framework/event_pump.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QPointer>

namespace {

// Sees the quit request however it comes (the window closed, the exit command), so
// that work running inside a pump can end at once.
class CQuitWatch : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
            m_bQuit = true;
        return false;
    }
    bool m_bQuit = false;
};

CQuitWatch* QuitWatch()
{
    static QPointer<CQuitWatch> watch;
    if (watch.isNull() && QCoreApplication::instance() != nullptr) {
        watch = new CQuitWatch;
        watch->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(watch);
    }
    return watch.data();
}

}  // namespace

bool QuitRequested()
{
    const CQuitWatch* watch = QuitWatch();
    return QCoreApplication::closingDown() || (watch != nullptr && watch->m_bQuit);
}

void RequestQuit()
{
    if (CQuitWatch* watch = QuitWatch())
        watch->m_bQuit = true;
    QCoreApplication::exit(0);
}

void ClearQuitRequest()
{
    if (CQuitWatch* watch = QuitWatch())
        watch->m_bQuit = false;
}

bool PumpWaitingMessages()
{
    QuitWatch();
    if (!QuitRequested())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return !QuitRequested();
}

bool CPacedPump::Pump()
{
    if (m_last.isValid() && m_last.elapsed() < m_nInterval) {
        // A quit the application was asked for is still seen at once.
        QuitWatch();
        QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::Quit);
        return !QuitRequested();
    }
    m_last.start();
    return PumpWaitingMessages();
}
