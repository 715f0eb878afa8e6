// Levels one WAV file with the external gain tool chosen by host version.
#pragma once

#include "host/TalvioVersion.h"
#include "leveling/FileOutcome.h"
#include "leveling/OptionTexts.h"
#include "log/Logging.h"
#include "platform/AppInfo.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace levora {

constexpr const char* kTempWavFile = "c:\\mytempwavfile774.wav";

// The scratch file the gain tool writes for job `job` (0-based) of a run that levels several files
// at once: job 0 keeps kTempWavFile, job k the same name with "-<k+1>" (c:\mytempwavfile774-2.wav).
// upperExtension: ".WAV", as the command line names it.
std::string scratchFile(int job, bool upperExtension = false);

// A file given to the gain tool whose tool may still be running: what completeFile and logFile need.
struct ToolJob {
    std::string file;
    OptionTexts options;
    int job = 0;
    std::string commandLine;
    bool started = false; // the tool was started and is to be waited for
    uint32_t pid = 0;
    std::chrono::steady_clock::time_point startedAt;
    // How it went, for the file's outcome: set by startFile and completeFile.
    ToolEnd toolEnd = ToolEnd::NotStarted;
    int exitCode = 0;
    int signal = 0;
    OutputVerdict verdict = OutputVerdict::NotChecked;
};

class GainToolRunner {
public:
    GainToolRunner(IFileSystem& fs, IProcesses& processes, const TalvioVersion& version, Logging& log,
                   const AppInfo& app);

    // The command line LevelFile builds for F with the given texts (host version decides the tool),
    // writing to the scratch file of the given job.
    std::string buildCommandLine(const std::string& file, const OptionTexts& options, int job = 0) const;
    // Runs every step under the reporter; a failing step is reported and the next one runs.
    // The two log lines are always written. True when F was replaced by the tool's output.
    bool LevelFile(const std::string& file, const OptionTexts& options, const StepRunner& trap);

    // LevelFile in parts, so that several tools can run at once, each job with its own scratch file:
    // startFile clears the scratch file, builds the command line and starts the tool; completeFile
    // waits for it and puts its output over F (true when F was replaced); logFile writes the two log
    // lines. startFile and completeFile touch neither the log nor the window: each job may run them
    // on a thread of its own, with a reporter of its own.
    ToolJob startFile(const std::string& file, const OptionTexts& options, int job, const StepRunner& trap);
    // toolEnded: called when the tool has ended (or was never started), before its output is taken.
    bool completeFile(ToolJob& job, const StepRunner& trap, const std::function<void()>& toolEnded = {});
    void logFile(const ToolJob& job);

    // Bound on one tool run (the tool is killed after it), counted from its start. Default 10 minutes.
    void setToolTimeoutMs(uint32_t ms) { m_toolTimeoutMs = ms; }
    uint32_t toolTimeoutMs() const { return m_toolTimeoutMs; }

private:
    IFileSystem& m_fs;
    IProcesses& m_processes;
    const TalvioVersion& m_version;
    Logging& m_log;
    const AppInfo& m_app;
    uint32_t m_toolTimeoutMs = 10 * 60 * 1000;
};

} // namespace levora
