// What levora-level says after the run: how it ended, and how long each row of the file loop took.
#pragma once

#include "ConsoleFront.h"
#include "leveling/LevelingRun.h"
#include "leveling/RunView.h"
#include "platform/WinPath.h"

#include <chrono>
#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace levora::console {

// The machine, the file count and the options the run is about to use.
void writeSettings(std::ostream& out, const std::filesystem::path& machine, const ConsoleForm& form);

// How the run ended: files levelled, failures and warnings, each file that failed, the time it took
// and where the log is, or that it could not be written.
void writeRunSummary(std::ostream& out, const PathNamespace& ns, const RunOutcome& outcome,
                     std::chrono::steady_clock::duration elapsed);

// Exit statuses beside 0 (see the help's footer).
constexpr int kExitNotLevelled = 1;
constexpr int kExitWrongArgument = 2;
constexpr int kExitMachineBusy = 3;
constexpr int kExitFilesFailed = 4;
constexpr int kExitStoppedByUser = 5;
// A second SIGINT or SIGTERM ended the program at once.
constexpr int kExitKilled = 6;

// levora-level's exit status for how the run ended (0 when it levelled every recording).
int exitStatusOf(const RunOutcome& outcome);

// "1 error", "2 errors".
std::string counted(int n, const std::string& one, const std::string& many);
// "42.3 s", "12 min 05 s".
std::string elapsedText(std::chrono::steady_clock::duration elapsed);

// The run gives the progress bar its first value before the first row and adds 1 after each:
// stamp every value, then end() once the run has returned.
class RowTimes {
public:
    void stamp(int progressValue);
    void end();
    // One line per row (milliseconds, tab, file), then the rest of the run (the synchronisation,
    // the log closed, the final box) as "(sync)". False when the file cannot be written.
    bool write(const std::string& path, const IRunView& view) const;

private:
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<int, Clock::time_point>> m_stamps;
    Clock::time_point m_end;
};

} // namespace levora::console
