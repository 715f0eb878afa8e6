// The greeting leveling run behind the main window's cmdSetdB button.
#pragma once

#include "leveling/BackupOriginals.h"
#include "leveling/RunContext.h"
#include "leveling/SyncDirectory.h"

#include <atomic>
#include <string>

namespace levora {

// How a leveling run ended, for a front end to report.
struct RunOutcome {
    bool started = false;    // false: refused while another run, prompt leveling or restore was busy
    bool reachedEnd = false; // the file loop and the synchronisation ran (false: nothing ticked, backup refused)
    int filesTried = 0;      // ticked rows given to the gain tool
    int filesLevelled = 0;   // files replaced by the tool's output
    bool synced = false;     // the host's synchronisation completed
    int failures = 0;        // "(error)" lines the run wrote, or would have written without a log
    int warnings = 0;        // "(warning)" lines, likewise
    bool logWritten = false; // the run log holds every line (false: it could not be opened or written)
    bool stopped = false;    // a stop request ended the file loop early
    int filesTicked = 0;     // ticked rows in the grid (filesTried of them were given to the tool)
};

class LevelingRun {
public:
    explicit LevelingRun(RunContext& ctx) : m_ctx(ctx), m_backup(ctx), m_sync(ctx) {}

    // The whole run; refused (nothing happens) while another run, prompt leveling or restore is busy.
    RunOutcome cmdSetdB_Click();

    DirectorySync& sync() { return m_sync; }

    // Asks the run to take no further file: the files being levelled are finished, the log says it
    // stopped, the host is synchronised. Safe from any thread or a signal handler. A request made before
    // a run stops that run at its first row; it is forgotten when a run ends.
    void requestStop() { m_stop.store(true); }

    // How many files the gain tool levels at once (1, the window's way, unless a front end says more).
    // The log, the progress and the levelled files are the same for any number.
    void setJobs(int jobs) { m_jobs = jobs < 1 ? 1 : jobs; }
    int jobs() const { return m_jobs; }

private:
    void saveOptionsToRegistry(StepRunner& trap);
    void levelRows(int32_t rows, int selectedColumn, RunOutcome& outcome, StepRunner& trap);

    RunContext& m_ctx;
    GreetingBackup m_backup;
    DirectorySync m_sync;
    int m_jobs = 1;
    std::atomic<bool> m_stop{false};
};

// The number a text begins with: blanks anywhere are ignored, reading stops at the first character
// that cannot continue the number, a text that does not begin with one gives 0 (" -26 dB" -> -26).
double NumberOfText(const std::string& text);

} // namespace levora
