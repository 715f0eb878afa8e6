#include "platform/CommandLine.h"

#include <gtest/gtest.h>

using namespace levora;

TEST(CommandLine, ArgumentsSplitByTheRuntimeRules) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
    } cases[] = {
        {"", {}},
        {"  a  b\tc ", {"a", "b", "c"}}, // blanks before an argument are skipped, as after argv[0]
        {"-s \"E:\\Host\\Stream Files\\g1.wav\" -d c:\\t.WAV",
         {"-s", "E:\\Host\\Stream Files\\g1.wav", "-d", "c:\\t.WAV"}},
        {"-t  0", {"-t", "0"}},
        {"a\\\\b \\\\\"c d\"", {"a\\\\b", "\\c d"}}, // backslashes not before a quote stay; 2n before one give n
        {"\\\"x\\\" \\\\\\\"y", {"\"x\"", "\\\"y"}}, // 2n+1 before a quote: n and a literal quote
        {"\"a\"\"b\" \"\"", {"a\"b", ""}},           // "" inside quotes is one quote; an empty argument
        {"ab\"c d\"ef", {"abc def"}},
        {"\"unterminated x", {"unterminated x"}},
    };
    for (const auto& tc : cases)
        EXPECT_EQ(splitArguments(tc.line), tc.args) << tc.line;
}

TEST(CommandLine, QuotedArgumentsReadBackUnchanged) {
    struct Case {
        std::vector<std::string> args;
        const char* line;
    } cases[] = {
        {{}, ""},
        {{"/SetPrompts"}, "/SetPrompts"},
        {{"a b", "/x"}, "\"a b\" /x"},
        {{"say \"hi\""}, "\"say \\\"hi\\\"\""},
        {{"C:\\dir with blank\\"}, "\"C:\\dir with blank\\\\\""},
        {{""}, "\"\""},
        {{"a\\\\\"b", "tab\there", "C:\\plain\\"}, "\"a\\\\\\\\\\\"b\" \"tab\there\" C:\\plain\\"},
    };
    for (const auto& tc : cases) {
        EXPECT_EQ(quoteArguments(tc.args), tc.line);
        EXPECT_EQ(splitArguments(tc.line), tc.args) << tc.line;
    }
}

TEST(CommandLine, ProgramNameSkipsLeadingBlanksWhereTheRuntimeGivesAnEmptyOne) {
    struct Case {
        const char* line;
        const char* name;
        const char* rest;
    } cases[] = {
        {"gainfix315 -t -26", "gainfix315", " -t -26"},
        {"  \"C:\\Program Files\\x.exe\" -a", "C:\\Program Files\\x.exe", " -a"},
        {"\t notepad.exe", "notepad.exe", ""},
        {"\"C:\\open ended -a", "C:\\open ended -a", ""},
    };
    for (const auto& tc : cases) {
        const ProgramToken t = programToken(tc.line);
        EXPECT_EQ(t.name, tc.name) << tc.line;
        EXPECT_EQ(t.rest, tc.rest) << tc.line;
    }
}

TEST(CommandLine, FileOfATextViewerCommandLine) {
    struct Case {
        const char* line;
        std::optional<std::string> file;
    };
    const Case cases[] = {
        {"notepad.exe c:\\Levora.log", "c:\\Levora.log"},
        {"NOTEPAD c:\\Levora.log", "c:\\Levora.log"},
        {"\"C:\\Windows\\notepad.exe\" \"c:\\my logs\\Levora.log\"", "c:\\my logs\\Levora.log"},
        {"C:\\Windows\\System32\\Notepad.EXE   c:\\Levora.log  ", "c:\\Levora.log"},
        {"notepad.exe c:\\my logs\\Levora.log", "c:\\my logs\\Levora.log"}, // unquoted: the whole rest
        {"notepad.exe", ""},
        {"notepadplus.exe c:\\Levora.log", std::nullopt},
        {"Z:\\bin\\gainfix315 -s \"C:\\a.wav\" -d c:\\mytempwavfile774.WAV -t -26", std::nullopt},
        {"\"notepad.exe c:\\x.log", std::nullopt}, // an unclosed quote names no viewer
    };
    for (const Case& c : cases)
        EXPECT_EQ(textViewerFile(c.line), c.file) << c.line;
}
