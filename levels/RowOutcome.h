// What happened to a file in a run, for the level report and the level column: from what the run
// did to it (its FileOutcome) and its level measured again after the run.
#pragma once

#include "leveling/FileOutcome.h"
#include "levels/LevelReport.h"
#include "speech/Leveler.h"

namespace levora {

// A level after the run this close to the target has reached it. The gain tool applies no gain
// smaller than this, so a file within it is also one the tool leaves as it is.
constexpr double kTargetToleranceDb = gainfix::kNegligibleGainDb;

// Fills row.what, row.reason and row.options from row.before, row.after and what the run did to the
// file (nullptr: the run did not reach it).
void classifyRow(ReportRow& row, const FileOutcome* done);

// Fills row.what and row.reason with what a run with these options would do to the file, by the gain
// tool's own rule on its level before; the level after is cleared (not known yet).
void planRow(ReportRow& row, const LevelOptions& options);

} // namespace levora
