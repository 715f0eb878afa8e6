#include "DemoHost.h"
#include "DemoTestSupport.h"
#include "GreetingDatabase.h"
#include "Level.h"
#include "WavFiles.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "platform/RegistryStore.h"
#include "platform/WinPath.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace levora::demohost {
namespace {

namespace fs = std::filesystem;
using levora::test::readFile;
using levora::test::TempDir;
using test::sharedHost;
using test::smallHost;

HostVersion versionIn(const fs::path& prefix, levora::test::ScriptedMessageBox& shown) {
    RegistryStore store(prefix / "system.reg");
    RegistryAPI api(store);
    TalvioVersion tv(api, shown);
    return tv.getVersion();
}

Variant regValue(const fs::path& prefix, HKEY root, const std::string& key, const std::string& name, int16_t type) {
    RegistryStore store(prefix / "system.reg");
    RegistryAPI api(store);
    return api.getRegValue(root, key, name, type, Empty{});
}

bool keyExists(const fs::path& prefix, const std::string& key) {
    RegistryStore store(prefix / "system.reg");
    RegistryAPI api(store);
    return api.bKeyExists(HKEY_LOCAL_MACHINE, key);
}

TEST(DemoHost, BothLayoutsReadBackAsTheVersionAskedFor) {
    const struct {
        const char* version;
        Layout layout;
        HostVersion expected;
    } cases[] = {
        {"3.1(5)", Layout::New, {3, 1, 5, 0}},           {"3.1(5)", Layout::Old, {3, 1, 5, 0}},
        {"4.0(3).10", Layout::New, {4, 0, 3, 10}},       {"3.1(4).10", Layout::Old, {3, 1, 4, 10}},
        {"3.10(12).300", Layout::Old, {3, 10, 12, 300}}, {"3.1(1)", Layout::Old, {3, 1, 1, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.version) + (c.layout == Layout::New ? " new" : " old"));
        TempDir dir;
        CreateOptions o = smallHost();
        o.greetings = 1;
        o.seconds = 0.6;
        o.version = *parseRelease(c.version);
        o.layout = c.layout;
        createHost(dir.path(), o);
        levora::test::ScriptedMessageBox shown;
        EXPECT_EQ(versionIn(dir.path(), shown), c.expected);
        EXPECT_TRUE(shown.shown.empty());
        // Only the chosen layout is present, so the version does not depend on which is read first.
        EXPECT_EQ(keyExists(dir.path(), "SOFTWARE\\Orvane Systems\\Orvane Talvio"), c.layout == Layout::New);
        EXPECT_EQ(isEmpty(regValue(dir.path(), HKEY_LOCAL_MACHINE, "Software\\Quillon\\", "Version Number", 4)),
                  c.layout == Layout::New);
    }
}

TEST(DemoHost, OldLayoutRefusesAVersionItCannotHold) {
    TempDir dir;
    CreateOptions o = smallHost();
    o.layout = Layout::Old;
    o.version = {10000, 0, 0, 0};
    EXPECT_THROW(createHost(dir.path(), o), std::runtime_error);
    EXPECT_FALSE(fs::exists(dir.path() / "system.reg"));
}

TEST(DemoHost, EveryRegistryValueThatTheProgramReads) {
    const fs::path& p = sharedHost();
    const struct {
        std::string key, name;
        int16_t type;
        Variant expected;
    } values[] = {
        {"SOFTWARE\\Quillon\\Vantor\\1.0", "Root Path", 1, std::string("C:\\Talvio\\")},
        {"Software\\Quillon\\Vantor Setup\\1.0\\Properties", "VantorRootPath", 1, std::string("C:\\Talvio")},
        {"SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization", "AGCsampleSize", 4, int32_t{8000}},
        {"SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization", "AGCgainThreshold", 4, int32_t{5}},
        {"SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization", "AGCminimumThreshold", 4, int32_t{45}},
        {"SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization", "AGCTargetDB", 4, int32_t{-26}},
        {"SOFTWARE\\Orvane Systems\\Orvane Talvio", "MajorVersion", 4, int32_t{3}},
        {"SOFTWARE\\Orvane Systems\\Orvane Talvio", "MinorVersion", 4, int32_t{1}},
        {"SOFTWARE\\Orvane Systems\\Orvane Talvio", "ReleaseVersion", 4, int32_t{5}},
        {"SOFTWARE\\Orvane Systems\\Orvane Talvio", "BuildVersion", 4, int32_t{0}},
    };
    for (const auto& v : values)
        EXPECT_EQ(regValue(p, HKEY_LOCAL_MACHINE, v.key, v.name, v.type), v.expected) << v.key << "\\" << v.name;

    // The AGC target is stored as the DWORD ffffffe6.
    RegistryStore store(p / "system.reg");
    const auto agc = store.values("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization");
    const auto target = std::find_if(agc.begin(), agc.end(), [](const auto& e) { return e.name == "AGCTargetDB"; });
    ASSERT_NE(target, agc.end());
    EXPECT_EQ(target->type, REG_DWORD);
    EXPECT_EQ(target->data, (std::vector<uint8_t>{0xE6, 0xFF, 0xFF, 0xFF}));
}

TEST(DemoHost, RegistersTheSynchronisationComponentByItsProgramPath) {
    const fs::path& p = sharedHost();
    const Variant clsid = regValue(p, HKEY_CLASSES_ROOT, "SqlDirBridge.dbBridge.1\\CLSID", "", 1);
    ASSERT_TRUE(std::holds_alternative<std::string>(clsid));
    const Variant command =
        regValue(p, HKEY_CLASSES_ROOT, "CLSID\\" + std::get<std::string>(clsid) + "\\LocalServer32", "", 1);
    ASSERT_TRUE(std::holds_alternative<std::string>(command));
    std::string program = std::get<std::string>(command);
    ASSERT_GE(program.size(), 6u);
    ASSERT_EQ(program.front(), '"');
    program = program.substr(1, program.find('"', 1) - 1);
    ASSERT_TRUE(program.ends_with(".exe")) << program;
    MachinePrefix prefix(p);
    PathNamespace ns(prefix);
    const fs::path host = ns.toHost(program.substr(0, program.size() - 4));
    EXPECT_TRUE(fs::equivalent(host, test::bridgeProgram())) << program;
}

TEST(DemoHost, FoldersHoldWhatTheFileListBackupAndPromptsRead) {
    const fs::path talvio = sharedHost() / "drive_c" / "Talvio";
    const fs::path stream = talvio / "Stream Files";
    const fs::path defaults = talvio / "Localize" / "DefaultConfiguration";
    const fs::path prompts = talvio / "Localize" / "Prompts";

    int wavs = 0, others = 0;
    std::set<std::string> formats;
    for (const auto& name : PathNamespace::listSorted(stream, false)) {
        if (!name.ends_with(".wav")) {
            ++others;
            continue;
        }
        ++wavs;
        EXPECT_TRUE(name.starts_with("greeting_") || name.starts_with("voicename_")) << name;
        const auto a = readAudio(stream / name);
        ASSERT_TRUE(a) << name;
        EXPECT_EQ(a->sampleRate, 8000) << name;
        EXPECT_EQ(a->channels, 1) << name;
        formats.insert(a->format);
    }
    EXPECT_EQ(wavs, smallHost().greetings);
    EXPECT_EQ(others, 1);
    EXPECT_EQ(formats, (std::set<std::string>{"PCM 16", "u-law"}));

    // The default greetings: a WAV in each language folder, one with an upper-case extension,
    // and the cases the file list must leave out.
    for (const char* lang : {"ENU", "DEU", "FRA"}) {
        const auto files = PathNamespace::listSorted(defaults / lang, false);
        EXPECT_GE(std::count_if(files.begin(), files.end(),
                                [](const std::string& f) { return upperForm(f).ends_with(".WAV"); }),
                  2)
            << lang;
    }
    EXPECT_TRUE(fs::is_regular_file(defaults / "DEU" / "DefaultBusyGreeting.WAV"));
    EXPECT_TRUE(fs::is_regular_file(defaults / "ENU" / "readme.txt"));
    EXPECT_TRUE(fs::is_regular_file(defaults / "DefaultTemplate.wav"));
    EXPECT_TRUE(fs::is_regular_file(defaults / "ENU" / "Archive" / "DefaultGreeting_v1.wav"));
    EXPECT_TRUE(fs::is_directory(defaults / "ESN"));
    EXPECT_TRUE(fs::is_empty(defaults / "ESN"));

    // Prompts sit two levels below the prompt folder, in every language.
    std::set<std::string> promptLanguages;
    for (const auto& rel : test::filesBelow(prompts)) {
        const fs::path r(rel);
        if (r.extension() != ".wav")
            continue;
        EXPECT_EQ(std::distance(r.begin(), r.end()), 3) << rel;
        promptLanguages.insert(r.begin()->string());
    }
    EXPECT_EQ(promptLanguages, (std::set<std::string>{"DEU", "ENU", "FRA"}));

    // The greeting database, one row per greeting and voice name.
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2((talvio / "Data" / "talvio.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM greetings", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(st, 0), wavs);
    sqlite3_finalize(st);
    sqlite3_close(db);
}

TEST(DemoHost, RefusesAnExistingHostUnlessForced) {
    const struct {
        const char* what;
        bool systemReg, talvio;
    } cases[] = {{"registry only", true, false}, {"folder only", false, true}, {"both", true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        if (c.systemReg)
            levora::test::writeFile(dir.path() / "system.reg", "Windows Registry Editor Version 5.00\r\n\r\n");
        if (c.talvio)
            levora::test::writeFile(dir.path() / "drive_c" / "Talvio" / "keep.txt", "x");
        const auto before = test::filesBelow(dir.path());
        EXPECT_THROW(createHost(dir.path(), smallHost()), Refused);
        EXPECT_EQ(test::filesBelow(dir.path()), before);
    }
    // An empty folder is no host.
    TempDir empty;
    CreateOptions o = smallHost();
    o.greetings = 1;
    o.seconds = 0.6;
    EXPECT_NO_THROW(createHost(empty.path(), o));
}

TEST(DemoHost, ForceReplacesTheHostAndKeepsOtherKeys) {
    TempDir dir;
    CreateOptions o = smallHost();
    o.version = {4, 0, 3, 10};
    o.greetings = 2;
    o.seconds = 0.6;
    createHost(dir.path(), o);
    {
        RegistryStore store(dir.path() / "system.reg");
        ASSERT_TRUE(store.setValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Other\\Tool", "Kept", REG_SZ, {'y', 0}));
    }
    levora::test::writeFile(dir.path() / "drive_c" / "Talvio" / "Stream Files" / "stray.wav", "stray");

    o.force = true;
    o.layout = Layout::Old;
    o.version = {3, 1, 4, 0};
    createHost(dir.path(), o);
    levora::test::ScriptedMessageBox shown;
    EXPECT_EQ(versionIn(dir.path(), shown), (HostVersion{3, 1, 4, 0})); // the newer layout's key went away
    EXPECT_FALSE(fs::exists(dir.path() / "drive_c" / "Talvio" / "Stream Files" / "stray.wav"));
    EXPECT_EQ(regValue(dir.path(), HKEY_LOCAL_MACHINE, "SOFTWARE\\Other\\Tool", "Kept", 1), Variant(std::string("y")));
}

TEST(DemoHost, TheSameSeedGivesTheSameFiles) {
    TempDir a, b, c;
    CreateOptions o = smallHost(42);
    o.greetings = 3;
    o.seconds = 1.0;
    createHost(a.path(), o);
    createHost(b.path(), o);
    o.seed = 43;
    createHost(c.path(), o);
    const fs::path talvio = fs::path("drive_c") / "Talvio";
    const auto files = test::filesBelow(a.path() / talvio);
    ASSERT_EQ(files, test::filesBelow(b.path() / talvio));
    int compared = 0, differing = 0;
    for (const auto& f : files) {
        if (!f.ends_with(".wav") && !f.ends_with(".WAV"))
            continue;
        ++compared;
        const std::string bytes = readFile(a.path() / talvio / f);
        EXPECT_EQ(bytes, readFile(b.path() / talvio / f)) << f;
        if (fs::exists(c.path() / talvio / f) && bytes != readFile(c.path() / talvio / f))
            ++differing;
    }
    EXPECT_GT(compared, 10);
    EXPECT_EQ(differing, compared); // another seed: other speech in every file
}

TEST(DemoHost, PlannedLevelsMostlyNearTheTargetAndAFewFarOff) {
    CreateOptions o = smallHost(3);
    o.greetings = 24;
    const HostPlan plan = planHost(o);
    int near = 0, low = 0, high = 0, ulaw = 0, pcm = 0;
    for (const auto& f : plan.files) {
        if (!f.audio || !f.path.starts_with("Stream Files\\"))
            continue;
        if (f.level >= -31 && f.level <= -21)
            ++near;
        else if (std::abs(f.level + 40) <= 1)
            ++low;
        else if (std::abs(f.level + 14) <= 1)
            ++high;
        else
            ADD_FAILURE() << f.path << " planned at " << f.level;
        ++(f.encoding == Encoding::MuLaw ? ulaw : pcm);
    }
    EXPECT_EQ(near + low + high, 24);
    EXPECT_EQ(low, 2);
    EXPECT_EQ(high, 2);
    EXPECT_GT(ulaw, 0);
    EXPECT_GT(pcm, 0);
}

// The files as written: each at its planned active level (measured with the gain tool's meter),
// with pauses, and no sample at full scale.
TEST(DemoHost, WrittenGreetingsHaveTheirPlannedLevels) {
    const fs::path talvio = sharedHost() / "drive_c" / "Talvio";
    const HostPlan plan = planHost(smallHost());
    int checked = 0, low = 0, high = 0;
    for (const auto& f : plan.files) {
        if (!f.audio)
            continue;
        SCOPED_TRACE(f.path);
        std::string rel = f.path;
        std::replace(rel.begin(), rel.end(), '\\', '/');
        const auto a = readAudio(talvio / rel);
        ASSERT_TRUE(a);
        const Measured m = measureSpeech(a->samples, a->sampleRate);
        ASSERT_FALSE(m.silent);
        EXPECT_NEAR(m.level, f.level, 0.02);
        EXPECT_GT(m.activity, 0.25); // speech ...
        EXPECT_LT(m.activity, 0.97); // ... with pauses
        EXPECT_NEAR(a->seconds(), f.seconds, 0.01);
        double peak = 0;
        for (double x : a->samples)
            peak = std::max(peak, std::abs(x));
        EXPECT_LT(peak, 32767.0 / 32768.0);
        low += m.level < -38;
        high += m.level > -16;
        ++checked;
    }
    EXPECT_EQ(checked, 4 + 8 + 5);
    EXPECT_EQ(low, 1);
    EXPECT_EQ(high, 1);
}

TEST(DemoHost, LevelsListTheFilesTheFileListShows) {
    const auto rows = measureGreetings(sharedHost());
    std::vector<std::string> paths;
    for (const auto& r : rows)
        paths.push_back(r.path);
    const std::vector<std::string> expected{
        "C:\\Talvio\\Stream Files\\greeting_1001_std.wav",
        "C:\\Talvio\\Stream Files\\greeting_1002_busy.wav",
        "C:\\Talvio\\Stream Files\\streamfiles.idx",
        "C:\\Talvio\\Stream Files\\voicename_1001.wav",
        "C:\\Talvio\\Stream Files\\voicename_1002.wav",
        "C:\\Talvio\\Localize\\DefaultConfiguration\\DEU\\DefaultBusyGreeting.WAV",
        "C:\\Talvio\\Localize\\DefaultConfiguration\\DEU\\DefaultGreeting.wav",
        "C:\\Talvio\\Localize\\DefaultConfiguration\\ENU\\DefaultBusyGreeting.wav",
        "C:\\Talvio\\Localize\\DefaultConfiguration\\ENU\\DefaultGreeting.wav",
        "C:\\Talvio\\Localize\\DefaultConfiguration\\FRA\\DefaultBusyGreeting.wav",
        "C:\\Talvio\\Localize\\DefaultConfiguration\\FRA\\DefaultGreeting.wav",
    };
    EXPECT_EQ(paths, expected);
    for (const auto& r : rows)
        EXPECT_EQ(r.audio, !r.path.ends_with(".idx")) << r.path;

    // One line per row under a header, the level column at the same place in every audio row.
    const std::string table = formatLevelTable(rows);
    std::vector<std::string> lines;
    std::istringstream in(table);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    ASSERT_EQ(lines.size(), rows.size() + 1);
    const size_t column = lines[0].find("Level dBov") + std::string("Level dBov").size();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].audio) {
            EXPECT_NE(lines[i + 1].find("(not audio)"), std::string::npos);
            continue;
        }
        char level[32];
        std::snprintf(level, sizeof level, "%.2f", rows[i].level);
        EXPECT_EQ(lines[i + 1].substr(column - std::strlen(level), std::strlen(level)), level) << lines[i + 1];
    }
}

} // namespace
} // namespace levora::demohost
