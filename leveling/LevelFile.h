// Levels one WAV file with the external gain tool chosen by host version.
#pragma once

#include "host/TalvioVersion.h"
#include "log/Logging.h"
#include "platform/AppInfo.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"

#include <string>

namespace levora {

struct OptionTexts {
    std::string target;     // cmbTargetDB   -> -t
    std::string minimum;    // cmbMindBLevel -> -m
    std::string sampleSize; // cmbSampleSize -> -b
    std::string maxChange;  // cmbGainThreshold -> -g
};

constexpr const char* kTempWavFile = "c:\\mytempwavfile774.wav";

class GainToolRunner {
public:
    GainToolRunner(IFileSystem& fs, IProcesses& processes, const TalvioVersion& version, Logging& log,
                   const AppInfo& app);

    // The command line LevelFile builds for F with the given texts (host version decides the tool).
    std::string buildCommandLine(const std::string& file, const OptionTexts& options) const;
    // Runs every step under the reporter; a failing step is reported and the next one runs.
    // The two log lines are always written. True when F was replaced by the tool's output.
    bool LevelFile(const std::string& file, const OptionTexts& options, const StepRunner& trap);

    // Bound on one tool run (the tool is killed after it). Default 10 minutes.
    void setToolTimeoutMs(uint32_t ms) { m_toolTimeoutMs = ms; }

private:
    IFileSystem& m_fs;
    IProcesses& m_processes;
    const TalvioVersion& m_version;
    Logging& m_log;
    const AppInfo& m_app;
    uint32_t m_toolTimeoutMs = 10 * 60 * 1000;
};

} // namespace levora
