// Windows command lines as one text: reading the program name, splitting the arguments after it,
// quoting arguments back into one text, and spotting the text viewer.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace levora {

struct ProgramToken {
    std::string name; // the program as the command line names it, without its quotes
    std::string rest; // everything after it, leading blanks kept
};

// The program a command line starts: the text in double quotes, or up to the first blank or tab;
// an unclosed quote runs to the end. Blanks before the program name are skipped: the C runtime
// would give an empty argv[0] for them, but the name is read here to find the program, and a
// command line stored with a stray leading blank still names one.
ProgramToken programToken(const std::string& commandLine);

// The arguments after the program name, split as the Windows C runtime splits argv[1] onwards:
// blanks and tabs separate (blanks before an argument are skipped, as the runtime skips them
// after the program name), double quotes group ("" inside quotes is one quote), 2n backslashes
// before a quote give n backslashes, 2n+1 give n and a literal quote; other backslashes stay.
std::vector<std::string> splitArguments(const std::string& text);

// The arguments as one text that splitArguments reads back unchanged: each argument that is
// empty or holds a blank, tab or quote is quoted, backslashes doubled before a quote.
std::string quoteArguments(const std::vector<std::string>& arguments);

// notepad or notepad.exe in any letter case, after any folder: the desktop's text viewer stands
// in for it.
bool isTextViewer(const std::string& programName);

// The file a text-viewer command line ("notepad.exe FILE") opens: the rest of the line, trimmed,
// without one pair of surrounding quotes, as Notepad reads it (empty: no file); nothing when the
// command line starts another program.
std::optional<std::string> textViewerFile(const std::string& commandLine);

} // namespace levora
