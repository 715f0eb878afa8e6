#include "RunSummary.h"

#include <cmath>
#include <cstdio>

namespace levora {

namespace {

// String-table IDs.
constexpr int kStrSilent = 61;
constexpr int kStrSpeechDetails = 62;
constexpr int kStrNotReadable = 63;
constexpr int kStrStopped = 65;
constexpr int kStrLevelled = 67;
constexpr int kStrLevelledWithFailures = 68;

std::string number(const char* format, double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

} // namespace

std::string fillIn(const std::string& text, const std::vector<std::string>& args) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const size_t arg = static_cast<size_t>(next - '1');
        if (text[i] == '%' && next >= '1' && next <= '9' && arg < args.size()) {
            out += args[arg];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string RunSummary(const RunOutcome& outcome, const TextOf& text) {
    const std::string tried = std::to_string(outcome.filesTried);
    if (outcome.end == RunEnd::StoppedByUser)
        return fillIn(text(kStrStopped), {tried, std::to_string(outcome.filesTicked)});
    const std::string levelled = std::to_string(outcome.filesLevelled);
    const int failed = outcome.filesTried - outcome.filesLevelled;
    if (failed > 0)
        return fillIn(text(kStrLevelledWithFailures), {levelled, tried, std::to_string(failed)});
    return fillIn(text(kStrLevelled), {levelled, tried});
}

std::string levelCellText(const FileLevel& level, const TextOf& text) {
    if (!level.audio)
        return "-";
    if (level.silent)
        return text(kStrSilent);
    return number("%.1f", level.level);
}

std::string levelCellTip(const FileLevel& level, const std::string& winPath, const TextOf& text) {
    if (!level.audio)
        return fillIn(text(kStrNotReadable), {winPath});
    return fillIn(text(kStrSpeechDetails),
                  {number("%.0f", level.activity * 100.0), number("%.1f", level.seconds), level.format});
}

bool outsideTargetBand(const FileLevel& level, double target, double minimum) {
    return target != 0.0 && level.measured() && level.level >= minimum &&
           std::fabs(level.level - target) > kTargetTolerance;
}

} // namespace levora
