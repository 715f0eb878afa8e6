// What a leveling run did to one file: the run makes one per ticked row, in the grid's order, and
// the log, the level report, the level column and the nightly record are all written from these.
#pragma once

#include <string>

namespace levora {

// What the check of the tool's output found.
enum class OutputVerdict {
    NotChecked,   // the tool did not end well, or was never started
    Accepted,     // a whole WAV file in the file's own format: it replaced the file
    Missing,      // the tool wrote no scratch file
    Refused,      // the output is not a whole WAV file in the file's format
    NotRecording, // the file itself is no WAV file (an index beside the greetings)
};

// How the gain tool ended.
enum class ToolEnd {
    NotStarted,
    Exited, // exitCode says how
    Signalled,
    TimedOut, // killed after the tool time-out
    Unknown,  // its end could not be awaited
};

struct FileOutcome {
    int row = 0;
    std::string path;    // as the grid holds it
    std::string scratch; // the scratch file the tool was given
    std::string commandLine;
    double target = 0.0; // the options the tool was given, in dB
    double minimum = 0.0;
    double maxChange = 0.0;
    bool optionsKnown = false; // false: the option texts could not be read
    ToolEnd toolEnd = ToolEnd::NotStarted;
    int exitCode = 0;
    int signal = 0;
    OutputVerdict verdict = OutputVerdict::NotChecked;
    bool replaced = false;
    std::string error; // the failures reported for it, "; " between them; empty when none

    bool failed() const { return !error.empty(); }
    bool toolStarted() const { return toolEnd != ToolEnd::NotStarted; }
    // The tool refused the file because it is no recording at all (not counted as a failure of a run).
    bool notRecording() const { return verdict == OutputVerdict::NotRecording; }
};

} // namespace levora
