// levora-level's level report and nightly runs: the ticked files measured before and after the
// run, and the record of what was last levelled, so a nightly run levels only what changed.
#pragma once

#include "ConsoleFront.h"

#include "leveling/FileOutcome.h"
#include "levels/FileLevel.h"
#include "levels/LevelReport.h"
#include "levels/LevelState.h"
#include "platform/FileSystem.h"
#include "platform/WinPath.h"

#include <filesystem>
#include <optional>
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
int untickUnchanged(ConsoleForm& form, const std::vector<TickedFile>& files, const LevelState& state, IFileSystem& fs,
                    const std::string& options);

// The report of a run: each file's level before (measured before the run, in `before`), what the
// run did to it, and its level now.
LevelReport reportOfRun(const std::vector<TickedFile>& files, const std::vector<FileLevel>& before,
                        const std::vector<FileOutcome>& done, const LevelOptions& shown);

// The record file: its text, or nothing when it is missing; a file that is not a regular file or
// is larger than LevelState::kMaxRecordBytes reads as a damaged record.
std::optional<std::string> readRecord(const std::filesystem::path& file);

// --report and --changed-only around one run: the record read and the ticked files measured before
// it, each file recorded as the run finishes it, the report written after it.
class NightlyLevels {
public:
    NightlyLevels(IFileSystem& fs, std::filesystem::path prefixRoot, std::string report, bool changedOnly);

    // Unticks the files unchanged since the last run (with --changed-only), and those the record
    // does not know that are already at the target; measures the others for the report. False
    // when nothing is left to level.
    bool beforeRun(ConsoleForm& form, const PathNamespace& ns, std::ostream& out);
    // A file the run has finished: recorded as it is now (forgotten when it failed, unless it is no
    // recording at all), the record's line appended and flushed at once.
    void fileDone(const FileOutcome& file);
    // A file replaced by the run: recorded at once, so that a killed run loses none.
    void fileReplaced(const std::string& path);
    // The run has synchronised and still holds the machine: the record is written whole.
    void runEnded();
    // Writes the report; 0, or 1 when it or the record could not be written.
    int afterRun(const ConsoleForm& form, const RunOutcome& outcome, std::ostream& out, std::ostream& err);

    // Files the record did not know that were already at the target.
    std::size_t alreadyAtTarget() const { return m_atTarget.size(); }

private:
    void replaceRecord();

    IFileSystem& m_fs;
    std::filesystem::path m_root;
    std::filesystem::path m_statePath;
    std::string m_report;
    bool m_changedOnly;
    bool m_keepRecord;
    bool m_recordCurrent = false; // the file holds the current form, so lines may be appended to it
    LevelState m_state;
    std::string m_options;
    std::vector<TickedFile> m_files;
    size_t m_listed = 0;
    std::vector<FileLevel> m_before;
    std::vector<std::string> m_atTarget;
    std::string m_recordError;
};

} // namespace levora::console
