#include "Module1.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace levora {

namespace {
// Longest single sleep in the pump, so the pause ends close to its time even without events.
constexpr double kSliceSeconds = 0.05;
} // namespace

bool bWaitForProcess(IProcesses& processes, uint32_t pid, uint32_t timeoutMs) {
    try {
        return processes.Wait(pid, timeoutMs).kind != WaitResult::Kind::Failed;
    } catch (...) {
        return false;
    }
}

void Pause(IClock& clock, IEventPump& pump, double seconds) {
    if (!(seconds > 0))
        return;
    const double end = clock.Now() + seconds;
    for (double now = clock.Now(); now < end; now = clock.Now()) {
        double slice = std::min(end - now, kSliceSeconds);
        pump.WaitEvents(std::max(1, static_cast<int>(slice * 1000.0 + 0.5)));
    }
}

void terminateProcess(int exitCode) {
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(exitCode);
}

void EndProgram(Logging& log, const TerminateFunction& terminate) {
    try {
        log.CloseLog();
    } catch (...) {
    }
    if (terminate)
        terminate(0);
    else
        terminateProcess(0);
}

} // namespace levora
