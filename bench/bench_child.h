#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// Programs a benchmark measures run as children: their CPU and peak memory are their own.

// User plus system seconds of this process or of its waited-for children.
inline double CpuSeconds(int who)
{
    struct rusage usage {};
    ::getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct ChildRun {
    bool ok = false;
    double cpu = 0;  // seconds, the child and what it waited for
    long peakKiB = 0;  // the child's own peak resident memory
};

// Runs args as a child with env added to this process's environment; its standard output
// goes to out (nowhere when empty).
inline ChildRun RunChild(std::vector<std::string> args, const std::string& out = {}, std::vector<std::string> env = {})
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e != nullptr; ++e)
        envp.push_back(*e);
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, 1, out.empty() ? "/dev/null" : out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
    const double before = CpuSeconds(RUSAGE_CHILDREN);
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, argv[0], &quiet, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&quiet);
    ChildRun run;
    if (spawned != 0)
        return run;
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    run.cpu = CpuSeconds(RUSAGE_CHILDREN) - before;
    run.peakKiB = usage.ru_maxrss;
    return run;
}
