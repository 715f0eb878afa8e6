// Facts about the running program that the logic needs.
#pragma once

#include "platform/Version.h"

#include <string>

namespace levora {

struct AppInfo {
    std::string programFolder; // Windows path, no trailing backslash ("C:\Program Files\Levora")
    std::string exeBaseName = "Levora";
    std::string commandLine; // the process command line, as one text
    int versionMajor = kVersionMajor;
    int versionMinor = kVersionMinor;
    int versionRevision = kVersionRevision;
};

} // namespace levora
