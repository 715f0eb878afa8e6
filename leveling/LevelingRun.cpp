#include "leveling/LevelingRun.h"

#include "leveling/JobQueue.h"
#include "leveling/Leftovers.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace levora {

int RunOutcome::recordingsFailed() const {
    int n = 0;
    for (const FileOutcome& f : files)
        n += f.failed() && !f.notRecording() ? 1 : 0;
    return n;
}

void LevelingRun::saveOptionsToRegistry(StepRunner& trap) {
    IRunView& view = m_ctx.view;
    auto write = [&](const char* name, double value) {
        m_ctx.registry.setRegValue(HKEY_LOCAL_MACHINE, kAgcKey, name, REG_DWORD, value);
    };
    trap.step([&] { write("AGCsampleSize", NumberOfText(view.cmbSampleSize())); });
    trap.step([&] { write("AGCgainThreshold", NumberOfText(view.cmbGainThreshold())); });
    // The field shows a negative level; the host keeps its magnitude.
    trap.step([&] { write("AGCminimumThreshold", std::fabs(NumberOfText(view.cmbMindBLevel()))); });
    trap.step([&] { write("AGCTargetDB", NumberOfText(view.cmbTargetDB())); });
}

namespace {

// How many levelled files per job may wait to be logged.
constexpr int kQueuedPerJob = 4;

// A row handed to the job queue: what its steps reported (written when the row is finished, before
// its two log lines) and, for a ticked row, its file's job as it ended.
struct RowWork {
    int row = 0;
    std::vector<Error> held;
    ToolJob job;
    bool replaced = false;
};

FileOutcome outcomeOf(const RowWork& w, int slot) {
    FileOutcome o;
    o.row = w.row;
    o.path = w.job.file;
    o.scratch = scratchFile(slot, true);
    o.commandLine = w.job.commandLine;
    try {
        o.target = NumberOfText(w.job.options.target);
        o.minimum = NumberOfText(w.job.options.minimum);
        o.maxChange = NumberOfText(w.job.options.maxChange);
        o.optionsKnown = true;
    } catch (const Error&) {
    }
    o.toolEnd = w.job.toolEnd;
    o.exitCode = w.job.exitCode;
    o.signal = w.job.signal;
    o.verdict = w.job.verdict;
    o.replaced = w.replaced;
    for (const Error& e : w.held)
        o.error += (o.error.empty() ? "" : "; ") + e.description();
    return o;
}

} // namespace

// The file loop: it reads the rows and hands each to the job queue, which levels up to m_jobs files
// at once and finishes the rows in grid order. The window and the log are only touched when a row is
// finished, so the log and the progress follow the grid as in a run of one file at a time.
void LevelingRun::levelRows(int32_t rows, int selectedColumn, RunOutcome& outcome, StepRunner& trap) {
    IRunView& view = m_ctx.view;
    GainToolRunner& gain = m_ctx.gain;
    int fileColumn = -1;
    trap.step([&] { fileColumn = view.gridColumnByKey("FileName"); });

    // Levelled files wait to be logged in grid order while the next ones are levelled, so that one slow
    // file holds no other job up; each holds its scratch file until it is logged.
    JobQueue queue(m_jobs, m_jobs == 1 ? 1 : kQueuedPerJob * m_jobs);
    CaseTwins twins(m_ctx.fs);
    int timeoutsInARow = 0;
    bool timedOutStop = false;
    auto progress = [&] {
        trap.step([&] { view.setProgressValue(view.progressValue() + 1); });
        trap.step([&] { m_ctx.pump.DoEvents(); });
    };

    // A 32-bit counter: a host may hold more than 32,767 greetings.
    int32_t row = 1;
    for (; row < rows; ++row) {
        if (m_stop.load(std::memory_order_relaxed) || timedOutStop)
            break;
        auto work = std::make_shared<RowWork>();
        work->row = row;
        StepRunner held([work](const Error& e) { work->held.push_back(e); });
        bool selected = false;
        held.step([&] { selected = view.gridChecked(row, selectedColumn); });
        // Names that differ only in case: neither is levelled, so that one never ends up over the other.
        bool twin = false;
        held.step([&] {
            if (!selected)
                return;
            const std::string name = view.gridText(row, fileColumn);
            if (const auto others = twins.twinsOf(name); !others.empty()) {
                selected = false;
                twin = true;
                work->job.file = name;
                throw CaseTwins::refusal(name, others);
            }
        });
        if (!selected) {
            queue.add({}, [&, work, twin](int, std::exception_ptr) {
                for (const Error& e : work->held)
                    trap.report(e);
                if (twin) {
                    FileOutcome refused;
                    refused.row = work->row;
                    refused.path = work->job.file;
                    for (const Error& e : work->held)
                        refused.error += (refused.error.empty() ? "" : "; ") + e.description();
                    outcome.files.push_back(refused);
                    if (m_onFile)
                        trap.step([&] {
                            std::lock_guard lock(m_observers);
                            m_onFile(outcome.files.back());
                        });
                }
                progress();
            });
            continue;
        }
        std::string file;
        OptionTexts options;
        // The texts are read anew for every file: a field changed during the run counts from now on.
        held.step([&] {
            file = view.gridText(row, fileColumn);
            options = readOptionTexts(view);
        });
        ++outcome.filesTried;
        auto level = [this, &gain, work, file, options, held](int slot, const std::function<void()>& toolEnded) {
            work->job = gain.startFile(file, options, slot, held);
            work->replaced = gain.completeFile(work->job, held, toolEnded);
            if (work->replaced && m_onReplaced) {
                std::lock_guard lock(m_observers);
                try {
                    m_onReplaced(file);
                } catch (...) {
                    // What observes the run never fails a file that is levelled already.
                }
            }
        };
        auto finish = [&, work, file](int slot, std::exception_ptr error) {
            if (error) {
                const Error e = toError(error);
                trap.report(e);
                work->held.insert(work->held.begin(), e);
            }
            for (size_t i = error ? 1 : 0; i < work->held.size(); ++i)
                trap.report(work->held[i]);
            if (!error)
                trap.step([&] { gain.logFile(work->job); });
            work->job.file = file;
            outcome.files.push_back(outcomeOf(*work, slot));
            if (work->replaced)
                ++outcome.filesLevelled;
            // A tool that hangs on every file would cost its time-out for each of them.
            timeoutsInARow = work->job.toolEnd == ToolEnd::TimedOut ? timeoutsInARow + 1 : 0;
            if (timeoutsInARow == kTimeoutsInARow) {
                timedOutStop = true;
                trap.report(Error(err::ToolTimeoutsInARow));
            }
            if (m_onFile)
                trap.step([&] {
                    std::lock_guard lock(m_observers);
                    m_onFile(outcome.files.back());
                });
            progress();
        };
        queue.add(level, finish);
    }
    queue.finishAll();

    const bool stopped = row < rows;
    if (stopped) {
        outcome.end = timedOutStop ? RunEnd::StoppedByTimeouts : RunEnd::StoppedByUser;
        if (!timedOutStop)
            trap.step([&] {
                m_ctx.log.WriteLog("(warning) The run was stopped by the user after " +
                                   std::to_string(outcome.files.size()) + " of " + std::to_string(outcome.filesTicked) +
                                   " files");
            });
    }
    removeScratchFiles(queue.slots(), stopped, trap);
}

// The extra jobs' scratch files go at the end of every run; the first one, which a run of one job
// has always left, only when the run was stopped.
void LevelingRun::removeScratchFiles(int slots, bool all, StepRunner& trap) {
    for (int slot = all ? 0 : 1; slot < slots; ++slot)
        trap.step([&] {
            const std::string scratch = scratchFile(slot);
            if (m_ctx.fs.FileExists(scratch))
                m_ctx.fs.DeleteFile(scratch, true);
        });
}

RunOutcome LevelingRun::cmdSetdB_Click() {
    RunOutcome outcome;
    // The stop asked for belongs to this run: forgotten when it ends, however it ends.
    struct ForgetStop {
        std::atomic<bool>& stop;
        ~ForgetStop() { stop.store(false, std::memory_order_relaxed); }
    } forgetStop{m_stop};
    // Taken before anything changes; another process working on this machine refuses the run.
    BusyGuard guard(m_ctx.busy, m_ctx.view);
    if (!guard.acquired()) {
        ReportRefusal(m_ctx, guard);
        outcome.end = guard.lockFailure() ? RunEnd::LockFailed : RunEnd::Refused;
        return outcome;
    }
    // The host's folders may be reached from another machine prefix as well: they are locked too.
    std::string root;
    StepRunner([](const Error&) {}).step([&] { root = readHostRoot(m_ctx.registry); });
    if (!guard.lockFolders(m_ctx.fs, {root, "c:\\"})) {
        ReportRefusal(m_ctx, guard);
        outcome.end = guard.lockFailure() ? RunEnd::LockFailed : RunEnd::Refused;
        return outcome;
    }
    outcome.end = RunEnd::NothingTicked;

    IRunView& view = m_ctx.view;
    Logging& log = m_ctx.log;
    const Logging::Tally before = log.tally();
    auto ended = [&] {
        m_stop.store(false);
        const Logging::Tally now = log.tally();
        outcome.failures = now.errors - before.errors;
        outcome.warnings = now.warnings - before.warnings;
        outcome.logWritten = outcome.reachedEnd() && now.written;
        return outcome;
    };
    StepRunner trap([&](const Error& e) { log.WriteLog("(error) in cmdSetDB function: " + e.description()); });

    // Nothing ticked: nothing to do.
    int selectedColumn = -1;
    trap.step([&] {
        selectedColumn = view.gridColumnByKey("selected");
        const int32_t rows = view.gridRows();
        for (int32_t row = 1; row < rows; ++row)
            outcome.filesTicked += view.gridChecked(row, selectedColumn) ? 1 : 0;
    });
    if (outcome.filesTicked == 0) {
        guard.releaseMachine(); // a box left open holds no other run off
        m_ctx.msgbox.MsgBox(m_ctx.loadString(26), vbOKOnly);
        return ended();
    }

    // The options become the host's defaults before anything else changes.
    bool saveToRegistry = false;
    trap.step([&] { saveToRegistry = view.chkSaveToRegistry(); });
    if (saveToRegistry)
        saveOptionsToRegistry(trap);

    // The host root, for the backup.
    trap.step([&] { root = readHostRoot(m_ctx.registry); });

    // What a killed run left beside the files is neither levelled nor backed up.
    bool backup = false;
    trap.step([&] { backup = view.chkBackup(); });
    std::string backupTarget;
    if (backup)
        trap.step([&] { backupTarget = view.txtBackupTarget(); });
    std::vector<std::string> removed = guard.removedLeftovers();
    for (const std::string& file : RemoveLeftovers(m_ctx.fs, RunFolders(root, backupTarget)))
        removed.push_back(file);

    // The backup; a refusal or a failure ends the run before any file changes.
    if (backup) {
        bool earlier = false;
        if (m_mayReplaceBackup && !backupTarget.empty())
            trap.step([&] { earlier = m_ctx.fs.FolderExists(backupTarget + "Stream Files"); });
        if (earlier && !m_mayReplaceBackup()) {
            outcome.end = RunEnd::BackupKept;
            trap.step([&] { view.setHourglass(false); });
            return ended();
        }
        bool mayContinue = false;
        trap.step([&] { mayContinue = m_backup.BackupOriginals(root, view.txtBackupTarget()); });
        if (!mayContinue) {
            outcome.end = RunEnd::BackupFailed;
            trap.step([&] { view.setHourglass(false); });
            return ended();
        }
    }

    // The hourglass, a fresh run log, and the progress bar over the grid's rows.
    trap.step([&] { view.setHourglass(true); });
    trap.step([&] { log.OpenLog(kRunLogPath, false); });
    for (const std::string& file : removed)
        log.WriteLog("Removed the leftover file " + file);
    int32_t rows = 0;
    trap.step([&] { rows = view.gridRows(); });
    trap.step([&] {
        view.setProgressRange(1, rows);
        view.setProgressValue(1);
    });

    outcome.end = RunEnd::Completed;
    levelRows(rows, selectedColumn, outcome, trap);

    // Synchronisation: its own trap covers the call only; what follows is the run's again.
    outcome.synced = m_sync.SyncDirectory(trap);

    if (m_onEnd)
        trap.step([&] { m_onEnd(outcome); });
    // The log closed and offered in the text viewer; the pointer back.
    trap.step([&] { log.CloseLog(); });
    // The machine's files are done: an answer left pending must not hold other runs off.
    guard.releaseMachine();
    // Whoever stopped the run is leaving: the log is not offered.
    trap.step([&] {
        if (outcome.end != RunEnd::StoppedByUser)
            OfferRunLog(m_ctx);
    });
    trap.step([&] { view.setHourglass(false); });
    return ended();
}

} // namespace levora
