// SqlDirBridge: the host's synchronisation component ("SqlDirBridge.dbBridge.1"), an automation
// server on standard input and output. SyncCommit brings the greeting database in line with
// the "Stream Files" folder. Closing the input ends the server.
#include "BridgeServer.h"
#include "GreetingDatabase.h"
#include "platform/Error.h"
#include "platform/HostKeys.h"
#include "platform/Prefix.h"
#include "platform/RegistryStore.h"
#include "platform/WinPath.h"

#include <CLI/CLI.hpp>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace levora;
using namespace levora::demohost;

namespace {

std::optional<int32_t> parseHresult(const std::string& text) {
    try {
        size_t used = 0;
        const long long v = std::stoll(text, &used, 0);
        if (used != text.size() || v < INT32_MIN || v > UINT32_MAX)
            return std::nullopt;
        return static_cast<int32_t>(static_cast<uint32_t>(v));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string readRootPath(RegistryStore& reg) {
    HKEY key = 0;
    if (reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, hostkeys::kRootKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return {};
    uint8_t buffer[1024];
    uint32_t size = sizeof buffer, type = 0;
    std::string root;
    if (reg.RegQueryValueExA(key, hostkeys::kRootPathValue, &type, buffer, &size) == ERROR_SUCCESS && type == REG_SZ)
        root.assign(reinterpret_cast<const char*>(buffer), size);
    reg.RegCloseKey(key);
    while (!root.empty() && root.back() == '\0')
        root.pop_back();
    return root;
}

struct Where {
    fs::path prefix;
    std::string root; // Windows path of the host's installation folder, empty: from the registry
    int busyTimeoutMs = 1000;
};

SyncOutcome syncOnce(const Where& where) {
    SyncOutcome failed;
    try {
        MachinePrefix prefix(where.prefix);
        PathNamespace ns(prefix);
        std::string root = where.root;
        if (root.empty()) {
            RegistryStore reg(prefix.systemReg());
            root = readRootPath(reg);
        }
        if (root.empty()) {
            failed.message = "the host's \"Root Path\" is not set";
            return failed;
        }
        if (root.back() != '\\' && root.back() != '/')
            root += '\\';
        GreetingDatabase db(ns.toHost(root + "Data\\talvio.db"), where.busyTimeoutMs);
        return db.sync(ns.toHost(root + "Stream Files"), root + "Stream Files\\");
    } catch (const Error& e) {
        failed.message = e.description();
    } catch (const std::exception& e) {
        failed.message = e.what();
    }
    return failed;
}

void answer(const std::string& line) {
    std::string out = line + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"The Talvio host's synchronisation component: answers SyncCommit calls, one JSON line each way "
                 "on standard input and output, until its input is closed.",
                 "SqlDirBridge"};
    Where where;
    where.prefix = MachinePrefix::defaultRoot();
    std::string prefix = where.prefix.string(), hresultText = "-2147467261";
    BridgeFaults faults;
    app.add_option("--prefix", prefix, "Machine prefix (default: LEVORA_PREFIX)")->capture_default_str();
    app.add_option("--root", where.root, "Host installation folder (default: the registry's \"Root Path\")");
    app.add_option("--busy-timeout-ms", where.busyTimeoutMs, "How long to wait for another writer")
        ->check(CLI::Range(0, 600000))
        ->capture_default_str();
    app.add_option("--fail", faults.failCount, "Test: fail the first N calls with --hresult, then work")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--hresult", hresultText, "Test: the failure of --fail (decimal or 0x...; default E_POINTER)");
    app.add_option("--crash-after-calls", faults.crashAfterCalls, "Test: answer K calls, then die in the next")
        ->check(CLI::NonNegativeNumber);
    app.add_flag("--hang", faults.hang, "Test: never answer a call");
    CLI11_PARSE(app, argc, argv);

    const auto hr = parseHresult(hresultText);
    if (!hr) {
        std::cerr << "SqlDirBridge: --hresult: not a number: " << hresultText << "\n";
        return 2;
    }
    faults.failHresult = *hr;
    where.prefix = prefix;

    BridgeServer server([&] { return syncOnce(where); }, faults);
    bool hanging = false;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (hanging || line.find_first_not_of(" \t") == std::string::npos)
            continue;
        const BridgeServer::Reply reply = server.handle(line);
        switch (reply.action) {
        case BridgeServer::Action::Answer:
            answer(reply.line);
            break;
        case BridgeServer::Action::Hang:
            hanging = true; // keeps reading, so closing the input still ends the server
            break;
        case BridgeServer::Action::Crash:
            std::fwrite(reply.line.data(), 1, reply.line.size(), stdout);
            std::fflush(stdout);
            ::kill(::getpid(), SIGKILL);
            break;
        }
    }
    return 0;
}
