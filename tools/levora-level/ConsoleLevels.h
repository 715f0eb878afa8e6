// levora-level's level report and nightly runs: the ticked files measured before and after the
// run, and the record of what was last levelled, so a nightly run levels only what changed.
#pragma once

#include "ConsoleFront.h"

#include "levels/FileLevel.h"
#include "levels/LevelReport.h"
#include "levels/LevelState.h"
#include "platform/WinPath.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace levora {
struct RunOutcome;
}

namespace levora::console {

struct TickedFile {
    int row = 0;
    std::string path;           // as the grid holds it
    std::filesystem::path host; // empty when the path does not resolve
};

std::vector<TickedFile> tickedFiles(const ConsoleForm& form, const PathNamespace& ns);

// The options the run gives the gain tool, as the record keys them ("t=-26 m=-45 b=8000 g=5").
std::string recordOptions(const IRunView& view);

// Unticks the rows whose files are as the record has them at these options; returns how many.
int untickUnchanged(ConsoleForm& form, const std::vector<TickedFile>& files, const LevelState& state,
                    const std::string& options);

// The report of a run: each file's level before (measured before the run, in `before`), what the
// run's log says of it, and its level now.
LevelReport reportOfRun(const std::vector<TickedFile>& files, const std::vector<FileLevel>& before,
                        const std::filesystem::path& runLog, const LevelOptions& shown);

// After a run: files the run failed on are forgotten (tried again next time) unless they are not
// audio at all; every other one is recorded as it is now. A file the limiter held back is then unchanged, and not
// limited again.
void recordRun(LevelState& state, const std::vector<TickedFile>& files, const std::filesystem::path& runLog,
               const std::string& options);

// --report and --changed-only around one run: the record read and the ticked files measured before
// it, the report and the record written after it.
class NightlyLevels {
public:
    NightlyLevels(std::filesystem::path prefixRoot, std::string report, bool changedOnly);

    // Unticks the files unchanged since the last run (with --changed-only) and measures the others
    // for the report. False when nothing is left to level.
    bool beforeRun(ConsoleForm& form, const PathNamespace& ns, std::ostream& out);
    // Writes the report and the record; 0, or 1 when one of them could not be written.
    int afterRun(const ConsoleForm& form, const RunOutcome& outcome, const std::filesystem::path& runLog,
                 std::ostream& out, std::ostream& err);

private:
    std::filesystem::path m_root;
    std::filesystem::path m_statePath;
    std::string m_report;
    bool m_changedOnly;
    bool m_keepRecord;
    LevelState m_state;
    std::string m_options;
    std::vector<TickedFile> m_files;
    size_t m_listed = 0;
    std::vector<FileLevel> m_before;
};

} // namespace levora::console
