#pragma once

#include <string>

#ifndef _WIN32
#include <csignal>
#endif

// What a command-line run must not leave behind when it is ended by SIGTERM, SIGINT or
// SIGHUP: the handler removes the files, then the folders, and ends the process with
// 128 + the signal. Only calls that are safe in a signal handler run there; the list
// changes with those signals blocked.
namespace exitcleanup {

void Install();
void AddFile(const std::string& path);
void AddFolder(const std::string& path);
// Taken off the list: gone already, or kept (a finished output).
void Forget(const std::string& path);

// While it lives the signals wait: a file made and put on the list meanwhile is never
// left behind between the two steps.
class Hold {
public:
    Hold();
    ~Hold();
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
#ifndef _WIN32
    sigset_t m_old;
#endif
};

}  // namespace exitcleanup
