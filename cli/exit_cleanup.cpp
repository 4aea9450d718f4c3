#include "cli/exit_cleanup.h"

#ifdef _WIN32

namespace exitcleanup {
void Install()
{
}
void AddFile(const std::string&)
{
}
void AddFolder(const std::string&)
{
}
void Forget(const std::string&)
{
}
Hold::Hold() = default;
Hold::~Hold() = default;
}  // namespace exitcleanup

#else

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};
constexpr std::size_t kSlots = 8;
constexpr std::size_t kPathMax = 4096;

struct Slot {
    char path[kPathMax + 1];
    bool folder;
    bool used;
};
Slot g_slots[kSlots];

extern "C" void OnSignalCleanUp(int signo)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (const Slot& slot : g_slots) {
            if (!slot.used || slot.folder != (pass == 1))
                continue;
            if (slot.folder)
                ::rmdir(slot.path);
            else
                ::unlink(slot.path);
        }
    }
    ::_exit(128 + signo);
}

void Add(const std::string& path, bool folder)
{
    if (path.empty() || path.size() > kPathMax)
        return;
    // Changes to the list never meet the handler half-done.
    exitcleanup::Hold hold;
    for (Slot& slot : g_slots) {
        if (!slot.used) {
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.folder = folder;
            slot.used = true;
            return;
        }
    }
}

}  // namespace

namespace exitcleanup {

void Install()
{
    struct sigaction action {};
    action.sa_handler = OnSignalCleanUp;
    sigemptyset(&action.sa_mask);
    for (int signo : kSignals)
        sigaddset(&action.sa_mask, signo);
    for (int signo : kSignals)
        ::sigaction(signo, &action, nullptr);
}

void AddFile(const std::string& path)
{
    Add(path, false);
}

void AddFolder(const std::string& path)
{
    Add(path, true);
}

Hold::Hold()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signo : kSignals)
        sigaddset(&set, signo);
    ::sigprocmask(SIG_BLOCK, &set, &m_old);
}

Hold::~Hold()
{
    ::sigprocmask(SIG_SETMASK, &m_old, nullptr);
}

void Forget(const std::string& path)
{
    Hold hold;
    for (Slot& slot : g_slots)
        if (slot.used && path == slot.path)
            slot.used = false;
}

}  // namespace exitcleanup

#endif
