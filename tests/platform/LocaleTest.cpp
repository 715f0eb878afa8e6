#include "platform/LinuxLocale.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>

using namespace levora;

namespace {

// An environment of exactly the given variables: the machine's own LANG never leaks in.
LinuxLocale::EnvLookup envOf(std::map<std::string, std::string> vars) {
    return [vars = std::move(vars)](const std::string& name) -> std::optional<std::string> {
        auto it = vars.find(name);
        if (it == vars.end())
            return std::nullopt;
        return it->second;
    };
}

} // namespace

TEST(LinuxLocale, UserDefaultLanguageFollowsLcAllLcMessagesLangInThatOrder) {
    struct Case {
        std::map<std::string, std::string> env;
        uint16_t expected;
    };
    const std::vector<Case> cases = {
        {{{"LANG", "de_DE.UTF-8"}}, 1031},
        {{{"LC_ALL", "fr_FR.UTF-8"}, {"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, 1036},
        {{{"LC_MESSAGES", "ja_JP.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, 1041},
        {{{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "ko_KR.eucKR"}}, 1042}, // empty counts as unset
        {{}, 1033},
        {{{"LANG", "C"}}, 1033},
        {{{"LANG", "POSIX"}}, 1033},
        {{{"LC_ALL", "C.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, 1033},
        {{{"LANG", "no_NO.UTF-8"}}, 1044},
        {{{"LANG", "iw_IL.UTF-8"}}, 1037},
        {{{"LANG", "en_GB.ISO-8859-1"}}, 2057},
        {{{"LANG", "sr_RS.UTF-8@latin"}}, 9242},
        {{{"LANG", "sr_RS.UTF-8"}}, 10266},
        {{{"LANG", "de_AT@euro"}}, 3079},  // a modifier no row carries is dropped
        {{{"LANG", "de"}}, 1031},          // language only: its primary region
        {{{"LANG", "de_XX.UTF-8"}}, 1031}, // unknown region: the language's first row
        {{{"LANG", "zh_HK.UTF-8"}}, 3076},
        {{{"LANG", "xx_YY.UTF-8"}}, 1033}, // nothing known: US English
        {{{"LANG", ".UTF-8"}}, 1033},
    };
    for (const Case& c : cases) {
        std::string shown;
        for (const auto& [k, v] : c.env)
            shown += k + "=" + v + " ";
        LinuxLocale locale(envOf(c.env));
        EXPECT_EQ(locale.GetUserDefaultLangID(), c.expected) << shown;
    }
}

TEST(LinuxLocale, AbbreviationAndNameOfALanguageId) {
    LinuxLocale locale(envOf({}));
    struct Case {
        uint32_t lcid;
        const char* abbrev;
        const char* name;
    };
    const std::vector<Case> cases = {
        {1031, "DEU", "German (Germany)"},
        {0x10407, "DEU", "German (Germany)"}, // sort bits masked off
        {1033, "ENU", "English (United States)"},
        {1042, "KOR", "Korean (Korea)"},
        {3076, "ZHT", "Chinese (Traditional, Hong Kong S.A.R.)"},
        {1034, "ESP", "Spanish (Spain, Traditional Sort)"},
    };
    for (const Case& c : cases) {
        std::string abbrev, name;
        EXPECT_EQ(locale.GetLocaleInfoA(c.lcid, LOCALE_SABBREVLANGNAME, abbrev), 4) << c.lcid;
        EXPECT_EQ(abbrev, c.abbrev);
        EXPECT_EQ(locale.VerLanguageNameA(c.lcid, name), static_cast<int>(std::string(c.name).size())) << c.lcid;
        EXPECT_EQ(name, c.name);
    }
}

TEST(LinuxLocale, UnknownIdsAndOtherLocaleValuesFail) {
    LinuxLocale locale(envOf({}));
    for (uint32_t id : {0u, 12345u, 0xFFFFu, 0xFFFFFFFFu, 0x0400u}) {
        std::string out = "untouched";
        EXPECT_EQ(locale.GetLocaleInfoA(id, LOCALE_SABBREVLANGNAME, out), 0) << id;
        EXPECT_EQ(locale.VerLanguageNameA(id, out), 0) << id;
        EXPECT_EQ(out, "untouched");
    }
    std::string out;
    EXPECT_EQ(locale.GetLocaleInfoA(1031, 2 /* LOCALE_SLANGUAGE */, out), 0);
    EXPECT_EQ(locale.GetLocaleInfoA(1031, 0x80000000u | LOCALE_SABBREVLANGNAME, out), 4) << "NOUSEROVERRIDE";
}

TEST(LinuxLocale, CompiledInTableIsTheTableOnDisk) {
    // The table is embedded at configure time; a stale build would silently keep old rows.
    const std::string onDisk =
        levora::test::readFile(levora::test::sourceDir() / "platform" / "data" / "windows-locales.tsv");
    ASSERT_FALSE(onDisk.empty());
    EXPECT_EQ(std::string(embeddedLocaleTable()), onDisk);
    LinuxLocale locale(envOf({}));
    EXPECT_EQ(locale.rows().size(), 228u);
    for (size_t i = 1; i < locale.rows().size(); ++i)
        EXPECT_LT(locale.rows()[i - 1].langId, locale.rows()[i].langId);
}

TEST(LinuxLocale, DamagedTableRowsAreSkipped) {
    LinuxLocale locale(envOf({{"LANG", "de_DE"}}), "lcid\thex\tabbrev\tenglish_name\tposix\r\n"
                                                   "1031\t0x0407\tDEU\tGerman (Germany)\tde_DE\r\n"
                                                   "x\ty\n"
                                                   "99999\t0x1869F\tBAD\tToo big\tbad_BAD\n"
                                                   "1036\t0x040C\tFRA\tFrench (France)\tfr_FR");
    ASSERT_EQ(locale.rows().size(), 2u);
    EXPECT_EQ(locale.GetUserDefaultLangID(), 1031);
    std::string out;
    EXPECT_EQ(locale.GetLocaleInfoA(1036, LOCALE_SABBREVLANGNAME, out), 4);
    EXPECT_EQ(out, "FRA");
}
