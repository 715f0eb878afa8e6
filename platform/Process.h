// Processes: starting a program from a Windows command line, waiting for it, priorities.
#pragma once

#include <cstdint>
#include <string>

namespace levora {

constexpr uint32_t INFINITE_WAIT = 0xFFFFFFFFu;

constexpr uint32_t NORMAL_PRIORITY_CLASS = 0x20;
constexpr uint32_t IDLE_PRIORITY_CLASS = 0x40;
constexpr uint32_t HIGH_PRIORITY_CLASS = 0x80;
constexpr uint32_t REALTIME_PRIORITY_CLASS = 0x100;
constexpr uint32_t BELOW_NORMAL_PRIORITY_CLASS = 0x4000;
constexpr uint32_t ABOVE_NORMAL_PRIORITY_CLASS = 0x8000;

enum class WindowStyle { Hidden, NormalFocus };

struct WaitResult {
    enum class Kind { Ended, TimedOut, Failed } kind = Kind::Failed;
    int exitCode = -1; // valid when Ended (128 + the signal when one ended it)
    int signal = 0;    // the signal that ended the process, 0 when it exited by itself
};

// "Segmentation fault" for 11: fixed English names, whatever the C library's language; "Signal N"
// for a number without one.
std::string signalName(int signal);

class IProcesses {
public:
    virtual ~IProcesses() = default;
    virtual uint32_t CurrentProcessId() = 0;
    // Splits by the Windows rules, resolves the program in the namespace and starts it.
    // Throws 53 "File not found" when no program is found. Returns the process id.
    virtual uint32_t Start(const std::string& commandLine, WindowStyle style) = 0;
    virtual WaitResult Wait(uint32_t pid, uint32_t timeoutMs) = 0;
    virtual bool Kill(uint32_t pid) = 0;
    virtual bool SetPriorityClass(uint32_t pid, uint32_t priorityClass) = 0;
};

} // namespace levora
