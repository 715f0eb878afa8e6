// What the Progress frame says once a leveling run has ended, and the level column's texts, in the
// user's language: string-table texts with their %1, %2, ... filled in.
#pragma once

#include "leveling/LevelingRun.h"
#include "levels/FileLevel.h"

#include <functional>
#include <string>
#include <vector>

namespace levora {

using TextOf = std::function<std::string(int)>;

// Replaces %1 ... %9 with the arguments in one pass: an argument holding "%2" stays as it is.
std::string fillIn(const std::string& text, const std::vector<std::string>& args);

// "66 of 67 files levelled, 1 could not be (see the log)", or that the user stopped the run.
std::string RunSummary(const RunOutcome& outcome, const TextOf& text);

// The level column's cell: "-26.3", the word for silent, or "-" for a file that is not audio.
std::string levelCellText(const FileLevel& level, const TextOf& text);
// Its tooltip; a file that is not audio is named by its Windows path, as its row shows it.
std::string levelCellTip(const FileLevel& level, const std::string& winPath, const TextOf& text);

// Further from the target than this a level lies outside the target band.
constexpr double kTargetTolerance = 1.0;
// A level worth a run: measured, not below the minimum threshold (the tool leaves those alone) and
// outside the band. A target of 0 switches leveling off: nothing is.
bool outsideTargetBand(const FileLevel& level, double target, double minimum);

} // namespace levora
