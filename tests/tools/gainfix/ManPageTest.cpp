// The installed manual page (packaging/man/gainfix.1) is written by hand: it must keep up with the
// options and exit statuses the tool itself lists in --help.
#include "speech/SpeechTestUtil.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using namespace gainfix::test;

namespace {

// The lines of `text` between the heading `from` and the next heading (a line in capitals).
std::vector<std::string> section(const std::string& text, const std::string& from) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] != ' ') {
            inside = line == from;
            continue;
        }
        if (inside)
            lines.push_back(line);
    }
    return lines;
}

std::string roff(std::string option) {
    std::string out;
    for (char c : option)
        out += c == '-' ? std::string("\\-") : std::string(1, c);
    return out;
}

} // namespace

TEST(GainfixManPage, ExplainsEveryOptionAndExitStatusOfTheHelp) {
    levora::test::TempDir dir;
    const ToolRun help = runTool(dir.path(), "gainfix315", {"--help"});
    ASSERT_EQ(help.status, 0) << help.err;
    const std::string page = levora::test::readFile(levora::test::sourceDir() / "packaging" / "man" / "gainfix.1");
    ASSERT_FALSE(page.empty());

    int options = 0;
    const std::regex optionLine(R"(^    (-[-a-z]+)(, (--[a-z-]+))?)");
    for (const std::string& line : section(help.out, "OPTIONS")) {
        std::smatch m;
        if (!std::regex_search(line, m, optionLine))
            continue;
        for (int g : {1, 3})
            if (m[g].matched) {
                ++options;
                EXPECT_NE(page.find(roff(m[g])), std::string::npos) << m[g];
            }
    }
    EXPECT_GE(options, 9); // -s -d -t -m -b -g -h --help --version

    int statuses = 0;
    const std::regex statusLine(R"(^    ([0-9]+)  )");
    for (const std::string& line : section(help.out, "EXIT STATUS")) {
        std::smatch m;
        if (std::regex_search(line, m, statusLine)) {
            ++statuses;
            EXPECT_NE(page.find(".B " + m[1].str() + "\n"), std::string::npos) << "exit status " << m[1];
        }
    }
    EXPECT_EQ(statuses, 5);
}
