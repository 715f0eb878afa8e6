// levora-level's command line: its switches, their help and the checks made before the machine is opened.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace levora::console {

// The most files levelled at once: each is a gain tool process with its own scratch file.
constexpr int kMaxJobs = 64;
// The gain tool's time-out per file, in seconds, unless --tool-timeout says otherwise.
constexpr int kDefaultToolTimeout = 600;

// Words wrapped at `width` columns with line breaks (the help indents the lines after the first).
std::string wrapWords(const std::string& text, std::size_t width);
// The number of cores, at least 1 and at most kMaxJobs.
int defaultJobs();

struct Arguments {
    std::string prefix;
    std::optional<int> target;
    bool noBackup = false;
    std::string backupDir;
    bool noRegistry = false;
    bool overwriteBackup = false;
    std::string rowTimes;
    std::string report;
    bool changedOnly = false;
    bool allowNetworkDrive = false; // read by the start-up from the command line itself
    int jobs = defaultJobs();
    int toolTimeout = kDefaultToolTimeout;
};

extern const char* const kDescription;

void defineArguments(CLI::App& cli, Arguments& a);
// 0, or the exit status of a wrong combination (its message on stderr).
int checkArguments(const Arguments& a);

} // namespace levora::console
