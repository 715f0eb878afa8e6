// levora-host: makes a machine prefix from a real Talvio host over its drive share and winreg
// (attach), puts back what the runs changed (detach), and shows where a prefix stands (status).
#include "HostCommands.h"

#include "platform/Session.h"
#include "platform/Version.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

namespace fs = std::filesystem;
using namespace levora;
using namespace levora::host;

namespace {

// "//HOST", "\\HOST" or "//HOST/SHARE".
bool parseHost(std::string text, HostAddress& address) {
    for (char& c : text)
        if (c == '\\')
            c = '/';
    if (text.rfind("//", 0) != 0 || text.size() < 3)
        return false;
    text = text.substr(2);
    if (const auto slash = text.find('/'); slash != std::string::npos) {
        address.share = text.substr(slash + 1);
        text.resize(slash);
    }
    address.server = text;
    return !text.empty() && !address.share.empty() && address.share.find('/') == std::string::npos;
}

std::string whoAmI() {
    const char* user = std::getenv("USER");
    return std::string(user && *user ? user : "someone") + "@" + ThisMachineName();
}

} // namespace

int main(int argc, char** argv) {
    CLI::App cli{"Attach a real Talvio host to a machine prefix, level it there, put the changes back.", "levora-host"};
    cli.set_version_flag("--version", std::string("levora-host ") + kVersionText);
    cli.require_subcommand(1);
    std::string hostText, prefix, auth, share, resync;
    bool prompts = false;

    CLI::App* attach = cli.add_subcommand("attach", "lock the host and pull its keys and files into the prefix");
    attach->add_option("host", hostText, "the host, //HOST")->required();
    attach->add_option("--share", share, "the share that holds the host's drive C (default C$)");
    attach->add_option("--prefix", prefix, "the machine prefix to make")->required();
    attach->add_option("-A,--authentication-file", auth, "smbclient's auth file (username = / password =)")->required();
    attach->add_flag("--prompts", prompts, "pull the prompts folder too (for prompt leveling)");
    attach->add_option("--resync", resync, "command that makes the host resynchronise, run by detach");

    CLI::App* detach = cli.add_subcommand("detach", "push the changed files and AGC defaults back, release the host");
    detach->add_option("--prefix", prefix, "the attached machine prefix")->required();
    CLI::Option* resyncOption = detach->add_option("--resync", resync, "command that makes the host resynchronise");

    CLI::App* status = cli.add_subcommand("status", "show the host, since when, and what detach would push");
    status->add_option("--prefix", prefix, "the machine prefix")->required();

    CLI::App* breakLock = cli.add_subcommand("break-lock", "remove the lock of a workstation that is gone");
    breakLock->add_option("host", hostText, "the host, //HOST")->required();
    breakLock->add_option("--share", share, "the share (default C$)");
    breakLock->add_option("-A,--authentication-file", auth, "smbclient's auth file")->required();

    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = cli.exit(e);
        return rc == 0 ? 0 : 2;
    }

    HostAddress address;
    if (!hostText.empty() && !parseHost(hostText, address)) {
        std::cerr << "levora-host: " << hostText << " is not a host (//HOST or //HOST/SHARE)\n";
        return 2;
    }
    if (!share.empty())
        address.share = share;
    address.authFile = auth;
    if (!auth.empty() && !fs::is_regular_file(auth)) {
        std::cerr << "levora-host: no auth file " << auth << "\n";
        return 2;
    }

    // smbclient's utimes takes local time: UTC keeps host times exact whatever the zone here.
    ::setenv("TZ", "UTC", 1);
    LinuxProgramRunner runner(1800); // a large host's files on a slow line
    HostCommands commands(runner, std::cout);
    commands.holder = whoAmI();
    commands.retryPause = [] { std::this_thread::sleep_for(std::chrono::seconds(2)); };
    const fs::path root = prefix.empty() ? fs::path() : fs::absolute(prefix);
    try {
        if (attach->parsed())
            return commands.attach(address, root, prompts, resync);
        if (detach->parsed())
            return commands.detach(root, resyncOption->count() ? std::optional<std::string>(resync) : std::nullopt);
        if (status->parsed())
            return commands.status(root);
        return commands.breakLock(address);
    } catch (const Error& e) {
        std::cout.flush();
        std::cerr << "levora-host: error " << e.number() << ": " << e.description() << "\n";
        return e.number() == kHostLocked ? kExitLocked : 1;
    } catch (const std::exception& e) {
        std::cout.flush();
        std::cerr << "levora-host: " << e.what() << "\n";
        return 1;
    }
}
