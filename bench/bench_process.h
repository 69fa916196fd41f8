#pragma once
// Running a program from a benchmark, without a shell: its wall time, CPU time and peak
// resident memory, as the kernel counts them for the child.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

struct Measured {
    double seconds = 0;
    double cpuSeconds = 0; // user and system, all threads
    long peakKiB = 0;
};

// Runs `args` (the program found on PATH) with its output to /dev/null, and its errors too
// when `quietErrors`; exits naming the program when it fails.
inline Measured RunMeasured(const std::vector<std::string>& args, bool quietErrors = false)
{
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        if (quietErrors)
            std::freopen("/dev/null", "w", stderr);
        std::vector<char*> argv;
        for (const auto& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "failed: %s\n", args[0].c_str());
        std::exit(1);
    }
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(),
            seconds(usage.ru_utime) + seconds(usage.ru_stime), usage.ru_maxrss};
}
