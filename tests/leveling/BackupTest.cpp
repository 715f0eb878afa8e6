// The greeting backup on a test machine: what lands in the backup folder and what the user is told.
#include "leveling/BackupOriginals.h"
#include "leveling/RunFixture.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace levora;
using namespace levora::test;

namespace {

class BackupTest : public ::testing::Test {
protected:
    BackupTest() : backup(f.ctx) {
        f.addGreeting("g1.wav", "one");
        f.addGreeting("notes.txt", "not audio but a stream file");
        writeFile(f.c("Talvio/Stream Files/Sub/g2.wav"), "two");
        fs::create_directories(f.c("Backup")); // the picker only offers folders that exist
    }
    bool run(const std::string& target) { return backup.BackupOriginals("C:\\Talvio\\", target); }

    RunFixture f;
    GreetingBackup backup;
};

TEST_F(BackupTest, CopiesStreamFilesWholeAndOnlyTheWavFilesOfTheDefaultConfiguration) {
    const fs::path dc = f.c("Talvio/Localize/DefaultConfiguration");
    writeFile(dc / "top.wav", "top");
    writeFile(dc / "ENU/a.wav", "a");
    writeFile(dc / "ENU/readme.txt", "text");
    writeFile(dc / "ENU/x.wav.bak", "bak");
    writeFile(dc / "ENU/Deep/b.WAV", "b");
    fs::create_directories(dc / "FRA");
    fs::create_directories(dc / "ENU/Empty");

    EXPECT_TRUE(run("C:\\Backup\\")) << ::testing::PrintToString(f.messages());
    EXPECT_TRUE(f.messages().empty());
    const fs::path b = f.c("Backup");
    EXPECT_EQ(readFile(b / "Stream Files/g1.wav"), "one");
    EXPECT_EQ(readFile(b / "Stream Files/notes.txt"), "not audio but a stream file");
    EXPECT_EQ(readFile(b / "Stream Files/Sub/g2.wav"), "two");
    EXPECT_EQ(readFile(b / "DefaultConfiguration/top.wav"), "top");
    EXPECT_EQ(readFile(b / "DefaultConfiguration/ENU/a.wav"), "a");
    EXPECT_EQ(readFile(b / "DefaultConfiguration/ENU/Deep/b.WAV"), "b");
    EXPECT_FALSE(fs::exists(b / "DefaultConfiguration/ENU/readme.txt"));
    EXPECT_FALSE(fs::exists(b / "DefaultConfiguration/ENU/x.wav.bak"));
    EXPECT_TRUE(fs::is_directory(b / "DefaultConfiguration/FRA"));
    EXPECT_TRUE(fs::is_directory(b / "DefaultConfiguration/ENU/Empty"));
    // Nothing else is written.
    size_t entries = 0;
    for (auto it = fs::directory_iterator(b); it != fs::directory_iterator(); ++it)
        ++entries;
    EXPECT_EQ(entries, 2u);
}

TEST_F(BackupTest, TypedTargetFolderIsMadeWhenItsParentExistsElseTheMessageSaysSo) {
    EXPECT_TRUE(run("C:\\Backup\\New\\")) << ::testing::PrintToString(f.messages());
    EXPECT_EQ(readFile(f.c("Backup/New/Stream Files/g1.wav")), "one");

    f.view.events.clear();
    EXPECT_FALSE(run("C:\\Nowhere\\Deeper\\"));
    EXPECT_EQ(f.messages(),
              std::vector<std::string>{
                  "#14The backup folder C:\\Nowhere\\Deeper\\ does not exist and cannot be created (Path not found)."});
    EXPECT_TRUE(f.view.events.empty()); // no splash
    EXPECT_FALSE(fs::exists(f.c("Nowhere")));
}

TEST_F(BackupTest, EmptyTargetIsRefused) {
    EXPECT_FALSE(run(""));
    EXPECT_EQ(f.messages(), std::vector<std::string>{"#25"});
    EXPECT_TRUE(f.view.events.empty()); // no splash
}

TEST_F(BackupTest, EarlierBackupIsReplacedOnlyAfterYes) {
    writeFile(f.c("Backup/Stream Files/old.wav"), "earlier");
    writeFile(f.c("Backup/DefaultConfiguration/ENU/old.wav"), "earlier dc");

    f.msgbox.nextAnswer(vbNo);
    EXPECT_FALSE(run("C:\\Backup\\"));
    EXPECT_EQ(readFile(f.c("Backup/Stream Files/old.wav")), "earlier");
    EXPECT_EQ(readFile(f.c("Backup/DefaultConfiguration/ENU/old.wav")), "earlier dc");
    EXPECT_FALSE(fs::exists(f.c("Backup/Stream Files/g1.wav")));
    EXPECT_TRUE(f.view.events.empty());

    f.msgbox.nextAnswer(vbYes);
    EXPECT_TRUE(run("C:\\Backup\\")) << ::testing::PrintToString(f.messages());
    EXPECT_FALSE(fs::exists(f.c("Backup/Stream Files/old.wav")));
    EXPECT_FALSE(fs::exists(f.c("Backup/DefaultConfiguration/ENU")));
    EXPECT_EQ(readFile(f.c("Backup/Stream Files/g1.wav")), "one");
    ASSERT_EQ(f.msgbox.shown.size(), 2u);
    for (const auto& shown : f.msgbox.shown) {
        EXPECT_EQ(shown.text, "#44");
        EXPECT_EQ(shown.title, "#31");
        EXPECT_EQ(shown.buttons, vbYesNo);
    }
}

TEST_F(BackupTest, ReadOnlyFilesOfAnEarlierBackupAreDeletedToo) {
    const fs::path old = f.c("Backup/Stream Files/old.wav");
    writeFile(old, "earlier");
    fs::permissions(old, fs::perms::owner_read);
    EXPECT_TRUE(run("C:\\Backup\\")) << ::testing::PrintToString(f.messages());
    EXPECT_FALSE(fs::exists(old));
}

TEST_F(BackupTest, DefaultConfigurationWithoutStreamFilesFailsAfterTheStreamCopy) {
    fs::create_directories(f.c("Backup/DefaultConfiguration"));
    EXPECT_FALSE(run("C:\\Backup\\"));
    EXPECT_EQ(f.messages(), (std::vector<std::string>{"#14File already exists", "#5"}));
    EXPECT_EQ(readFile(f.c("Backup/Stream Files/g1.wav")), "one"); // kept
    EXPECT_FALSE(f.view.fakeSplash().visible);
}

TEST_F(BackupTest, MissingStreamFilesFolderIsAFailure) {
    fs::remove_all(f.c("Talvio/Stream Files"));
    EXPECT_FALSE(run("C:\\Backup\\"));
    ASSERT_EQ(f.messages().size(), 2u);
    EXPECT_EQ(f.messages()[0].rfind("#14", 0), 0u);
    EXPECT_GT(f.messages()[0].size(), 3u); // with the description
    EXPECT_EQ(f.messages()[1], "#5");
}

TEST_F(BackupTest, HostWithoutDefaultConfigurationBacksUpTheStreamFiles) {
    fs::remove_all(f.c("Talvio/Localize"));
    EXPECT_TRUE(run("C:\\Backup\\")) << ::testing::PrintToString(f.messages());
    EXPECT_TRUE(fs::is_directory(f.c("Backup/DefaultConfiguration")));
    EXPECT_EQ(readFile(f.c("Backup/Stream Files/g1.wav")), "one");
}

TEST_F(BackupTest, TargetWithoutBackslashRunsTheNamesTogether) {
    writeFile(f.c("Talvio/Localize/DefaultConfiguration/ENU/a.wav"), "a");
    EXPECT_TRUE(run("C:\\save"));
    EXPECT_EQ(readFile(f.c("saveStream Files/g1.wav")), "one");
    EXPECT_EQ(readFile(f.c("saveDefaultConfiguration/ENU/a.wav")), "a");
}

TEST_F(BackupTest, SplashReadsString12EvenAfterAPromptLeveling) {
    f.view.splash().setLabel("Updating prompt file: hello.wav");
    EXPECT_TRUE(run("C:\\Backup\\")) << ::testing::PrintToString(f.messages());
    EXPECT_EQ(f.view.events, (EventList{"splash show: #12", "splash hide"}));
}

TEST(WavFileName, LastFourCharactersInAnyCase) {
    for (const char* yes : {"a.wav", "B.WAV", "c.Wav", ".wav"})
        EXPECT_TRUE(bIsWavFileName(yes)) << yes;
    for (const char* no : {"x.wav.bak", "readme.txt", "wav", "", "a.wa", "awav"})
        EXPECT_FALSE(bIsWavFileName(no)) << no;
}

} // namespace
