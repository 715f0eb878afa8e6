// What a leveling run did to each file, for the level report. The run tells it through its log:
// per file the gain tool's command line (the options it really used) and the failures reported
// before the file's closing lines. Together with the level before, the gain tool's own decision
// rule then says what happened.
#pragma once

#include "levels/LevelReport.h"

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace levora {

struct LoggedFile {
    std::vector<std::string> failures; // the descriptions of the "(error)" lines for this file
    LevelOptions options;              // from its command line (the tool's defaults for flags not given)
};

// Keyed by the file as the log names it (the grid's text). A missing log gives nothing.
std::map<std::string, LoggedFile> filesInRunLog(const std::filesystem::path& log);

// The options a gain tool command line gives (-t, -m, -g after the quoted source).
LevelOptions optionsOfCommandLine(const std::string& commandLine);

// Fills row.what, row.reason and row.options from row.before and what the log says of the file
// (nullptr: the run did not reach it).
void classifyRow(ReportRow& row, const LoggedFile* logged);

} // namespace levora
