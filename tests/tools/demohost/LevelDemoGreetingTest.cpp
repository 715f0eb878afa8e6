// A demo host levelled with the real gain tool, the way the leveling run calls it: the greetings
// near the target reach it, the far ones move by the largest change.
#include "DemoTestSupport.h"
#include "Level.h"
#include "WavFiles.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "leveling/LevelFile.h"
#include "log/Logging.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxProcesses.h"
#include "platform/RegistryStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace levora::demohost {
namespace {

namespace fs = std::filesystem;

TEST(LevelDemoGreeting, TheRealGainToolLevelsEveryGreetingAsAsked) {
    levora::test::TempDir dir;
    const fs::path root = test::copyOfSharedHost(dir.path());
    MachinePrefix prefix(root);
    PathNamespace ns(prefix);
    LinuxFileSystem files(ns);
    AppInfo app;
    app.programFolder = ns.toWindows(levora::test::binDir());
    ASSERT_FALSE(app.programFolder.empty());
    LinuxProcesses processes(ns, app.programFolder);
    RegistryStore store(prefix.systemReg());
    RegistryAPI registry(store);
    levora::test::ScriptedMessageBox msgbox;
    TalvioVersion version(registry, msgbox);
    version.setLoaded(version.getVersion()); // 3.1(5): gainfix315 with all four options
    levora::test::CountingPump pump;
    Logging log(files, pump, app);
    GainToolRunner gain(files, processes, version, log, app);
    std::vector<Error> errors;
    StepRunner trap([&](const Error& e) { errors.push_back(e); });

    const fs::path stream = root / "drive_c" / "Talvio" / "Stream Files";
    const auto levelOf = [](const fs::path& f) {
        const auto a = readAudio(f);
        return a ? measureSpeech(a->samples, a->sampleRate).level : 0.0;
    };
    log.OpenLog("c:\\Levora.log", false);
    int levelled = 0;
    for (const std::string& name : PathNamespace::listSorted(stream, false)) {
        if (!name.ends_with(".wav"))
            continue;
        SCOPED_TRACE(name);
        const auto before = readAudio(stream / name);
        ASSERT_TRUE(before);
        const double start = levelOf(stream / name);
        gain.LevelFile("C:\\Talvio\\Stream Files\\" + name, {"-26", "-45", "8000", "5"}, trap);
        ASSERT_TRUE(errors.empty()) << errors.front().description();
        const auto after = readAudio(stream / name);
        ASSERT_TRUE(after);
        EXPECT_EQ(after->format, before->format); // µ-law stays µ-law
        EXPECT_EQ(after->samples.size(), before->samples.size());
        const double expected = start + std::clamp(-26.0 - start, -5.0, 5.0);
        EXPECT_NEAR(levelOf(stream / name), expected, 0.15) << "from " << start;
        ++levelled;
    }
    log.CloseLog();
    EXPECT_EQ(levelled, test::smallHost().greetings);

    // Two lines per file after the header.
    const std::string text = levora::test::readFile(prefix.driveC() / "Levora.log");
    size_t setLines = 0, commandLines = 0;
    for (size_t at = 0; (at = text.find(" set to dB -26\r\n", at)) != std::string::npos; ++at)
        ++setLines;
    for (size_t at = 0; (at = text.find("    Used command line=", at)) != std::string::npos; ++at)
        ++commandLines;
    EXPECT_EQ(setLines, static_cast<size_t>(levelled));
    EXPECT_EQ(commandLines, static_cast<size_t>(levelled));
    EXPECT_NE(text.find("gainfix315 -s \"C:\\Talvio\\Stream Files\\greeting_1001_std.wav\""), std::string::npos);
}

} // namespace
} // namespace levora::demohost
