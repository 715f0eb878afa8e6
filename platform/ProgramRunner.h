// Running a helper program to its end and collecting what it printed (standard output and error
// together), for the tools that drive smbclient and net.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace levora {

struct ProgramResult {
    int status = -1;       // exit code; 128 + the signal when killed by one; -1 when it could not start
    std::string output;    // standard output and standard error, interleaved as written
    bool timedOut = false; // killed because it ran past the bound
};

class IProgramRunner {
public:
    virtual ~IProgramRunner() = default;
    // argv[0] is looked up on PATH. folder: the working folder (empty: ours). Never throws.
    virtual ProgramResult run(const std::vector<std::string>& argv, const std::filesystem::path& folder = {}) = 0;
};

class LinuxProgramRunner : public IProgramRunner {
public:
    explicit LinuxProgramRunner(unsigned timeoutSeconds = 300) : m_timeoutSeconds(timeoutSeconds) {}
    ProgramResult run(const std::vector<std::string>& argv, const std::filesystem::path& folder = {}) override;

private:
    unsigned m_timeoutSeconds;
};

} // namespace levora
