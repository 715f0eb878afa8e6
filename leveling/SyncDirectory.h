// Asking the host to bring its SQL data in line with the directory after a leveling run.
#pragma once

#include "leveling/RunContext.h"
#include "platform/Error.h"

#include <functional>
#include <string>

namespace levora {

constexpr const char* kSyncProgId = "SqlDirBridge.dbBridge.1";
// Set by levora-host attach (the host's address): the machine is a copy of a real host, whose own
// component resynchronises after detach, so the run starts none here.
constexpr const char* kAttachedHostKey = "SOFTWARE\\Levora\\Host";
constexpr const char* kAttachedHostValue = "Attached";

class DirectorySync {
public:
    static constexpr int kDefaultMaxTries = 20;
    static constexpr double kRetryPauseSeconds = 30.0;
    // The whole step, the component's calls and the pauses between them, ends within this bound.
    static constexpr double kDefaultTimeLimitSeconds = 120.0;

    explicit DirectorySync(RunContext& ctx) : m_ctx(ctx) {}

    // runTrap is the leveling run's reporter: it gets the failures to create the component and to
    // show the animation. Failures of the call itself are reported here (log line and string 42).
    // A component that stops answering (its server gone) is created once more; if it cannot be, or
    // goes again, the phase gives up, as it does when the time limit is reached (a call that hangs
    // is stopped at the limit). True when the synchronisation completed.
    bool SyncDirectory(StepRunner& runTrap);

    // How many calls are made before a live component that keeps saying "not complete" is given up.
    void setMaxTries(int tries) { m_maxTries = tries < 1 ? 1 : tries; }
    int maxTries() const { return m_maxTries; }
    void setTimeLimit(double seconds) { m_timeLimit = seconds; }
    // The clock the bound is measured on, in seconds (default: the monotonic clock).
    void setClock(std::function<double()> now) { m_now = std::move(now); }

    // "(error) Failed to syncronize SQL data with the directory.  Error number= 429 Description=..."
    static std::string failureLine(const Error& e);
    static bool isRetryable(int32_t number);

private:
    void showAnimation(StepRunner& trap);

    RunContext& m_ctx;
    int m_maxTries = kDefaultMaxTries;
    double m_timeLimit = kDefaultTimeLimitSeconds;
    std::function<double()> m_now;
};

} // namespace levora
