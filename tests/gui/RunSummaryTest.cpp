// The texts the window builds from the string table: how a run went, and when a level needs a run.
#include "app/gui/RunSummary.h"
#include "i18n/modLocalize.h"

#include <gtest/gtest.h>

namespace levora {
namespace {

std::string english(int id) {
    return modLocalize::builtInString(id);
}

TEST(RunSummary, SaysHowTheRunWent) {
    struct Case {
        int tried, levelled, ticked;
        bool stopped;
        const char* expected;
    };
    const Case cases[] = {
        {67, 66, 67, false, "66 of 67 files levelled, 1 could not be (see the log)"},
        {5, 5, 5, false, "5 of 5 files levelled"},
        {3, 3, 40, true, "Stopped by the user after 3 of 40 files."},
    };
    for (const Case& c : cases) {
        RunOutcome o;
        o.end = c.stopped ? RunEnd::StoppedByUser : RunEnd::Completed;
        o.filesTried = c.tried;
        o.filesLevelled = c.levelled;
        o.filesTicked = c.ticked;
        EXPECT_EQ(RunSummary(o, english), c.expected);
    }
    // Arguments are put in once: a text holding a placeholder stays as it is.
    EXPECT_EQ(fillIn("%2 and %1", {"%2", "x"}), "x and %2");
}

TEST(RunSummary, ALevelOutsideTheTargetBand) {
    auto level = [](double dB, bool silent = false) {
        FileLevel f;
        f.audio = true;
        f.silent = silent;
        f.level = dB;
        return f;
    };
    struct Case {
        FileLevel level;
        double target;
        bool outside;
    };
    const Case cases[] = {
        {level(-26.9), -26, false}, {level(-27.2), -26, true},      {level(-24.5), -26, true}, {level(-46), -26, false},
        {level(-44), -26, true},    {level(-30, true), -26, false}, {FileLevel{}, -26, false}, {level(-40), 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(outsideTargetBand(c.level, c.target, -45), c.outside) << c.level.level << " to " << c.target;
}

} // namespace
} // namespace levora
