#pragma once

#include <array>
#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace tideplot::testing {

struct CommandResult {
    int status = -1;    // exit status
    std::string output; // stdout and stderr
};

// Runs a shell command and collects what it prints.
inline CommandResult RunCommand(const std::string& command)
{
    CommandResult result;
    std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return result;
    std::array<char, 4096> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        result.output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

inline bool HaveCommand(const std::string& name)
{
    return RunCommand("command -v " + name).status == 0;
}

inline std::string Quote(const std::string& text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace tideplot::testing
