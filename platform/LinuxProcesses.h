// Processes started from Windows command lines, on Linux. Start, Wait and Kill may be called from
// several threads at once (levora-level waits for its gain tools on one thread per job).
#pragma once

#include "Process.h"
#include "WinPath.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <sys/types.h>
#include <vector>

namespace levora {

class LinuxProcesses : public IProcesses {
public:
    // programFolder: the Windows folder of the running program, where bare program names are
    // looked for first.
    LinuxProcesses(const PathNamespace& ns, std::string programFolder);
    ~LinuxProcesses() override;
    LinuxProcesses(const LinuxProcesses&) = delete;
    LinuxProcesses& operator=(const LinuxProcesses&) = delete;

    uint32_t CurrentProcessId() override;
    uint32_t Start(const std::string& commandLine, WindowStyle style) override;
    // Ended carries the exit code of our own children (128 + signal when killed by one); for
    // another program's process it is -1, as Linux gives only the parent its status.
    WaitResult Wait(uint32_t pid, uint32_t timeoutMs) override;
    bool Kill(uint32_t pid) override;
    bool SetPriorityClass(uint32_t pid, uint32_t priorityClass) override;

    // Called with every started program's process id (the run lock records them); set before any Start.
    void setStartObserver(std::function<void(uint32_t)> observer) { m_onStarted = std::move(observer); }

    // The nice value a priority class stands for; nullopt for an unknown class.
    static std::optional<int> niceForClass(uint32_t priorityClass);

    struct Resolved {
        std::filesystem::path program; // host path of the program to run
        std::string name;              // the program as the command line names it
        std::string rest;              // the command line after the program name
    };
    // Finds the program a command line starts: quoted, or the shortest run of blank-separated
    // pieces that names a program (as given, with ".exe", or without a trailing ".exe").
    // Throws Error 53 when there is none.
    Resolved resolve(const std::string& commandLine) const;

private:
    std::optional<std::filesystem::path> findProgram(const std::string& name) const;
    void reapEnded(); // with m_mutex held

    const PathNamespace& m_ns;
    std::mutex m_mutex; // guards the three sets below
    std::string m_programFolder;
    std::set<pid_t> m_children;                  // started by us, not yet reaped
    std::set<pid_t> m_groupLeaders;              // hidden children run in a process group of their own
    std::map<pid_t, WaitResult> m_endedUnwaited; // reaped in passing, status kept for the next Wait
    std::function<void(uint32_t)> m_onStarted;
};

} // namespace levora
