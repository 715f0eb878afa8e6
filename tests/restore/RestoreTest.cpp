// The restore of a backup over a test machine's live greetings.
#include "restore/Restore.h"
#include "leveling/RunFixture.h"

#include <gtest/gtest.h>

#include <chrono>

namespace fs = std::filesystem;
using namespace levora;
using namespace levora::test;

namespace {

class RestoreTest : public ::testing::Test {
protected:
    RestoreTest() : restore(f.ctx) {
        f.view.backupTarget = "C:\\Backup\\";
        writeFile(f.c("Backup/Stream Files/g1.wav"), "backed up 1");
        writeFile(f.c("Backup/Stream Files/Sub/g2.wav"), "backed up 2");
        writeFile(f.c("Backup/DefaultConfiguration/ENU/a.wav"), "backed up a");
        f.addGreeting("g1.wav", "live 1");
        f.addGreeting("recorded-later.wav", "new");
        writeFile(f.c("Talvio/Localize/DefaultConfiguration/ENU/a.wav"), "live a");
        writeFile(f.c("Talvio/Localize/DefaultConfiguration/ENU/b.wav"), "live b");
    }
    std::string live(const std::string& relative) { return readFile(f.c("Talvio/" + relative)); }

    RunFixture f;
    GreetingRestore restore;
};

TEST_F(RestoreTest, CopiesTheBackupOverTheLiveFolders) {
    // The live copy is newer than the backup: it is replaced all the same.
    fs::last_write_time(f.c("Talvio/Stream Files/g1.wav"), fs::file_time_type::clock::now() + std::chrono::hours(1));
    restore.mnuRestore_Click();

    EXPECT_EQ(live("Stream Files/g1.wav"), "backed up 1");
    EXPECT_EQ(live("Stream Files/Sub/g2.wav"), "backed up 2");
    EXPECT_EQ(live("Stream Files/recorded-later.wav"), "new");
    EXPECT_EQ(live("Localize/DefaultConfiguration/ENU/a.wav"), "backed up a");
    EXPECT_EQ(live("Localize/DefaultConfiguration/ENU/b.wav"), "live b");

    ASSERT_EQ(f.msgbox.shown.size(), 2u);
    EXPECT_EQ(f.msgbox.shown[0].text, "#7");
    EXPECT_EQ(f.msgbox.shown[0].buttons, vbYesNo);
    EXPECT_EQ(f.msgbox.shown[1].text, "#55");
    EXPECT_EQ(f.msgbox.shown[1].buttons, vbOKOnly);
    EXPECT_EQ(f.view.events, (EventList{"commands off", "splash show: #12", "splash hide", "commands on"}));
    EXPECT_TRUE(f.processes.started.empty());
    EXPECT_FALSE(f.logExists());
}

TEST_F(RestoreTest, RefusalsCopyNothing) {
    struct Case {
        std::string target;
        std::string root;
        int answer;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"", "C:\\Talvio\\", vbYes, {"#25"}},           {"C:\\Nothing\\", "C:\\Talvio\\", vbYes, {"#27"}},
        {"C:\\Backup", "C:\\Talvio\\", vbYes, {"#27"}}, // looks for C:\BackupStream Files
        {"C:\\Backup\\", "C:\\Talvio\\", vbNo, {"#7"}}, {"C:\\Backup\\", "", vbYes, {kRestoreNoRootText}},
    };
    fs::create_directories(f.c("Nothing/DefaultConfiguration"));
    for (const Case& c : cases) {
        f.view.backupTarget = c.target;
        f.setRootPath(c.root);
        f.msgbox.shown.clear();
        f.view.events.clear();
        f.msgbox.nextAnswer(c.answer);
        restore.mnuRestore_Click();
        EXPECT_EQ(f.messages(), c.messages) << c.target << " / " << c.root;
        EXPECT_EQ(f.view.events, (EventList{"commands off", "commands on"})) << c.target; // no splash
        EXPECT_EQ(live("Stream Files/g1.wav"), "live 1");
        EXPECT_FALSE(fs::exists(f.c("Stream Files")));
        EXPECT_FALSE(fs::exists(f.prefix.root() / "Stream Files"));
    }
}

TEST_F(RestoreTest, TargetWithoutBackslashUsesTheRunTogetherName) {
    writeFile(f.c("storeStream Files/g1.wav"), "from store");
    writeFile(f.c("storeDefaultConfiguration/ENU/a.wav"), "store a");
    f.view.backupTarget = "C:\\store";
    restore.mnuRestore_Click();
    EXPECT_EQ(live("Stream Files/g1.wav"), "from store");
    EXPECT_EQ(live("Localize/DefaultConfiguration/ENU/a.wav"), "store a");
}

TEST_F(RestoreTest, BackupWithoutDefaultConfigurationRestoresTheStreamFilesAndSaysWhy) {
    fs::remove_all(f.c("Backup/DefaultConfiguration"));
    restore.mnuRestore_Click();
    EXPECT_EQ(live("Stream Files/g1.wav"), "backed up 1");
    EXPECT_EQ(live("Localize/DefaultConfiguration/ENU/a.wav"), "live a");
    ASSERT_EQ(f.messages().size(), 3u);
    EXPECT_EQ(f.messages()[0], "#7");
    EXPECT_EQ(f.messages()[1].rfind("#16", 0), 0u);
    EXPECT_GT(f.messages()[1].size(), 3u); // followed directly by the description
    EXPECT_NE(f.messages()[1][3], ' ');
    EXPECT_EQ(f.messages()[2], "#55");
    EXPECT_FALSE(f.view.fakeSplash().visible);
}

TEST_F(RestoreTest, ReadOnlyLiveFileIsReportedAndTheRestGoesOn) {
    const fs::path locked = f.c("Talvio/Stream Files/g1.wav");
    fs::permissions(locked, fs::perms::owner_read);
    restore.mnuRestore_Click();
    EXPECT_EQ(readFile(locked), "live 1");
    EXPECT_EQ(live("Localize/DefaultConfiguration/ENU/a.wav"), "backed up a");
    ASSERT_EQ(f.messages().size(), 3u);
    EXPECT_EQ(f.messages()[1], "#16Permission denied");
    EXPECT_EQ(f.messages()[2], "#55");
}

TEST_F(RestoreTest, RefusedWhileARunIsUnderWay) {
    BusyGuard run(f.busy, f.view);
    restore.mnuRestore_Click();
    EXPECT_TRUE(f.messages().empty());
    EXPECT_EQ(live("Stream Files/g1.wav"), "live 1");
}

} // namespace
