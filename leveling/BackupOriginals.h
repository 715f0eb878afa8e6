// The copy of the host's greetings and voice names into a backup folder before a leveling run.
#pragma once

#include "leveling/RunContext.h"

#include <string>

namespace levora {

class GreetingBackup {
public:
    explicit GreetingBackup(RunContext& ctx) : m_ctx(ctx) {}

    // root: the host's "Root Path" (ends with a backslash); target: txtBackupTarget as typed.
    // Writes target + "Stream Files" (the whole stream-files tree) and target + "DefaultConfiguration"
    // (the WAV files of the default configuration, with every sub-folder). Returns whether the run may
    // go on: false after a refusal, an empty target or a failure (already reported to the user).
    bool BackupOriginals(const std::string& root, const std::string& target);

private:
    bool ensureTargetFolder(const std::string& target);
    void copyWavTree(const std::string& source, const std::string& destination, int depth);

    RunContext& m_ctx;
};

// True when a file name ends in ".WAV" in any letter case.
bool bIsWavFileName(const std::string& name);

} // namespace levora
