// The greeting leveling run behind the main window's cmdSetdB button.
#pragma once

#include "leveling/BackupOriginals.h"
#include "leveling/RunContext.h"
#include "leveling/SyncDirectory.h"

#include <string>

namespace levora {

class LevelingRun {
public:
    explicit LevelingRun(RunContext& ctx) : m_ctx(ctx), m_backup(ctx), m_sync(ctx) {}

    // The whole run; refused (nothing happens) while another run, prompt leveling or restore is busy.
    void cmdSetdB_Click();

    DirectorySync& sync() { return m_sync; }

private:
    void saveOptionsToRegistry(StepRunner& trap);

    RunContext& m_ctx;
    GreetingBackup m_backup;
    DirectorySync m_sync;
};

// The number a text begins with: blanks anywhere are ignored, reading stops at the first character
// that cannot continue the number, a text that does not begin with one gives 0 (" -26 dB" -> -26).
double NumberOfText(const std::string& text);

} // namespace levora
