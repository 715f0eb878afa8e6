// The help window's page choice, the resolution of its location text and its resize rule.
#include "ui/HelpPage.h"

#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

namespace levora {
namespace {

// No language library anywhere: the page choice depends on the language ID alone.
class HelpPageTest : public test::ProgramFolderFixture {
protected:
    test::NoLibraries res;
    modLocalize loc{res, locale, fs, msgbox, app};
};

TEST_F(HelpPageTest, LanguagePageWhenPresentElseTheFallbacksFileLocation) {
    const std::string fallback = "file://C:\\Program Files\\Levora\\Levora.htm";
    struct Case {
        int32_t language;
        const char* present; // a page written beside the program, or nullptr
        std::string expected;
    };
    const std::vector<Case> cases{
        {1036, "Levora_FRA.htm", "C:\\Program Files\\Levora\\Levora_FRA.htm"},
        {1036, nullptr, fallback},
        {1036, "Levora_DEU.htm", fallback}, // another language's page does not count
        {33801, "Levora_ENX.htm", "C:\\Program Files\\Levora\\Levora_ENX.htm"},
        {33801, "Levora_ENU.htm", fallback},
        {1033, "levora_enu.HTM", "C:\\Program Files\\Levora\\Levora_ENU.htm"}, // the file system ignores case
        {0x7FFF, nullptr, fallback},                                           // no code for it: "ERR"
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(folder());
        std::filesystem::create_directories(folder());
        if (c.present)
            test::writeFile(folder() / c.present, "<html></html>");
        loc.CurrentLanguageID = c.language;
        EXPECT_EQ(HelpPageLocation(loc, fs, app), c.expected) << c.language << " " << (c.present ? c.present : "-");
    }
}

TEST_F(HelpPageTest, TheFallbackIsNotTestedForExistence) {
    loc.CurrentLanguageID = 1031;
    EXPECT_FALSE(std::filesystem::exists(folder() / "Levora.htm"));
    EXPECT_EQ(HelpPageLocation(loc, fs, app), "file://C:\\Program Files\\Levora\\Levora.htm");
}

TEST_F(HelpPageTest, LocationsResolveThroughTheMachinePrefix) {
    test::writeFile(folder() / "Levora.htm", "x");
    const auto expected = folder() / "Levora.htm";
    for (const char* location :
         {"C:\\Program Files\\Levora\\Levora.htm", "file://C:\\Program Files\\Levora\\Levora.htm",
          "FILE://c:\\program files\\levora\\LEVORA.HTM", "file:///C:/Program Files/Levora/Levora.htm"})
        EXPECT_EQ(HelpLocationToHost(location, fs), expected) << location;
    // a host path passes unchanged
    EXPECT_EQ(HelpLocationToHost("file://" + expected.string(), fs), expected);
}

TEST(HelpResize, KeepsTheMinimumAndPlacesTheBrowser) {
    struct Case {
        int w, h;
        HelpLayout expected;
    };
    const std::vector<Case> cases{
        {9600, 8600, {9600, 8600, {100, 1, 9400, 8200}}}, {2500, 2400, {2500, 2400, {100, 1, 2300, 2000}}},
        {1000, 900, {2500, 2400, {100, 1, 2300, 2000}}},  {2499, 9000, {2500, 9000, {100, 1, 2300, 8600}}},
        {9000, 2399, {9000, 2400, {100, 1, 8800, 2000}}}, {0, 0, {2500, 2400, {100, 1, 2300, 2000}}},
    };
    for (const auto& c : cases) {
        HelpLayout l = HelpResize(c.w, c.h);
        EXPECT_EQ(l.outerWidth, c.expected.outerWidth) << c.w << "x" << c.h;
        EXPECT_EQ(l.outerHeight, c.expected.outerHeight) << c.w << "x" << c.h;
        EXPECT_EQ(l.browser, c.expected.browser) << c.w << "x" << c.h;
    }
}

} // namespace
} // namespace levora
