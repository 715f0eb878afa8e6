// levora-host's commands: attach a real host to a machine prefix, detach it (push back what the runs
// changed), show the attachment, break a stale host lock. The host is reached only through
// HostShare, so a scripted runner stands in for smbclient and net in the tests.
#pragma once

#include "Attachment.h"
#include "HostShare.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

namespace levora::host {

// Exit codes besides 0 (done) and 1 (failed, message printed).
constexpr int kExitLocked = 3;  // attach refused: another workstation holds the host
constexpr int kExitSkipped = 4; // detach done, but files were skipped (reported)

class HostCommands {
public:
    HostCommands(IProgramRunner& runner, std::ostream& out) : m_runner(runner), m_out(out) {}

    // Who takes the lock ("user@workstation"), the clock, and the pause between tries of a file in use.
    std::string holder = "levora-host";
    std::function<std::int64_t()> now;
    std::function<void()> retryPause;
    int triesInUse = 3;

    int attach(const HostAddress& address, const std::filesystem::path& prefix, bool prompts,
               const std::string& resync);
    int detach(const std::filesystem::path& prefix, const std::optional<std::string>& resync);
    int status(const std::filesystem::path& prefix);
    int breakLock(const HostAddress& address);

private:
    struct Holder {
        std::string name, since, token;
    };
    std::string takeLock(HostShare& host, const std::filesystem::path& work);
    std::optional<Holder> readHolder(HostShare& host);
    void releaseLock(HostShare& host, const std::string& token);
    void fetchKeys(HostShare& host, const std::filesystem::path& work, const std::string& unc);
    std::string hostRoot(const std::filesystem::path& systemReg, const std::string& share);
    // Replaces a host file: upload beside it, then rename over it. The host status of the failure
    // (empty: done).
    std::string replaceOnHost(HostShare& host, const std::filesystem::path& local, const std::string& target,
                              const std::string& token);
    bool pushAgc(HostShare& host, const std::filesystem::path& prefix, const std::filesystem::path& work);
    std::string resynchronise(const std::string& command, const std::string& server);
    std::int64_t clock() const;

    IProgramRunner& m_runner;
    std::ostream& m_out;
};

} // namespace levora::host
