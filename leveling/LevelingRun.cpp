#include "leveling/LevelingRun.h"

#include "leveling/Leftovers.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <future>
#include <optional>
#include <semaphore>
#include <system_error>
#include <utility>
#include <vector>

namespace levora {

double NumberOfText(const std::string& text) {
    std::string compact;
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n')
            compact += c;

    auto digit = [&](size_t i) { return i < compact.size() && std::isdigit(static_cast<unsigned char>(compact[i])); };
    size_t i = 0;
    std::string number;
    if (i < compact.size() && (compact[i] == '-' || compact[i] == '+'))
        number += compact[i++];
    bool digits = false;
    while (digit(i)) {
        number += compact[i++];
        digits = true;
    }
    if (i < compact.size() && compact[i] == '.') {
        number += compact[i++];
        while (digit(i)) {
            number += compact[i++];
            digits = true;
        }
    }
    if (!digits)
        return 0.0;
    // An exponent (E, or D as the runtime also reads it) only counts when digits follow.
    if (i < compact.size() && std::strchr("eEdD", compact[i])) {
        size_t j = i + 1;
        std::string exponent = "e";
        if (j < compact.size() && (compact[j] == '-' || compact[j] == '+'))
            exponent += compact[j++];
        if (digit(j)) {
            while (digit(j))
                exponent += compact[j++];
            number += exponent;
        }
    }
    const double value = std::strtod(number.c_str(), nullptr);
    if (std::isinf(value))
        throw Error(err::Overflow);
    return value;
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

// A file's job as it ended: its command line and whether the tool's output replaced the file.
struct JobEnd {
    ToolJob job;
    bool replaced = false;
};

// A row of the file loop that is not finished yet: its ticked file's job may still be running.
struct PendingRow {
    std::vector<Error> held; // what its steps reported, written when the row is finished
    bool ticked = false;
    int job = -1; // the scratch file's number
    std::future<JobEnd> end;
};

} // namespace

// The file loop. Up to m_jobs files are levelled at once, each job on a thread of its own with its
// own scratch file; the window and the log are only touched here. Rows are finished strictly in
// grid order (the oldest first): what a row's steps reported is written then, before its two log
// lines, so the log and the progress follow the grid as in a run of one file at a time. With one
// job a row's file is levelled on this thread, when the row is finished, before the next is read.
void LevelingRun::levelRows(int32_t rows, int selectedColumn, RunOutcome& outcome, StepRunner& trap) {
    IRunView& view = m_ctx.view;
    GainToolRunner& gain = m_ctx.gain;
    int fileColumn = -1;
    trap.step([&] { fileColumn = view.gridColumnByKey("FileName"); });

    // Levelled files wait to be logged in grid order while the next ones are levelled, so that one slow
    // file holds no other job up; each holds its scratch file until it is logged.
    const int queued = m_jobs == 1 ? 1 : kQueuedPerJob * m_jobs;
    std::vector<bool> jobBusy(static_cast<size_t>(queued), false);
    std::counting_semaphore<> running(m_jobs); // before the rows: their jobs use it to the end
    std::deque<PendingRow> pending;            // references stay valid while rows are added and removed
    CaseTwins twins(m_ctx.fs);
    int ticked = 0;
    auto finishOldest = [&] {
        PendingRow& row = pending.front();
        if (row.ticked) {
            std::optional<JobEnd> end;
            trap.step([&] { end = row.end.get(); });
            jobBusy[static_cast<size_t>(row.job)] = false;
            --ticked;
            for (const Error& e : row.held)
                trap.report(e);
            if (end) {
                if (end->replaced)
                    ++outcome.filesLevelled;
                trap.step([&] { gain.logFile(end->job); });
            }
        } else {
            for (const Error& e : row.held)
                trap.report(e);
        }
        pending.pop_front();
        trap.step([&] { view.setProgressValue(view.progressValue() + 1); });
        trap.step([&] { m_ctx.pump.DoEvents(); });
    };

    // A 32-bit counter: a host may hold more than 32,767 greetings.
    for (int32_t row = 1; row < rows; ++row) {
        if (m_stop.load()) {
            outcome.stopped = true;
            for (int32_t rest = row; rest < rows; ++rest)
                trap.step([&] { outcome.filesTicked += view.gridChecked(rest, selectedColumn) ? 1 : 0; });
            break;
        }
        PendingRow& entry = pending.emplace_back();
        StepRunner held([held = &entry.held](const Error& e) { held->push_back(e); });
        bool selected = false;
        held.step([&] { selected = view.gridChecked(row, selectedColumn); });
        // Names that differ only in case: neither is levelled, so that one never ends up over the other.
        held.step([&] {
            if (const auto others =
                    selected ? twins.twinsOf(view.gridText(row, fileColumn)) : std::vector<std::string>{};
                !others.empty()) {
                selected = false;
                throw CaseTwins::refusal(view.gridText(row, fileColumn), others);
            }
        });
        if (selected) {
            std::string file;
            OptionTexts options;
            // The texts are read anew for every file: a field changed during the run counts from now on.
            held.step([&] {
                file = view.gridText(row, fileColumn);
                options = readOptionTexts(view);
            });
            ++outcome.filesTried;
            ++outcome.filesTicked;
            entry.job = static_cast<int>(std::find(jobBusy.begin(), jobBusy.end(), false) - jobBusy.begin());
            auto level = [&gain, &running, file, options, job = entry.job, held] {
                // At most m_jobs tools at once; the output of an ended one is taken while the next runs.
                running.acquire();
                struct Release {
                    std::counting_semaphore<>& s;
                    bool done = false;
                    void operator()() {
                        if (!std::exchange(done, true))
                            s.release();
                    }
                    ~Release() { (*this)(); }
                } release{running};
                JobEnd end;
                end.job = gain.startFile(file, options, job, held);
                end.replaced = gain.completeFile(end.job, held, std::ref(release));
                return end;
            };
            if (held.step([&] {
                    try {
                        entry.end = std::async(m_jobs > 1 ? std::launch::async : std::launch::deferred, level);
                    } catch (const std::system_error&) {
                        entry.end = std::async(std::launch::deferred, level); // no thread to spare: here
                    }
                })) {
                entry.ticked = true;
                jobBusy[static_cast<size_t>(entry.job)] = true;
                ++ticked;
            }
        }
        // A row waits only for a file that is being levelled: the oldest is finished when every job is busy.
        while (!pending.empty() && (!pending.front().ticked || ticked == queued))
            finishOldest();
    }
    while (!pending.empty())
        finishOldest();
    if (outcome.stopped) {
        // Whoever stopped the run is leaving: the scratch files go with it.
        StepRunner quiet(nullptr);
        for (int job = 0; job < queued; ++job)
            quiet.step([&] {
                if (m_ctx.fs.FileExists(scratchFile(job)))
                    m_ctx.fs.DeleteFile(scratchFile(job), true);
            });
        trap.step([&] {
            m_ctx.log.WriteLog("(warning) Stopped by the user after " + std::to_string(outcome.filesTried) + " of " +
                               std::to_string(outcome.filesTicked) + " files");
        });
    }
}

RunOutcome LevelingRun::cmdSetdB_Click() {
    RunOutcome outcome;
    // Taken before anything changes; another process working on this machine refuses the run.
    BusyGuard guard(m_ctx.busy, m_ctx.view);
    if (!guard.acquired()) {
        ReportRefusal(m_ctx, guard);
        return outcome;
    }
    // The host's folders may be reached from another machine prefix as well: they are locked too.
    std::string root;
    StepRunner([](const Error&) {}).step([&] { root = readHostRoot(m_ctx.registry); });
    if (!guard.lockFolders(m_ctx.fs, {root, "c:\\"})) {
        ReportRefusal(m_ctx, guard);
        return outcome;
    }
    outcome.started = true;

    IRunView& view = m_ctx.view;
    Logging& log = m_ctx.log;
    const Logging::Tally before = log.tally();
    auto ended = [&] {
        m_stop.store(false);
        const Logging::Tally now = log.tally();
        outcome.failures = now.errors - before.errors;
        outcome.warnings = now.warnings - before.warnings;
        outcome.logWritten = outcome.reachedEnd && now.written;
        return outcome;
    };
    StepRunner trap([&](const Error& e) { log.WriteLog("(error) in cmdSetDB function: " + e.description()); });

    // Nothing ticked: nothing to do.
    int selectedColumn = -1;
    bool anySelected = false;
    trap.step([&] {
        selectedColumn = view.gridColumnByKey("selected");
        const int32_t rows = view.gridRows();
        for (int32_t row = 1; row < rows && !anySelected; ++row)
            anySelected = view.gridChecked(row, selectedColumn);
    });
    if (!anySelected) {
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
        bool mayContinue = false;
        trap.step([&] { mayContinue = m_backup.BackupOriginals(root, view.txtBackupTarget()); });
        if (!mayContinue) {
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

    levelRows(rows, selectedColumn, outcome, trap);
    if (m_jobs > 1)
        RemoveScratchFiles(m_ctx.fs, kQueuedPerJob * m_jobs);

    // Synchronisation: its own trap covers the call only; what follows is the run's again.
    outcome.synced = m_sync.SyncDirectory(trap);

    // The log closed and offered in the text viewer; the pointer back.
    trap.step([&] { log.CloseLog(); });
    outcome.reachedEnd = true;
    // The machine's files are done: an answer left pending must not hold other runs off.
    guard.releaseMachine();
    // Whoever stopped the run is leaving: the log is not offered.
    trap.step([&] {
        if (!outcome.stopped)
            OfferRunLog(m_ctx);
    });
    trap.step([&] { view.setHourglass(false); });
    return ended();
}

} // namespace levora
