// SIGINT and SIGTERM while a command-line run works: the first asks the run to stop after the files
// being levelled now (it then logs that, resynchronises the host and removes its scratch files); a
// second ends the program at once. Every file the run replaces is replaced whole, so even then none
// is torn.
#pragma once

#include <functional>
#include <thread>

namespace levora {

class StopSignals {
public:
    // stop runs on a thread of its own, once, after the first signal; a second one ends the process
    // with exitOnSecond. One instance at a time.
    StopSignals(std::function<void()> stop, int exitOnSecond);
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

} // namespace levora
