// Process utilities of Module1: waiting for a started program, pausing while the window stays
// alive, and ending the program.
#pragma once

#include "log/Logging.h"
#include "platform/Process.h"
#include "platform/Ui.h"

#include <cstdint>
#include <functional>

namespace levora {

// Waits for the process to end, at most timeoutMs (INFINITE_WAIT: no limit). True when it ended
// or the time-out elapsed; false when it could not be waited on (a process that has gone away).
bool bWaitForProcess(IProcesses& processes, uint32_t pid, uint32_t timeoutMs);

// Lets window events run until the given seconds have passed on the monotonic clock, sleeping
// in the event pump between events instead of spinning. Zero or less returns at once.
void Pause(IClock& clock, IEventPump& pump, double seconds);

// Ends the process with the exit code, no clean-up of any window: flushes standard output, then
// std::_Exit.
[[noreturn]] void terminateProcess(int exitCode);
using TerminateFunction = std::function<void(int exitCode)>;

// Closes the run log and ends the program at once with exit code 0. In the program it does not
// return; tests pass a terminate hook that records the call and returns.
void EndProgram(Logging& log, const TerminateFunction& terminate = terminateProcess);

} // namespace levora
