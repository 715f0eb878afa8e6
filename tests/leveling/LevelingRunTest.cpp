// The greeting leveling run end to end on a test machine: the window, the message boxes, the
// synchronisation component and the pause are doubles; files, registry, log and tool are real.
#include "leveling/LevelingRun.h"
#include "leveling/PromptLeveling.h"
#include "leveling/RunFixture.h"
#include "platform/LinuxRunLock.h"
#include "restore/Restore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>

namespace fs = std::filesystem;
using namespace levora;
using namespace levora::test;

namespace {

int32_t dword(RunFixture& f, const char* name) {
    Variant v = f.registry.getRegValue(HKEY_LOCAL_MACHINE, kAgcKey, name, REG_DWORD, int32_t{-999999});
    return std::get<int32_t>(v);
}

bool contains(const std::vector<std::string>& lines, const std::string& text) {
    return std::find(lines.begin(), lines.end(), text) != lines.end();
}

size_t countStarting(const std::vector<std::string>& lines, const std::string& start) {
    return static_cast<size_t>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; }));
}

TEST(NumberOfText, ReadsTheLeadingNumber) {
    const std::pair<const char*, double> cases[] = {
        {"-26", -26}, {" 0", 0},    {"8000", 8000}, {"- 2 6", -26},   {"12.5dB", 12.5}, {"abc", 0},     {"", 0},
        {"dB-26", 0}, {"--5", 0},   {"+7", 7},      {".5", 0.5},      {"-.5", -0.5},    {"1e3", 1000},  {"2D2", 200},
        {"1e", 1},    {"1,000", 1}, {"5 0", 50},    {"\t-4\t5", -45}, {"3.", 3},        {"1e+2x", 100}, {"7e-1", 0.7},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_DOUBLE_EQ(NumberOfText(text), expected) << '"' << text << '"';
    EXPECT_THROW(NumberOfText("1e999"), Error);
}

class LevelingRunTest : public ::testing::Test {
protected:
    LevelingRunTest() : run(f.ctx) {
        f.installTool();
        // Message boxes and window changes in one time line.
        f.msgbox.onShow = [this](const ScriptedMessageBox::Shown& m) { f.view.events.push_back("msgbox: " + m.text); };
    }

    // n greetings, those whose index (1-based) is in ticked are selected.
    std::vector<std::string> addRows(int n, std::initializer_list<int> ticked) {
        std::vector<std::string> files;
        for (int i = 1; i <= n; ++i) {
            files.push_back(
                f.addGreeting("greeting" + std::to_string(i) + ".wav", pcmWav("audio" + std::to_string(i))));
            f.view.rows.push_back({std::find(ticked.begin(), ticked.end(), i) != ticked.end(), files.back()});
        }
        return files;
    }
    // The samples of greeting i.
    std::string greeting(int i) {
        return RunFixture::samplesOf(readFile(f.c("Talvio/Stream Files/greeting" + std::to_string(i) + ".wav")));
    }

    RunFixture f;
    LevelingRun run;
};

TEST_F(LevelingRunTest, NothingTickedChangesNothing) {
    addRows(3, {});
    f.view.saveToRegistry = true;
    f.view.backup = true;
    f.view.backupTarget = "C:\\Backup\\";
    run.cmdSetdB_Click();

    EXPECT_EQ(f.messages(), std::vector<std::string>{"#26"});
    EXPECT_EQ(f.msgbox.shown[0].buttons, vbOKOnly);
    EXPECT_EQ(dword(f, "AGCTargetDB"), 0);
    EXPECT_EQ(dword(f, "AGCsampleSize"), -999999);
    EXPECT_FALSE(f.logExists());
    EXPECT_FALSE(fs::exists(f.c("Backup")));
    EXPECT_FALSE(f.view.hourglass);
    EXPECT_TRUE(f.automation.created.empty());
    EXPECT_TRUE(f.view.commandsEnabled);
    EXPECT_FALSE(f.busy.busy());
}

TEST_F(LevelingRunTest, OptionsAreSavedAsTheHostDefaults) {
    struct Case {
        const char *target, *minimum, *sample, *change;
        int32_t expTarget, expMinimum, expSample, expChange;
    };
    const Case cases[] = {
        {"-26", "-45", "8000", "5", -26, 45, 8000, 5},
        {" 0", "-50", "6000", "20", 0, 50, 6000, 20},
        {"none", "x", "", "dB", 0, 0, 0, 0},
        {"-12.5", "45", "2.5", "3.5", -12, 45, 2, 4}, // halves go to the even neighbour
    };
    addRows(2, {1});
    f.view.saveToRegistry = true;
    for (const Case& c : cases) {
        f.view.target = c.target;
        f.view.minimum = c.minimum;
        f.view.sampleSize = c.sample;
        f.view.maxChange = c.change;
        run.cmdSetdB_Click();
        EXPECT_EQ(dword(f, "AGCTargetDB"), c.expTarget) << c.target;
        EXPECT_EQ(dword(f, "AGCminimumThreshold"), c.expMinimum) << c.minimum;
        EXPECT_EQ(dword(f, "AGCsampleSize"), c.expSample) << c.sample;
        EXPECT_EQ(dword(f, "AGCgainThreshold"), c.expChange) << c.change;
        if (std::string(c.target) == "-26") {
            EXPECT_NE(readFile(f.prefix.systemReg()).find("\"AGCTargetDB\"=dword:ffffffe6"), std::string::npos);
        }
    }
}

TEST_F(LevelingRunTest, UntickedRegistrySaveWritesNothing) {
    addRows(1, {1});
    f.view.saveToRegistry = false;
    f.view.target = "-30";
    run.cmdSetdB_Click();
    EXPECT_EQ(dword(f, "AGCTargetDB"), 0);
    EXPECT_EQ(dword(f, "AGCsampleSize"), -999999);
}

TEST_F(LevelingRunTest, OneTickedRowOfFive) {
    const auto files = addRows(5, {3});
    run.cmdSetdB_Click();

    EXPECT_EQ(f.view.progressMin, 1);
    EXPECT_EQ(f.view.progressMax, 6);
    EXPECT_EQ(f.view.progressValues, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(f.view.progressVisible); // the synchronisation hides it for good

    const OptionTexts options{"-26", "-45", "8000", "5"};
    EXPECT_EQ(f.logBody(),
              (std::vector<std::string>{files[2] + " set to dB -26",
                                        "    Used command line=" + f.gain.buildCommandLine(files[2], options)}));
    EXPECT_EQ(greeting(3), RunFixture::levelled("audio3"));
    for (int i : {1, 2, 4, 5})
        EXPECT_EQ(greeting(i), "audio" + std::to_string(i));

    EXPECT_EQ(f.messages(), std::vector<std::string>{"#20"});
    EXPECT_EQ(f.msgbox.shown[0].buttons, vbOKCancel);
    ASSERT_EQ(f.processes.started.size(), 1u);
    EXPECT_EQ(f.processes.started[0].commandLine, "notepad.exe c:\\Levora.log");
    EXPECT_EQ(f.processes.started[0].style, WindowStyle::NormalFocus);
    EXPECT_EQ(f.automation.bridge->calls, 1);
    EXPECT_EQ(f.view.caption, "#20");
    EXPECT_FALSE(f.view.hourglass);
    EXPECT_GE(f.pump.doEvents, 5);
    // The log is closed before the question: the viewer sees it whole.
    EXPECT_FALSE(f.log.isOpen());
    EXPECT_TRUE(f.view.commandsEnabled);
}

TEST_F(LevelingRunTest, OptionTextsAreReadAnewForEveryFile) {
    const auto files = addRows(2, {1, 2});
    f.pump.onEvents = [this] {
        if (f.view.progress >= 2) // after the first row
            f.view.target = "-20";
    };
    run.cmdSetdB_Click();
    const auto body = f.logBody();
    EXPECT_TRUE(contains(body, files[0] + " set to dB -26"));
    EXPECT_TRUE(contains(body, files[1] + " set to dB -20"));
}

TEST_F(LevelingRunTest, MissingToolIsLoggedAndTheRunGoesOn) {
    fs::remove(f.c("Levora/gainfix315"));
    const auto files = addRows(3, {1, 3});
    run.cmdSetdB_Click();

    const auto body = f.logBody();
    for (int i : {0, 2}) {
        const auto setTo = std::find(body.begin(), body.end(), files[static_cast<size_t>(i)] + " set to dB -26");
        ASSERT_NE(setTo, body.end());
        ASSERT_NE(setTo + 1, body.end());
        EXPECT_EQ((setTo + 1)->rfind("    Used command line=", 0), 0u);
        // The failing sub-steps come before the file's two lines.
        ASSERT_NE(setTo, body.begin());
        EXPECT_EQ((setTo - 1)->rfind("(error) in cmdSetDB function: ", 0), 0u) << *(setTo - 1);
    }
    EXPECT_GE(countStarting(body, "(error) in cmdSetDB function: "), 2u);
    EXPECT_EQ(countStarting(body, "(error) Failed"), 0u);
    for (int i : {1, 2, 3})
        EXPECT_EQ(greeting(i), "audio" + std::to_string(i));
    EXPECT_EQ(f.messages(), std::vector<std::string>{"#20"});
}

TEST_F(LevelingRunTest, OneFileFailingLeavesTheOthersLevelled) {
    const auto files = addRows(3, {1, 2, 3});
    fs::remove(f.c("Talvio/Stream Files/greeting2.wav")); // the tool cannot read it
    run.cmdSetdB_Click();
    EXPECT_EQ(greeting(1), RunFixture::levelled("audio1"));
    EXPECT_EQ(greeting(3), RunFixture::levelled("audio3"));
    EXPECT_FALSE(fs::exists(f.c("Talvio/Stream Files/greeting2.wav")));
    const auto body = f.logBody();
    EXPECT_EQ(countStarting(body, "    Used command line="), 3u);
    EXPECT_GE(countStarting(body, "(error) in cmdSetDB function: "), 1u);
    EXPECT_EQ(f.messages(), std::vector<std::string>{"#20"});
}

TEST_F(LevelingRunTest, TheRunSaysHowItEnded) {
    // Three ticked: one levelled, one the tool cannot read, one whose output is refused; the
    // synchronisation warns once. The header's "Search for '(error)'..." line is no failure.
    addRows(4, {1, 2, 3});
    fs::remove(f.c("Talvio/Stream Files/greeting2.wav"));
    writeFile(f.c("Talvio/Stream Files/greeting3.wav"), "not a WAV file");
    f.automation.bridge->script = {{err::E_POINTER_, "busy"}};
    std::vector<std::string> observed;
    run.setFileObserver([&](const FileOutcome& o) { observed.push_back(o.path); });
    const RunOutcome outcome = run.cmdSetdB_Click();
    EXPECT_EQ(outcome.end, RunEnd::Completed);
    EXPECT_EQ(outcome.filesTicked, 3);
    EXPECT_EQ(outcome.filesTried, 3);
    // One record per file, in the grid's order, also handed to the observer as each is finished.
    ASSERT_EQ(outcome.files.size(), 3u);
    EXPECT_EQ(observed,
              (std::vector<std::string>{outcome.files[0].path, outcome.files[1].path, outcome.files[2].path}));
    const FileOutcome& levelled = outcome.files[0];
    EXPECT_EQ(levelled.path, "C:\\Talvio\\Stream Files\\greeting1.wav");
    EXPECT_EQ(levelled.toolEnd, ToolEnd::Exited);
    EXPECT_EQ(levelled.verdict, OutputVerdict::Accepted);
    EXPECT_TRUE(levelled.replaced);
    EXPECT_EQ(levelled.scratch, "c:\\mytempwavfile774.WAV");
    EXPECT_DOUBLE_EQ(levelled.target, -26.0);
    EXPECT_FALSE(levelled.failed());
    const FileOutcome& missing = outcome.files[1];
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_FALSE(missing.replaced);
    EXPECT_EQ(missing.error, "The gain tool reported a failure (exit code 3)");
    EXPECT_EQ(outcome.files[2].verdict, OutputVerdict::NotRecording);
    EXPECT_EQ(outcome.recordingsFailed(), 1) << "a file that is no recording does not count";
    EXPECT_EQ(outcome.filesLevelled, 1);
    EXPECT_TRUE(outcome.synced);
    EXPECT_EQ(outcome.failures, 2);
    EXPECT_EQ(outcome.warnings, 1);
    EXPECT_TRUE(outcome.logWritten);
    const auto body = f.logBody();
    EXPECT_EQ(countStarting(body, "(error)"), 2u);

    // A log that cannot be written is said so; the failures are still counted.
    fs::create_directories(f.c("Levora.log.d"));
    fs::remove(f.c("Levora.log"));
    fs::create_directory_symlink(f.c("Levora.log.d"), f.c("Levora.log"));
    const RunOutcome unlogged = run.cmdSetdB_Click();
    EXPECT_TRUE(unlogged.reachedEnd());
    EXPECT_FALSE(unlogged.logWritten);
    EXPECT_EQ(unlogged.failures, 2);

    // Nothing ticked: the run did not reach its end.
    for (auto& row : f.view.rows)
        row.selected = false;
    EXPECT_EQ(run.cmdSetdB_Click().end, RunEnd::NothingTicked);
}

TEST(LevelingRunJobs, SeveralJobsLevelAndLogAsOneJobDoes) {
    // The same rows on two machines, one job and three. Earlier files take longer, so later tools end
    // first; failures come from the start (a quote in the path), the tool (no such file) and the
    // output check (not a WAV file). A killed run's read-only scratch file waits on the second.
    struct Result {
        std::map<std::string, std::string> files;
        std::vector<std::string> log;
        std::vector<int> progress;
        RunOutcome outcome;
    };
    auto levelWith = [](int jobs) {
        RunFixture f;
        f.installTool("gainfix315", "case \"$src\" in *slow*) sleep 0.3;; *late*) sleep 0.1;; esac\n");
        const std::pair<const char*, bool> rows[] = {
            {"slow1.wav", true},   {"late2.wav", true}, {"unticked.wav", false},  {"quote\".wav", true},
            {"missing.wav", true}, {"index.idx", true}, {"slow3.wav", true},      {"g4.wav", true},
            {"g5.wav", true},      {"late6.wav", true}, {"unticked2.wav", false}, {"g7.wav", true}};
        for (const auto& [name, ticked] : rows) {
            const std::string stem = name;
            const std::string path =
                stem == "missing.wav" || stem == "quote\".wav"
                    ? "C:\\Talvio\\Stream Files\\" + stem
                    : f.addGreeting(stem, stem == "index.idx" ? std::string("index") : pcmWav("audio " + stem));
            f.view.rows.push_back({ticked, path});
        }
        writeFile(f.c("mytempwavfile774-3.wav"), pcmWav("stale of a killed run"));
        std::filesystem::permissions(f.c("mytempwavfile774-3.wav"), std::filesystem::perms::owner_read);
        LevelingRun run(f.ctx);
        run.setJobs(jobs);
        Result r;
        r.outcome = run.cmdSetdB_Click();
        for (const auto& e : std::filesystem::directory_iterator(f.c("Talvio/Stream Files")))
            r.files[e.path().filename().string()] = readFile(e.path());
        r.log = f.logBody();
        r.progress = f.view.progressValues;
        return r;
    };
    const Result one = levelWith(1);
    const Result three = levelWith(3);

    EXPECT_EQ(three.files, one.files);
    EXPECT_EQ(one.files.at("slow1.wav"), pcmWav(RunFixture::levelled("audio slow1.wav")));
    EXPECT_EQ(one.files.at("unticked.wav"), pcmWav("audio unticked.wav"));
    // Line for line, apart from the scratch names; the later jobs did write theirs.
    std::vector<std::string> renamed = three.log;
    size_t otherScratch = 0;
    const std::regex scratch(R"(c:\\mytempwavfile774-\d+\.WAV)");
    for (std::string& line : renamed) {
        otherScratch += std::regex_search(line, scratch) ? 1 : 0;
        line = std::regex_replace(line, scratch, "c:\\mytempwavfile774.WAV");
    }
    EXPECT_EQ(renamed, one.log);
    EXPECT_GE(otherScratch, 2u);
    EXPECT_EQ(countStarting(one.log, "(error)"), 3u);
    EXPECT_EQ(three.progress, one.progress);
    EXPECT_EQ(three.outcome.filesTried, 10);
    EXPECT_EQ(three.outcome.filesLevelled, one.outcome.filesLevelled);
    EXPECT_EQ(three.outcome.failures, one.outcome.failures);
}

TEST_F(LevelingRunTest, CancelStartsNoViewerAndRestoresThePointer) {
    addRows(1, {1});
    f.msgbox.nextAnswer(vbCancel);
    run.cmdSetdB_Click();
    EXPECT_TRUE(f.processes.started.empty());
    EXPECT_EQ(f.view.events.back(), "commands on");
    EXPECT_EQ(f.view.events[f.view.events.size() - 2], "hourglass off");
}

TEST_F(LevelingRunTest, AViewerThatCannotStartIsSaidAndIsNotASynchronisationFailure) {
    class FailingViewer : public RecordingProcesses {
    public:
        using RecordingProcesses::RecordingProcesses;
        uint32_t Start(const std::string& commandLine, WindowStyle style) override {
            if (commandLine.rfind("notepad.exe", 0) == 0)
                throw Error(err::FileNotFound);
            return RecordingProcesses::Start(commandLine, style);
        }
    } viewer(f.realProcesses);
    RunContext ctx = f.ctx;
    RunContext patched{ctx.view, ctx.msgbox, ctx.fs,   viewer,         ctx.automation, ctx.registry, ctx.log,
                       ctx.gain, ctx.app,    ctx.pump, ctx.loadString, ctx.pause,      ctx.busy};
    LevelingRun other(patched);
    addRows(1, {1});
    other.cmdSetdB_Click();
    EXPECT_EQ(f.messages(), (std::vector<std::string>{"#20", "c:\\Levora.log: File not found"})); // no string 42
    EXPECT_FALSE(f.view.hourglass);
}

TEST_F(LevelingRunTest, NoSecondStartWhileARunIsUnderWay) {
    addRows(3, {1, 2, 3});
    GreetingRestore restore(f.ctx);
    PromptLeveling prompts(f.ctx);
    int reentries = 0;
    bool disabledDuringRun = true;
    f.pump.onEvents = [&] {
        disabledDuringRun = disabledDuringRun && !f.view.commandsEnabled && f.busy.busy();
        if (reentries++ < 3) {
            run.cmdSetdB_Click();
            restore.mnuRestore_Click();
            prompts.mnuLevoraForPrompts_Click();
        }
    };
    run.cmdSetdB_Click();
    EXPECT_TRUE(disabledDuringRun);
    EXPECT_GE(reentries, 3);
    // One run: one final question, three files, one synchronisation.
    EXPECT_EQ(f.messages(), std::vector<std::string>{"#20"});
    EXPECT_EQ(countStarting(f.logBody(), "    Used command line="), 3u);
    EXPECT_EQ(f.automation.created.size(), 1u);
    EXPECT_EQ(std::count(f.view.events.begin(), f.view.events.end(), "commands off"), 1);
    EXPECT_TRUE(f.view.commandsEnabled);
    EXPECT_FALSE(f.busy.busy());
}

TEST_F(LevelingRunTest, AnotherProcessOnTheMachineRefusesEveryOperationBeforeAnyChange) {
    addRows(2, {1, 2});
    f.view.saveToRegistry = true;
    f.view.backup = true;
    f.view.backupTarget = "C:\\Backup\\";
    writeFile(f.c("Backup/Stream Files/greeting1.wav"), "earlier backup");
    writeFile(f.c("Talvio/Localize/Prompts/welcome.wav"), "prompt");
    GreetingRestore restore(f.ctx);
    PromptLeveling prompts(f.ctx);
    // Another process's hold: a lock of its own on the same file.
    LinuxRunLock other(f.prefix.runLockFile());
    ASSERT_EQ(other.tryAcquire(), IRunLock::State::Acquired);

    const std::pair<const char*, std::function<void()>> operations[] = {
        {"leveling run", [&] { run.cmdSetdB_Click(); }},
        {"restore", [&] { restore.mnuRestore_Click(); }},
        {"prompt leveling", [&] { prompts.mnuLevoraForPrompts_Click(); }},
    };
    for (const auto& [name, start] : operations) {
        f.msgbox.shown.clear();
        start();
        EXPECT_EQ(f.messages(), std::vector<std::string>{"#58"}) << name;
    }
    EXPECT_FALSE(f.logExists());
    EXPECT_EQ(dword(f, "AGCTargetDB"), 0);
    EXPECT_EQ(greeting(1), "audio1");
    EXPECT_EQ(readFile(f.c("Backup/Stream Files/greeting1.wav")), "earlier backup");
    EXPECT_EQ(readFile(f.c("Talvio/Localize/Prompts/welcome.wav")), "prompt");
    EXPECT_TRUE(f.view.commandsEnabled);
    EXPECT_FALSE(f.busy.busy());

    // Once it is gone the run goes ahead, holds the machine while it works and gives it back before
    // its final question waits for an answer.
    other.release();
    f.view.backup = false;
    LinuxRunLock probe(f.prefix.runLockFile());
    auto probeState = [&] {
        const IRunLock::State state = probe.tryAcquire();
        probe.release();
        return state;
    };
    std::vector<IRunLock::State> whileWorking, atTheQuestion;
    f.pump.onEvents = [&] { whileWorking.push_back(probeState()); };
    f.msgbox.onShow = [&](const ScriptedMessageBox::Shown&) { atTheQuestion.push_back(probeState()); };
    run.cmdSetdB_Click();
    EXPECT_EQ(greeting(1), RunFixture::levelled("audio1"));
    ASSERT_FALSE(whileWorking.empty());
    EXPECT_EQ(std::count(whileWorking.begin(), whileWorking.end(), IRunLock::State::Acquired), 0);
    EXPECT_EQ(atTheQuestion, std::vector<IRunLock::State>{IRunLock::State::Acquired});
}

TEST_F(LevelingRunTest, LeftoversOfAKilledRunAreRemovedBeforeTheBackupAndNothingElseIs) {
    addRows(1, {1});
    f.view.backup = true;
    f.view.backupTarget = "C:\\Backup\\";
    fs::create_directories(f.c("Backup"));
    const fs::path stream = f.c("Talvio/Stream Files");
    const std::vector<fs::path> leftovers = {
        stream / ".voicename_1136.wav.levora-r3uEo1", stream / ".levora-Ab12cD", stream / "Sub/.levora-x1y2z3",
        f.c("Talvio/Localize/DefaultConfiguration/ENU/.levora-000000"), f.c(".Levora.log.levora-q9w8e7")};
    const std::vector<fs::path> lookalikes = {stream / ".levora-abc", stream / "levora-abcdef",
                                              stream / ".levora-ab_def", stream / "g.wav.levora-abcdef",
                                              stream / ".levora-abcdefg"};
    for (const auto& p : leftovers)
        writeFile(p, "half a file");
    for (const auto& p : lookalikes)
        writeFile(p, "the host's");
    run.cmdSetdB_Click();
    for (const auto& p : leftovers)
        EXPECT_FALSE(fs::exists(p)) << p;
    for (const auto& p : lookalikes)
        EXPECT_TRUE(fs::exists(p)) << p;
    EXPECT_FALSE(fs::exists(f.c("Backup/Stream Files/.levora-Ab12cD")));
    EXPECT_EQ(greeting(1), RunFixture::levelled("audio1"));
}

TEST_F(LevelingRunTest, AnotherPrefixWorkingOnTheSameHostFoldersRefusesTheRunBeforeAnyChange) {
    addRows(1, {1});
    f.view.saveToRegistry = true;
    f.view.target = "-30";
    // Another machine prefix whose drives lead to this host's root, or to this drive C.
    for (const char* folder : {"Talvio", ""}) {
        LinuxRunLock other(f.dir.path() / "other-prefix.lock");
        ASSERT_EQ(other.tryAcquire(), IRunLock::State::Acquired);
        ASSERT_EQ(other.tryAcquireFolder(f.c(folder)), IRunLock::State::Acquired);
        f.msgbox.shown.clear();
        EXPECT_FALSE(run.cmdSetdB_Click().started()) << folder;
        EXPECT_EQ(f.messages(), std::vector<std::string>{"#58"}) << folder;
    }
    EXPECT_EQ(dword(f, "AGCTargetDB"), 0);
    EXPECT_FALSE(f.logExists());
    EXPECT_EQ(greeting(1), "audio1");
    EXPECT_FALSE(f.busy.busy());
}

TEST_F(LevelingRunTest, LeftoversOfAKilledToolAreLoggedAndExtraScratchFilesGoAtTheEnd) {
    addRows(6, {1, 2, 3, 4, 5, 6});
    const fs::path toolLeftover = f.c(".mytempwavfile774-2.WAV.gainfix-Ab12cd");
    const fs::path notOurs = f.c(".mytempwavfile774.WAV.other-Ab12cd");
    writeFile(toolLeftover, "half");
    writeFile(notOurs, "the host's");
    run.setJobs(2);
    run.cmdSetdB_Click();
    EXPECT_FALSE(fs::exists(toolLeftover));
    EXPECT_TRUE(fs::exists(notOurs));
    EXPECT_TRUE(contains(f.logBody(), "Removed the leftover file c:\\.mytempwavfile774-2.WAV.gainfix-Ab12cd"))
        << ::testing::PrintToString(f.logBody());
    for (const auto& entry : fs::directory_iterator(f.c("")))
        EXPECT_FALSE(entry.path().filename().string().starts_with("mytempwavfile774-")) << entry.path();
    EXPECT_EQ(greeting(6), RunFixture::levelled("audio6"));
}

// ----------------------------------------------------------------- backup within the run

class BackupInRunTest : public LevelingRunTest {
protected:
    void SetUp() override {
        f.view.backup = true;
        f.view.backupTarget = "C:\\Backup\\";
        fs::create_directories(f.c("Backup"));
    }
};

TEST_F(BackupInRunTest, EmptyTargetEndsTheRunBeforeAnyChange) {
    addRows(2, {1, 2});
    f.view.backupTarget = "";
    run.cmdSetdB_Click();
    EXPECT_EQ(f.messages(), std::vector<std::string>{"#25"});
    EXPECT_FALSE(f.logExists());
    EXPECT_EQ(greeting(1), "audio1");
    EXPECT_TRUE(f.view.commandsEnabled);
}

TEST_F(BackupInRunTest, NoToOverwriteKeepsTheEarlierBackupAfterTheRegistryWasWritten) {
    addRows(2, {1});
    f.view.saveToRegistry = true;
    f.view.target = "-30";
    writeFile(f.c("Backup/Stream Files/old.wav"), "earlier");
    f.msgbox.nextAnswer(vbNo);
    run.cmdSetdB_Click();

    ASSERT_EQ(f.msgbox.shown.size(), 1u);
    EXPECT_EQ(f.msgbox.shown[0].text, "#44");
    EXPECT_EQ(f.msgbox.shown[0].title, "#31");
    EXPECT_EQ(f.msgbox.shown[0].buttons, vbYesNo);
    EXPECT_EQ(dword(f, "AGCTargetDB"), -30);
    EXPECT_FALSE(f.logExists());
    EXPECT_EQ(greeting(1), "audio1");
    EXPECT_EQ(readFile(f.c("Backup/Stream Files/old.wav")), "earlier");
    EXPECT_FALSE(fs::exists(f.c("Backup/Stream Files/greeting1.wav")));
    EXPECT_FALSE(f.view.hourglass);
}

TEST_F(BackupInRunTest, BackupHoldsTheFilesAsTheyWereBeforeLeveling) {
    // A default-configuration greeting is listed and ticked too: it must be backed up unlevelled.
    writeFile(f.c("Talvio/Localize/DefaultConfiguration/ENU/welcome.wav"), pcmWav("welcome"));
    addRows(1, {1});
    f.view.rows.push_back({true, "C:\\Talvio\\Localize\\DefaultConfiguration\\ENU\\welcome.wav"});
    run.cmdSetdB_Click();

    EXPECT_EQ(RunFixture::samplesOf(readFile(f.c("Backup/Stream Files/greeting1.wav"))), "audio1");
    EXPECT_EQ(RunFixture::samplesOf(readFile(f.c("Backup/DefaultConfiguration/ENU/welcome.wav"))), "welcome");
    EXPECT_EQ(RunFixture::samplesOf(readFile(f.c("Talvio/Localize/DefaultConfiguration/ENU/welcome.wav"))),
              RunFixture::levelled("welcome"));
    EXPECT_EQ(greeting(1), RunFixture::levelled("audio1"));
    // The splash read string 12 and was gone before the first file.
    const auto& ev = f.view.events;
    const auto shown = std::find(ev.begin(), ev.end(), "splash show: #12");
    const auto hidden = std::find(ev.begin(), ev.end(), "splash hide");
    const auto hourglass = std::find(ev.begin(), ev.end(), "hourglass on");
    EXPECT_TRUE(shown < hidden && hidden < hourglass);
}

TEST_F(BackupInRunTest, FailedBackupEndsTheRunWithBothMessages) {
    addRows(2, {1});
    fs::create_directories(f.c("Backup/DefaultConfiguration"));
    run.cmdSetdB_Click();
    EXPECT_EQ(f.messages(), (std::vector<std::string>{"#14File already exists", "#5"}));
    EXPECT_FALSE(f.logExists());
    EXPECT_EQ(greeting(1), "audio1");
    EXPECT_TRUE(fs::exists(f.c("Backup/Stream Files/greeting1.wav")));
    EXPECT_FALSE(f.view.fakeSplash().visible);
    EXPECT_FALSE(f.view.hourglass);
    EXPECT_TRUE(f.view.commandsEnabled);
    EXPECT_FALSE(f.busy.busy());
}

} // namespace

TEST_F(BackupInRunTest, NamesThatDifferOnlyInCaseAreNeitherBackedUpNorLevelled) {
    addRows(1, {1});
    const std::string first = f.addGreeting("greeting_1001_std.wav", pcmWav("first"));
    const std::string second = f.addGreeting("Greeting_1001_std.wav", pcmWav("second"));
    f.view.rows.push_back({true, first});
    f.view.rows.push_back({true, second});
    run.cmdSetdB_Click();

    const fs::path stream = f.c("Talvio/Stream Files");
    EXPECT_EQ(RunFixture::samplesOf(readFile(stream / "greeting_1001_std.wav")), "first");
    EXPECT_EQ(RunFixture::samplesOf(readFile(stream / "Greeting_1001_std.wav")), "second");
    EXPECT_FALSE(fs::exists(f.c("Backup/Stream Files/greeting_1001_std.wav")));
    EXPECT_FALSE(fs::exists(f.c("Backup/Stream Files/Greeting_1001_std.wav")));
    EXPECT_EQ(RunFixture::samplesOf(readFile(f.c("Backup/Stream Files/greeting1.wav"))), "audio1");
    EXPECT_EQ(greeting(1), RunFixture::levelled("audio1"));
    const auto body = f.logBody();
    const auto namesBoth = [](const std::string& l) {
        return l.starts_with("(error)") && l.find("greeting_1001_std.wav") != std::string::npos &&
               l.find("Greeting_1001_std.wav") != std::string::npos;
    };
    EXPECT_EQ(std::count_if(body.begin(), body.end(), namesBoth), 2) << ::testing::PrintToString(body);
}

TEST_F(BackupInRunTest, ABackupFolderAmongTheHostsFoldersIsRefusedBeforeAnyChange) {
    addRows(1, {1});
    fs::create_directory_symlink(f.c("Talvio"), f.c("Link"));
    fs::create_directories(f.c("Talvio2"));
    // Every spelling of a folder the run reads or changes, and one holding them.
    for (const char* target : {"C:\\Talvio\\", "c:\\TALVIO.\\", "C:/Talvio/Stream Files/", "C:\\Talvio\\Localize\\",
                               "C:\\Backup\\..\\Talvio\\Localize\\DefaultConfiguration\\",
                               "C:\\Talvio\\Stream Files\\deeper\\new\\", "C:\\Link\\", "C:\\", "C:\\Talvio\\."}) {
        f.msgbox.shown.clear();
        f.view.backupTarget = target;
        run.cmdSetdB_Click();
        ASSERT_EQ(f.messages().size(), 1u) << target;
        EXPECT_TRUE(f.messages()[0].starts_with("#60\n\nThe backup folder ")) << f.messages()[0];
        EXPECT_EQ(greeting(1), "audio1") << target;
        EXPECT_FALSE(fs::exists(f.c("Talvio/Stream Files/Stream Files"))) << target;
        EXPECT_FALSE(fs::exists(f.c("Talvio/Stream Files/deeper"))) << target;
        EXPECT_FALSE(f.logExists()) << target;
    }
    // A neighbour whose name only begins like the root's is no host folder.
    f.msgbox.shown.clear();
    f.view.backupTarget = "C:\\Talvio2\\";
    run.cmdSetdB_Click();
    EXPECT_TRUE(f.messages().size() == 1 && f.messages()[0] == "#20") << ::testing::PrintToString(f.messages());
    EXPECT_EQ(RunFixture::samplesOf(readFile(f.c("Talvio2/Stream Files/greeting1.wav"))), "audio1");
}

TEST(LevelingRunStop, AStoppedRunFinishesTheFilesInFlightAndSynchronises) {
    for (const int jobs : {1, 3}) {
        RunFixture f;
        f.installTool();
        for (int i = 1; i <= 20; ++i)
            f.view.rows.push_back({true, f.addGreeting("g" + std::to_string(i) + ".wav", pcmWav("audio"))});
        LevelingRun run(f.ctx);
        run.setJobs(jobs);
        // What was handed over when the request came is finished: one file with one job, the queue's
        // twelve with three.
        // Asked between rows, as a front end's Exit or a signal would.
        run.setFileObserver([&](const FileOutcome&) { run.requestStop(); });
        const RunOutcome outcome = run.cmdSetdB_Click();
        EXPECT_EQ(outcome.end, RunEnd::StoppedByUser) << jobs;
        EXPECT_EQ(outcome.files.size(), jobs == 1 ? 1u : 12u);
        const auto body = f.logBody();
        EXPECT_EQ(countStarting(body, "    Used command line="), outcome.files.size());
        EXPECT_TRUE(contains(body, "(warning) The run was stopped by the user after " +
                                       std::to_string(outcome.files.size()) + " of 20 files"));
        EXPECT_TRUE(outcome.synced);
        EXPECT_EQ(f.automation.created.size(), 1u);
        for (const auto& e : fs::directory_iterator(f.c("")))
            EXPECT_EQ(e.path().filename().string().rfind("mytempwavfile774", 0), std::string::npos) << e.path();
        // The request belonged to that run.
        run.setFileObserver({});
        EXPECT_EQ(run.cmdSetdB_Click().end, RunEnd::Completed);
    }
}

TEST(LevelingRunStop, ThreeTimeOutsInARowEndTheLeveling) {
    RunFixture f;
    f.installTool("gainfix315", "sleep 10\n");
    f.gain.setToolTimeoutMs(100);
    for (int i = 1; i <= 5; ++i)
        f.view.rows.push_back({true, f.addGreeting("g" + std::to_string(i) + ".wav", pcmWav("audio"))});
    LevelingRun run(f.ctx);
    const RunOutcome outcome = run.cmdSetdB_Click();
    EXPECT_EQ(outcome.end, RunEnd::StoppedByTimeouts);
    ASSERT_EQ(outcome.files.size(), 3u);
    for (const FileOutcome& o : outcome.files)
        EXPECT_EQ(o.toolEnd, ToolEnd::TimedOut);
    EXPECT_EQ(
        countStarting(f.logBody(), "(error) in cmdSetDB function: " + standardDescription(err::ToolTimeoutsInARow)),
        1u);
    EXPECT_TRUE(outcome.synced);
    EXPECT_EQ(outcome.recordingsFailed(), 3);
}

TEST_F(LevelingRunTest, AToolThatIsThereButCannotRunIsNotMissing) {
    std::filesystem::permissions(f.c("Levora/gainfix315"), fs::perms::owner_read | fs::perms::owner_write);
    addRows(1, {1});
    const RunOutcome outcome = run.cmdSetdB_Click();
    ASSERT_EQ(outcome.files.size(), 1u);
    EXPECT_FALSE(outcome.files[0].toolStarted());
    EXPECT_EQ(outcome.files[0].error,
              "The gain tool C:\\Levora\\gainfix315 is there but cannot be run (is it executable?)");
}
