// The gain tool's command line, as the host's administration tools build it:
//   gainfix315 -s "SRC" -d DST -t -26 -m -45 -b 8000 -g 5
// The program's own name decides which flags it takes: "gainfix" (the oldest host releases)
// takes -s, -d and -t only; every other name takes all six.
#pragma once

#include "speech/Leveler.h"

#include <string>
#include <vector>

namespace gainfix {

struct Invocation {
    std::string program; // base name the tool was started under, e.g. "gainfix315"
    bool help = false;
    bool version = false;
    std::string source; // as given: a Windows path, or a host path beginning with '/'
    std::string destination;
    Options options;
};

// The name without folder and without a ".exe" suffix.
std::string programName(const std::string& argv0);
bool takesTuningFlags(const std::string& program);

// Throws ToolError(Usage) with a one-line message.
Invocation parseArguments(const std::vector<std::string>& args);

// "usage: gainfix315 -s SRC -d DST -t T [-m M] [-b B] [-g G]"
std::string usageLine(const std::string& program);
// The --help text, laid out as a manual page.
std::string manual(const std::string& program);

} // namespace gainfix
