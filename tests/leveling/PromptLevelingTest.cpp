// Prompt leveling over a test machine's prompt tree.
#include "leveling/PromptLeveling.h"
#include "leveling/RunFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fs = std::filesystem;
using namespace levora;
using namespace levora::test;

namespace {

class PromptLevelingTest : public ::testing::Test {
protected:
    PromptLevelingTest() : prompts(f.ctx) { f.installTool(); }

    void addPrompt(const std::string& relative, const std::string& content = "prompt") {
        writeFile(f.c("Talvio/Localize/Prompts/" + relative), pcmWav(content));
    }
    // The samples of a prompt.
    std::string prompt(const std::string& relative) {
        return RunFixture::samplesOf(readFile(f.c("Talvio/Localize/Prompts/" + relative)));
    }

    RunFixture f;
    PromptLeveling prompts;
};

const std::string kBase = "C:\\Talvio\\localize\\prompts\\";

TEST_F(PromptLevelingTest, SubFoldersFirstThenFilesInListingOrder) {
    addPrompt("b.WAV", "b");
    addPrompt("a.wav", "a");
    addPrompt("ENU/c.wav", "c");
    addPrompt("x.wav.bak");
    addPrompt("readme.txt");
    addPrompt("wav");
    prompts.mnuLevoraForPrompts_Click();

    const OptionTexts options{"-26", "-45", "8000", "5"};
    std::vector<std::string> expected;
    for (const std::string& file : {kBase + "ENU\\c.wav", kBase + "a.wav", kBase + "b.WAV"}) {
        expected.push_back(file + " set to dB -26");
        expected.push_back("    Used command line=" + f.gain.buildCommandLine(file, options));
    }
    EXPECT_EQ(f.logBody(), expected);
    EXPECT_EQ(prompt("a.wav"), RunFixture::levelled("a"));
    EXPECT_EQ(prompt("b.WAV"), RunFixture::levelled("b"));
    EXPECT_EQ(prompt("ENU/c.wav"), RunFixture::levelled("c"));
    EXPECT_EQ(prompt("x.wav.bak"), "prompt");

    EXPECT_EQ(f.view.fakeSplash().labels,
              (std::vector<std::string>{"Updating prompt file: ", "Updating prompt file: c.wav",
                                        "Updating prompt file: a.wav", "Updating prompt file: b.WAV"}));
    EXPECT_EQ(f.view.events.front(), "commands off");
    EXPECT_EQ(f.view.events, (EventList{"commands off", "hourglass on", "splash show: Updating prompt file: ",
                                        "hourglass off", "splash hide", "commands on"}));
    ASSERT_EQ(f.msgbox.shown.size(), 2u);
    EXPECT_EQ(f.msgbox.shown[0].text, kPromptQuestion);
    EXPECT_EQ(f.msgbox.shown[0].buttons, vbYesNo);
    EXPECT_EQ(f.msgbox.shown[1].text, "#20");
    EXPECT_EQ(f.msgbox.shown[1].buttons, vbOKCancel);
    ASSERT_EQ(f.processes.started.size(), 1u);
    EXPECT_EQ(f.processes.started[0].commandLine, "notepad.exe c:\\Levora.log");
    EXPECT_FALSE(f.log.isOpen());
}

TEST_F(PromptLevelingTest, NoDoesNothing) {
    addPrompt("a.wav", "a");
    f.msgbox.nextAnswer(vbNo);
    prompts.mnuLevoraForPrompts_Click();
    EXPECT_FALSE(f.logExists());
    EXPECT_EQ(prompt("a.wav"), "a");
    EXPECT_EQ(f.messages().size(), 1u);
    EXPECT_EQ(f.view.events, (EventList{"commands off", "commands on"}));
}

TEST_F(PromptLevelingTest, MissingPromptFolderLeavesOnlyTheHeader) {
    prompts.mnuLevoraForPrompts_Click();
    EXPECT_TRUE(f.logExists());
    EXPECT_TRUE(f.logBody().empty());
    EXPECT_EQ(f.messages().back(), "#20");
}

TEST_F(PromptLevelingTest, MissingToolLogsBothLinesAndNoError) {
    fs::remove(f.c("Levora/gainfix315"));
    addPrompt("a.wav", "a");
    addPrompt("FRA/b.wav", "b");
    prompts.mnuLevoraForPrompts_Click();
    const auto body = f.logBody();
    ASSERT_EQ(body.size(), 4u);
    EXPECT_EQ(body[0], kBase + "FRA\\b.wav set to dB -26");
    EXPECT_EQ(body[2], kBase + "a.wav set to dB -26");
    for (const auto& line : body)
        EXPECT_EQ(line.find("(error)"), std::string::npos) << line;
    EXPECT_EQ(prompt("a.wav"), "a");
    EXPECT_EQ(f.messages(), (std::vector<std::string>{kPromptQuestion, "#20"}));
}

TEST_F(PromptLevelingTest, CancelStartsNoViewer) {
    addPrompt("a.wav");
    f.msgbox.nextAnswer(vbYes);
    f.msgbox.nextAnswer(vbCancel);
    prompts.mnuLevoraForPrompts_Click();
    EXPECT_TRUE(f.processes.started.empty());
    EXPECT_FALSE(f.view.hourglass);
}

TEST_F(PromptLevelingTest, HandlerFailuresAreShownAndTheHandlerGoesOn) {
    addPrompt("a.wav", "a");
    f.view.fakeSplash().failShow = true;
    prompts.mnuLevoraForPrompts_Click();
    EXPECT_EQ(f.messages(), (std::vector<std::string>{kPromptQuestion,
                                                      "(error):5 (Invalid procedure call or argument) in procedure "
                                                      "mnuLevoraForPrompts_Click of Form frmMain",
                                                      "#20"}));
    EXPECT_EQ(prompt("a.wav"), RunFixture::levelled("a"));
}

TEST_F(PromptLevelingTest, OptionTextsAreReadForEveryFile) {
    addPrompt("a.wav");
    addPrompt("b.wav");
    f.pump.onEvents = [this] {
        if (f.view.fakeSplash().label() == "Updating prompt file: a.wav") // while a.wav is levelled
            f.view.target = " 0";
    };
    prompts.mnuLevoraForPrompts_Click();
    const auto body = f.logBody();
    ASSERT_EQ(body.size(), 4u);
    EXPECT_EQ(body[0], kBase + "a.wav set to dB -26");
    EXPECT_EQ(body[2], kBase + "b.wav set to dB  0");
}

TEST_F(PromptLevelingTest, FolderWithOrWithoutTrailingBackslash) {
    addPrompt("ENU/a.wav");
    prompts.LevelPromptFolder("C:\\Talvio\\Localize\\Prompts\\ENU");
    prompts.LevelPromptFolder("C:\\Talvio\\Localize\\Prompts\\ENU\\");
    EXPECT_EQ(prompt("ENU/a.wav"), RunFixture::levelled(RunFixture::levelled("prompt")));
}

TEST_F(PromptLevelingTest, AFolderLinkThatLoopsEnds) {
    addPrompt("a.wav", "a");
    fs::create_directories(f.c("Talvio/Localize/Prompts/ENU"));
    fs::create_directory_symlink(f.c("Talvio/Localize/Prompts/ENU"), f.c("Talvio/Localize/Prompts/ENU/loop"));
    prompts.LevelPromptFolder(kBase);
    EXPECT_EQ(prompt("a.wav"), RunFixture::levelled("a"));
}

TEST(PromptFileName, LastFourCharactersInAnyCase) {
    for (const char* yes : {"a.wav", "b.WAV", "c.wAv"})
        EXPECT_TRUE(bIsPromptFileName(yes)) << yes;
    for (const char* no : {"x.wav.bak", "readme.txt", "wav", "av", ""})
        EXPECT_FALSE(bIsPromptFileName(no)) << no;
}

} // namespace
