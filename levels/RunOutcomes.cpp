#include "levels/RunOutcomes.h"

#include "speech/Leveler.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace levora {

namespace {

constexpr const char* kLevelled = " set to dB ";
constexpr const char* kCommandLine = "    Used command line=";
constexpr const char* kError = "(error)";

} // namespace

LevelOptions optionsOfCommandLine(const std::string& commandLine) {
    LevelOptions o;
    const gainfix::Options defaults;
    o.minimum = defaults.minimum;
    o.maxChange = defaults.maxGain;
    const size_t quote = commandLine.rfind('"');
    std::istringstream words(quote == std::string::npos ? commandLine : commandLine.substr(quote + 1));
    std::string word, value;
    while (words >> word) {
        double* into = word == "-t" ? &o.target : word == "-m" ? &o.minimum : word == "-g" ? &o.maxChange : nullptr;
        if (into && words >> value)
            *into = std::strtod(value.c_str(), nullptr);
    }
    return o;
}

std::map<std::string, LoggedFile> filesInRunLog(const std::filesystem::path& log) {
    std::map<std::string, LoggedFile> files;
    std::ifstream in(log, std::ios::binary);
    std::string line;
    std::vector<std::string> pending; // failures since the previous file's lines
    std::string last;                 // the file whose command line comes next
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind(kCommandLine, 0) == 0) {
            if (!last.empty())
                files[last].options = optionsOfCommandLine(line.substr(std::string(kCommandLine).size()));
            last.clear();
        } else if (line.rfind(kError, 0) == 0) { // the header names "(error)" too, in quotes
            const size_t colon = line.find("function: ");
            pending.push_back(colon == std::string::npos ? line : line.substr(colon + 10));
        } else if (const size_t at = line.rfind(kLevelled); at != std::string::npos && at > 0) {
            last = line.substr(0, at);
            files[last].failures = std::move(pending);
            pending.clear();
        }
    }
    return files;
}

void classifyRow(ReportRow& row, const LoggedFile* logged) {
    row.reason.clear();
    if (!logged) {
        row.what = WhatHappened::LeftAlone;
        row.reason = "not levelled";
        return;
    }
    row.options = logged->options;
    if (!logged->failures.empty()) {
        row.what = WhatHappened::Failed;
        for (const std::string& f : logged->failures)
            row.reason += (row.reason.empty() ? "" : "; ") + f;
        return;
    }
    if (!row.before.audio) {
        row.what = WhatHappened::LeftAlone;
        row.reason = "not audio";
        return;
    }
    // The tool's own rule, on the level it measures.
    gainfix::SpeechLevel level;
    level.silent = row.before.silent;
    level.level = row.before.level;
    gainfix::Options options;
    options.target = row.options.target;
    options.minimum = row.options.minimum;
    options.maxGain = row.options.maxChange;
    const gainfix::Outcome plan = gainfix::plan(level, options);
    if (plan.copied) {
        const bool below = !level.silent && options.target != 0.0 && level.level < options.minimum;
        row.what = below ? WhatHappened::BelowThreshold : WhatHappened::LeftAlone;
        if (!below)
            row.reason = plan.reason;
    } else {
        row.what = std::fabs(options.target - level.level) > options.maxGain ? WhatHappened::MovedByLargestChange
                                                                             : WhatHappened::ReachedTarget;
    }
}

} // namespace levora
