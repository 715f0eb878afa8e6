#include "levels/RowOutcome.h"

#include <cmath>
#include <cstdio>

namespace levora {

void classifyRow(ReportRow& row, const FileOutcome* done) {
    row.reason.clear();
    if (!done) {
        row.what = WhatHappened::LeftAlone;
        row.reason = "not levelled";
        return;
    }
    if (done->optionsKnown)
        row.options = LevelOptions{done->target, done->minimum, done->maxChange};
    if (done->failed()) {
        row.what = WhatHappened::Failed;
        row.reason = done->error;
        return;
    }
    const LevelOptions& o = row.options;
    row.what = WhatHappened::LeftAlone;
    if (!row.after.audio) {
        row.reason = "not audio";
        return;
    }
    if (o.target == 0.0) {
        row.reason = "gain control off";
        return;
    }
    if (row.after.silent) {
        row.reason = "no active speech";
        return;
    }
    const double miss = row.after.level - o.target;
    const std::optional<double> change = levelChange(row);
    const bool moved = change && std::fabs(*change) >= kTargetToleranceDb;
    if (std::fabs(miss) <= kTargetToleranceDb) {
        row.what = moved ? WhatHappened::ReachedTarget : WhatHappened::LeftAlone;
        if (!moved)
            row.reason = "already at target";
        return;
    }
    if (!moved && row.before.measured() && row.before.level < o.minimum) {
        row.what = WhatHappened::BelowThreshold;
        return;
    }
    // Further from the target than the largest change: moved by about that much (a coarse encoding's
    // steps make the measured change differ a little from the gain applied).
    if (moved && row.before.measured() && std::fabs(o.target - row.before.level) > o.maxChange &&
        std::fabs(std::fabs(*change) - o.maxChange) <= 0.5) {
        row.what = WhatHappened::MovedByLargestChange;
        return;
    }
    row.what = WhatHappened::MissedTarget;
}

void planRow(ReportRow& row, const LevelOptions& options) {
    row.options = options;
    row.reason.clear();
    row.after = FileLevel{};
    row.what = WhatHappened::LeftAlone;
    if (!row.before.audio) {
        row.reason = "not audio";
        return;
    }
    gainfix::SpeechLevel level;
    level.silent = row.before.silent;
    level.level = row.before.level;
    gainfix::Options tool;
    tool.target = options.target;
    tool.minimum = options.minimum;
    tool.maxGain = options.maxChange;
    const gainfix::Outcome plan = gainfix::plan(level, tool);
    if (plan.copied) {
        const bool below = !level.silent && tool.target != 0.0 && level.level < tool.minimum;
        row.what = below ? WhatHappened::BelowThreshold : WhatHappened::LeftAlone;
        if (!below)
            row.reason = plan.reason;
        return;
    }
    row.what = std::fabs(tool.target - level.level) > tool.maxGain ? WhatHappened::MovedByLargestChange
                                                                   : WhatHappened::ReachedTarget;
}

} // namespace levora
