// The level report of a run: one row per file (levels before and after, and what happened to it),
// written as CSV or as one self-contained HTML page with a histogram of the levels.
#pragma once

#include "levels/FileLevel.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace levora {

enum class WhatHappened {
    ReachedTarget,        // the gain brought it to the target
    MovedByLargestChange, // further from the target than the largest change: moved by that much
    MissedTarget,         // levelled, but measured again it is not at the target
    BelowThreshold,       // quieter than the minimum level: not adjusted
    LeftAlone,            // gain control off, no speech, already at the target, or not levelled
    Failed,               // the run reported a failure for it (reason: the log's words)
};

// The options a file was levelled with, in dB (the gain tool's defaults where the tool takes none).
struct LevelOptions {
    double target = -26.0;
    double minimum = -45.0;
    double maxChange = 5.0;
};

struct ReportRow {
    std::string path; // as the host stores it
    FileLevel before;
    FileLevel after;
    WhatHappened what = WhatHappened::LeftAlone;
    std::string reason; // the failure, or why a file was left alone
    LevelOptions options;
};

struct LevelReport {
    std::string machine; // where the host is (shown in the summary)
    std::string when;    // the run's date and time, as the caller shows it
    LevelOptions options;
    std::vector<ReportRow> rows;
    std::vector<std::string> notes; // extra summary lines ("12 files unchanged since the last run")
};

// "reached the target", "moved by the largest change: +5.1", "did not reach the target: -26.9", ...,
// "failed: <reason>". A change is the measured one (after minus before).
std::string whatHappenedText(const ReportRow& row);
// After minus before, when both are measured levels.
std::optional<double> levelChange(const ReportRow& row);

// The text with every byte sequence that is not UTF-8 replaced by U+FFFD (file names come as bytes).
std::string validUtf8(std::string_view text);

std::string reportCsv(const LevelReport& report);
std::string reportHtml(const LevelReport& report);

enum class ReportFormat { Csv, Html };
// By the file's extension (.csv, .htm, .html; letter case ignored); nothing for another one.
std::optional<ReportFormat> reportFormatFor(const std::filesystem::path& file);

// Writes the report in the format its name asks for, replacing the file in one step. Throws
// levora::Error (5 for an extension that is neither CSV nor HTML, else the file system's number).
void writeReport(const std::filesystem::path& file, const LevelReport& report);

} // namespace levora
