// levora-level's command line: its switches, their help and the checks made before the machine is opened.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace levora::console {

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
};

extern const char* const kDescription;

void defineArguments(CLI::App& cli, Arguments& a);
// 0, or the exit status of a wrong combination (its message on stderr).
int checkArguments(const Arguments& a);

} // namespace levora::console
