// The greeting leveling run behind the main window's cmdSetdB button.
#pragma once

#include "leveling/BackupOriginals.h"
#include "leveling/FileOutcome.h"
#include "leveling/RunContext.h"
#include "leveling/SyncDirectory.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace levora {

// How far a run went.
enum class RunEnd {
    Refused,          // another run, prompt leveling or restore was busy: nothing happened
    LockFailed,       // the run lock could not even be tried (a full disk, a folder not writable): nothing happened
    NothingTicked,    // nothing to do
    BackupKept,       // stopped at the backup question: an earlier backup is kept, nothing levelled
    BackupFailed,     // the backup could not be made (or the window's question was answered No)
    Completed,        // every ticked file was given to the tool; the synchronisation ran
    StoppedByUser,    // requestStop: the files in flight were finished, the synchronisation ran
    StoppedByTimeouts // the tool timed out on files in a row: leveling stopped, the synchronisation ran
};

// How a leveling run ended, for a front end to report.
struct RunOutcome {
    RunEnd end = RunEnd::Refused;
    int filesTicked = 0;            // ticked rows when the run began
    int filesTried = 0;             // ticked rows given to the gain tool
    int filesLevelled = 0;          // files replaced by the tool's output
    bool synced = false;            // the host's synchronisation completed
    int failures = 0;               // "(error)" lines the run wrote, or would have written without a log
    int warnings = 0;               // "(warning)" lines, likewise
    bool logWritten = false;        // the run log holds every line (false: it could not be opened or written)
    std::vector<FileOutcome> files; // one per ticked row given to the tool, in the grid's order

    bool started() const { return end != RunEnd::Refused && end != RunEnd::LockFailed; }
    // The file loop and the synchronisation ran (false: nothing ticked, the backup refused or failed).
    bool reachedEnd() const {
        return end == RunEnd::Completed || end == RunEnd::StoppedByUser || end == RunEnd::StoppedByTimeouts;
    }
    // Recordings that could not be levelled; a file that is no recording at all does not count.
    int recordingsFailed() const;
};

class LevelingRun {
public:
    explicit LevelingRun(RunContext& ctx) : m_ctx(ctx), m_backup(ctx), m_sync(ctx) {}

    // The whole run; refused (nothing happens) while another run, prompt leveling or restore is busy.
    RunOutcome cmdSetdB_Click();

    DirectorySync& sync() { return m_sync; }

    // How many files the gain tool levels at once (1, the window's way, unless a front end says more).
    // The log, the progress and the levelled files are the same for any number.
    void setJobs(int jobs) { m_jobs = jobs < 1 ? 1 : jobs; }
    int jobs() const { return m_jobs; }

    // Decides whether an earlier backup in the backup folder may be replaced (a front end without a
    // user to ask); without one the backup step asks the user.
    void setMayReplaceBackup(std::function<bool()> decide) { m_mayReplaceBackup = std::move(decide); }
    // Called on the run's thread as each file is finished, in the grid's order.
    void setFileObserver(std::function<void(const FileOutcome&)> observer) { m_onFile = std::move(observer); }
    // Called the moment a file has been replaced, on the thread that replaced it, before it waits
    // its turn in the grid's order: a record kept from here loses no replaced file to a kill. Calls
    // never overlap each other or the file observer's.
    void setReplacedObserver(std::function<void(const std::string& path)> observer) {
        m_onReplaced = std::move(observer);
    }
    // Called once the file loop and the synchronisation are over, while the run still holds the machine.
    void setEndObserver(std::function<void(const RunOutcome&)> observer) { m_onEnd = std::move(observer); }

    // Asks the run to stop after the files being levelled now: the log says it stopped, the host is
    // synchronised. Safe from any thread and from a signal handler. A request made before a run stops
    // that run at its first row; it is forgotten when a run ends.
    void requestStop() noexcept { m_stop.store(true, std::memory_order_relaxed); }

    // After this many time-outs of the tool in a row, the run stops leveling.
    static constexpr int kTimeoutsInARow = 3;

private:
    void saveOptionsToRegistry(StepRunner& trap);
    void levelRows(int32_t rows, int selectedColumn, RunOutcome& outcome, StepRunner& trap);
    void removeScratchFiles(int slots, bool all, StepRunner& trap);

    RunContext& m_ctx;
    GreetingBackup m_backup;
    DirectorySync m_sync;
    int m_jobs = 1;
    std::function<bool()> m_mayReplaceBackup;
    std::function<void(const FileOutcome&)> m_onFile;
    std::function<void(const std::string&)> m_onReplaced;
    std::mutex m_observers; // one observer call at a time
    std::function<void(const RunOutcome&)> m_onEnd;
    std::atomic<bool> m_stop{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
};

} // namespace levora
