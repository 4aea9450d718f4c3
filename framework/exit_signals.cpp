#include "framework/exit_signals.h"

#include <QSocketNotifier>

#include <utility>

#ifndef _WIN32
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
int g_pipe[2] = {-1, -1};
struct sigaction g_previous[3];

extern "C" void OnSignalToPipe(int signo)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    // A full pipe already holds a signal to act on.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

CExitSignals::CExitSignals(std::function<void(int)> onSignal, std::function<void()> onSessionEnd, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)), m_onSessionEnd(std::move(onSessionEnd))
{
    if (g_pipe[0] >= 0 || ::pipe(g_pipe) != 0)
        return;  // one watcher per process
    for (int fd : g_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    m_pNotifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_pNotifier, &QSocketNotifier::activated, this, &CExitSignals::Deliver);
    struct sigaction action {};
    action.sa_handler = OnSignalToPipe;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &g_previous[i]);
}

CExitSignals::~CExitSignals()
{
    if (m_pNotifier == nullptr)
        return;
    for (std::size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &g_previous[i], nullptr);
    delete m_pNotifier;
    for (int& fd : g_pipe) {
        ::close(fd);
        fd = -1;
    }
}

void CExitSignals::Deliver()
{
    unsigned char byte = 0;
    int last = 0;
    while (::read(g_pipe[0], &byte, 1) == 1)
        last = byte;
    if (last != 0 && m_onSignal)
        m_onSignal(last);
}

#else

#include <QAbstractEventDispatcher>
#include <QAbstractNativeEventFilter>
#include <QCoreApplication>

#include <csignal>
#include <memory>

#include <windows.h>

namespace {

CExitSignals* g_pWatcher = nullptr;
HANDLE g_hEnded = nullptr;  // set once the program has done its exit work

BOOL WINAPI OnConsoleEvent(DWORD type)
{
    const int signo = type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    if (g_pWatcher == nullptr)
        return FALSE;
    CExitSignals* watcher = g_pWatcher;
    QMetaObject::invokeMethod(
        watcher, [watcher, signo] { watcher->DeliverSignal(signo); }, Qt::QueuedConnection);
    // After a close, log-off or shut-down the system ends the process as soon as this
    // returns: the settings and the work folder come first.
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        ::WaitForSingleObject(g_hEnded, INFINITE);
    return TRUE;
}

class CEndSessionFilter : public QAbstractNativeEventFilter {
public:
    explicit CEndSessionFilter(std::function<void()> onEnd) : m_onEnd(std::move(onEnd)) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override
    {
        const MSG* msg = static_cast<const MSG*>(message);
        // Every top-level window gets it; the work is done once.
        if (type == "windows_generic_MSG" && msg->message == WM_ENDSESSION && msg->wParam != 0 && !m_bEnded) {
            m_bEnded = true;
            if (m_onEnd)
                m_onEnd();
        }
        return false;
    }

private:
    std::function<void()> m_onEnd;
    bool m_bEnded = false;
};

std::unique_ptr<CEndSessionFilter> g_pFilter;

}  // namespace

CExitSignals::CExitSignals(std::function<void(int)> onSignal, std::function<void()> onSessionEnd, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal)), m_onSessionEnd(std::move(onSessionEnd))
{
    if (g_pWatcher != nullptr)
        return;  // one watcher per process
    g_pWatcher = this;
    g_hEnded = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    g_pFilter = std::make_unique<CEndSessionFilter>(m_onSessionEnd);
    QCoreApplication::instance()->installNativeEventFilter(g_pFilter.get());
}

CExitSignals::~CExitSignals()
{
    if (g_pWatcher != this)
        return;
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->removeNativeEventFilter(g_pFilter.get());
    g_pFilter.reset();
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_pWatcher = nullptr;
    // The exit work is done: a console handler waiting for it lets the system go on.
    ::SetEvent(g_hEnded);
}

void CExitSignals::Deliver()
{
}

#endif
