// SIGINT and SIGTERM while levora-level runs: the first asks the run to stop after the files being
// levelled now (it then logs that, resynchronises the host and removes its scratch files); a second
// ends the program at once. Every file the run replaces is replaced whole, so even then none is torn.
#pragma once

#include <functional>
#include <thread>

namespace levora::console {

// Exit status after the first signal: the run stopped early, its log complete, the host synchronised.
constexpr int kExitStopped = 4;
// Exit status after a second signal: ended at once; the host may need a resynchronisation (run again).
constexpr int kExitKilled = 5;

class StopSignals {
public:
    // stop runs on a thread of its own, once, after the first signal. One instance at a time.
    explicit StopSignals(std::function<void()> stop);
    // Restores the previous handlers.
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // A first signal came.
    bool received() const;

private:
    std::function<void()> m_stop;
    std::thread m_watcher;
};

} // namespace levora::console
