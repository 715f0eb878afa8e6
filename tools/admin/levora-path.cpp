// levora-path: converts between the Windows paths of the machine prefix and host paths.
//   levora-path -u WINPATH...   prints the host path of each
//   levora-path -w HOSTPATH...  prints the Windows path of each
// A path that cannot be converted is reported on stderr and makes the exit code non-zero.
#include "platform/Error.h"
#include "platform/Prefix.h"
#include "platform/Version.h"
#include "platform/WinPath.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

// Laid out as help2man reads it (the manual page is made from it).
const char* const kUsage =
    "Usage: levora-path -u WINPATH...\n"
    "  or:  levora-path -w HOSTPATH...\n"
    "  or:  levora-path --help | --version\n"
    "Converts between the Windows paths of the machine prefix and host paths.\n"
    "\n"
    "  -u WINPATH...   print the host path of each Windows path\n"
    "  -w HOSTPATH...  print the Windows path of each host path\n"
    "      --help      show this text\n"
    "      --version   show the version\n"
    "\n"
    "A path that cannot be converted is reported on standard error and makes the exit status 1;\n"
    "a wrong command line gives 2. The machine is $LEVORA_PREFIX (default $HOME/.levora).\n";

int usage() {
    std::cerr << kUsage;
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "levora-path " << levora::kVersionText << '\n';
        return 0;
    }
    if (argc < 3)
        return usage();
    const std::string mode = argv[1];
    if (mode != "-u" && mode != "-w")
        return usage();

    levora::MachinePrefix prefix(levora::MachinePrefix::defaultRoot());
    levora::PathNamespace ns(prefix);
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (mode == "-u") {
            try {
                std::cout << ns.toHost(arg).string() << '\n';
            } catch (const levora::Error& e) {
                std::cerr << "levora-path: cannot convert \"" << arg << "\": " << e.description() << '\n';
                status = 1;
            }
        } else {
            std::string win = arg.empty() ? std::string() : ns.toWindows(arg);
            if (win.empty()) {
                std::cerr << "levora-path: \"" << arg << "\" has no Windows path in " << prefix.root().string() << '\n';
                status = 1;
            } else {
                std::cout << win << '\n';
            }
        }
    }
    return status;
}
