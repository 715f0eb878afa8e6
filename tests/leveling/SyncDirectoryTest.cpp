// The synchronisation phase against a scripted component and a pause that only records.
#include "leveling/SyncDirectory.h"
#include "leveling/LevelingRun.h"
#include "leveling/RunFixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace levora;
using namespace levora::test;

namespace {

const std::string kWarning = "(warning) Syncer did not complete.  Waiting 30 seconds and trying again";
const std::string kFailed = "(error) Failed to syncronize SQL data with the directory.  Error number=";

class SyncDirectoryTest : public ::testing::Test {
protected:
    SyncDirectoryTest() : sync(f.ctx) {
        f.msgbox.onShow = [this](const ScriptedMessageBox::Shown& m) { f.view.events.push_back("msgbox: " + m.text); };
    }

    // The phase as the run calls it: log open, the run's trap writing its error lines.
    std::vector<std::string> runPhase() {
        f.log.OpenLog(kRunLogPath, false);
        StepRunner runTrap(
            [this](const Error& e) { f.log.WriteLog("(error) in cmdSetDB function: " + e.description()); });
        sync.SyncDirectory(runTrap);
        f.log.CloseLog();
        return f.logBody();
    }
    void script(std::initializer_list<std::pair<int32_t, std::string>> answers) {
        f.automation.bridge->script = answers;
    }

    RunFixture f;
    DirectorySync sync;
};

TEST_F(SyncDirectoryTest, SuccessShowsTheAnimationAndEndsWithString20) {
    const auto body = runPhase();
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(f.automation.created, std::vector<std::string>{"SqlDirBridge.dbBridge.1"});
    auto& bridge = *f.automation.bridge;
    ASSERT_EQ(bridge.calls, 1);
    EXPECT_EQ(bridge.methods[0], "SyncCommit");
    const std::vector<Variant> expected{Empty{}, Empty{}, int32_t{1}, int16_t{0}, int16_t{0}};
    EXPECT_EQ(bridge.argsSeen[0], expected);
    EXPECT_EQ(f.view.animationClip, "C:\\Levora\\filecopy.avi");
    EXPECT_FALSE(f.view.progressVisible);
    EXPECT_FALSE(f.view.animationVisible);
    EXPECT_EQ(f.view.events, (EventList{"animation open", "animation show", "animation play", "caption: #43",
                                        "animation stop", "animation hide", "caption: #20"}));
    EXPECT_TRUE(f.messages().empty());
    EXPECT_GE(f.pump.doEvents, 1);
}

TEST_F(SyncDirectoryTest, NotCompleteIsRetriedAfterThirtySeconds) {
    for (int32_t number : {err::E_POINTER_, err::RPC_E_DISCONNECTED_}) {
        f.automation.bridge = std::make_shared<FakeBridge>();
        f.automation.bridge->script = {{number, "busy"}, {number, "busy"}};
        f.pauses.clear();
        f.view.events.clear();
        const auto body = runPhase();
        EXPECT_EQ(body, (std::vector<std::string>{kWarning, kWarning})) << number;
        EXPECT_EQ(f.pauses, (std::vector<double>{30.0, 30.0}));
        EXPECT_EQ(f.automation.bridge->calls, 3);
        EXPECT_TRUE(f.messages().empty());
        EXPECT_EQ(f.view.caption, "#20");
        // Each try shows the animation and the status anew.
        EXPECT_EQ(std::count(f.view.events.begin(), f.view.events.end(), "caption: #43"), 3);
    }
    EXPECT_EQ(f.automation.created.size(), 2u); // one object per phase, never created again for a retry
}

TEST_F(SyncDirectoryTest, ARetryPassesTheSameVariablesAgain) {
    script({{err::E_POINTER_, "busy"}});
    runPhase();
    ASSERT_EQ(f.automation.bridge->calls, 2);
    EXPECT_EQ(f.automation.bridge->argsSeen[1][0], Variant(std::string("left by call 1")));
    EXPECT_EQ(f.automation.bridge->argsSeen[1][2], Variant(int32_t{1}));
}

TEST_F(SyncDirectoryTest, FinalFailuresAreLoggedWithTheirNumber) {
    struct Case {
        int32_t number;
        std::string description;
        std::string line;
    };
    const Case cases[] = {
        {err::E_FAIL_, "D", kFailed + "-2147467259 Description=D"},
        {429, "ActiveX component can't create object",
         kFailed + " 429 Description=ActiveX component can't create object"},
        {0x7fffffff, "big", kFailed + " 2147483647 Description=big"},
    };
    for (const Case& c : cases) {
        f.automation.bridge = std::make_shared<FakeBridge>();
        f.automation.bridge->script = {{c.number, c.description}};
        f.msgbox.shown.clear();
        f.view.events.clear();
        EXPECT_EQ(runPhase(), std::vector<std::string>{c.line});
        EXPECT_EQ(f.messages(), std::vector<std::string>{"#42"});
        EXPECT_TRUE(f.pauses.empty());
        // The failure is shown first, then the animation ends and the status reads string 20.
        const auto& ev = f.view.events;
        const auto shown = std::find(ev.begin(), ev.end(), "msgbox: #42");
        const auto stop = std::find(ev.begin(), ev.end(), "animation stop");
        EXPECT_TRUE(shown < stop);
        EXPECT_EQ(ev.back(), "caption: #20");
    }
}

TEST_F(SyncDirectoryTest, ComponentNotInstalled) {
    f.automation.registered = false;
    EXPECT_EQ(runPhase(),
              (std::vector<std::string>{"(error) in cmdSetDB function: ActiveX component can't create object",
                                        kFailed + " 91 Description=Object variable or With block variable not set"}));
    EXPECT_EQ(f.messages(), std::vector<std::string>{"#42"});
    EXPECT_EQ(f.view.caption, "#20");
}

TEST_F(SyncDirectoryTest, AComponentThatNeverCompletesIsGivenUpAfterTheBound) {
    f.automation.bridge->onCall = [] { throw Error(err::RPC_E_DISCONNECTED_, "gone"); };
    const auto body = runPhase();
    const int tries = DirectorySync::kDefaultMaxTries;
    EXPECT_EQ(f.automation.bridge->calls, tries);
    EXPECT_EQ(f.pauses.size(), static_cast<size_t>(tries - 1));
    ASSERT_EQ(body.size(), static_cast<size_t>(tries + 1));
    EXPECT_EQ(std::count(body.begin(), body.end(), kWarning), tries - 1);
    EXPECT_EQ(body[body.size() - 2], "(error) Syncer did not complete after 20 tries.  Giving up.");
    EXPECT_EQ(body.back(), kFailed + "-2147417848 Description=gone");
    EXPECT_EQ(f.messages(), std::vector<std::string>{"#42"});
    EXPECT_EQ(f.view.caption, "#20");
}

TEST_F(SyncDirectoryTest, TheWholeStepEndsWithinItsTimeLimit) {
    // Each call takes 10 s, each pause as long as it says; every call is bounded by the time left.
    double now = 1000;
    sync.setClock([&] { return now; });
    f.ctx.pause = [&](double seconds) {
        f.pauses.push_back(seconds);
        now += seconds;
    };
    f.automation.bridge->onCall = [&] {
        now += 10;
        throw Error(err::RPC_E_DISCONNECTED_, "busy");
    };
    const auto body = runPhase();
    EXPECT_EQ(f.automation.bridge->callLimits, (std::vector<uint32_t>{120000, 80000, 40000}));
    EXPECT_EQ(body, (std::vector<std::string>{kWarning, kWarning,
                                              "(error) Syncer did not complete within 120 seconds.  Giving up.",
                                              kFailed + "-2147417848 Description=busy"}));
    EXPECT_LE(now, 1000 + DirectorySync::kDefaultTimeLimitSeconds);
    EXPECT_EQ(f.messages(), std::vector<std::string>{"#42"});
}

TEST_F(SyncDirectoryTest, ADeadComponentIsCreatedOnceMoreThenGivenUp) {
    auto dies = [](FakeBridge& b) {
        b.onCall = [&b] {
            b.dead = true;
            throw Error(err::RPC_E_DISCONNECTED_, "gone");
        };
    };
    struct Case {
        const char* name;
        std::function<void(FakeAutomation&)> afterFirstDeath;
        std::vector<std::string> body;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"the new one works", [](FakeAutomation&) {}, {kWarning}, {}},
        {"the new one dies too",
         [&](FakeAutomation& a) { dies(*a.next.front()); },
         {kWarning, kFailed + "-2147417848 Description=gone"},
         {"#42"}},
        {"it cannot be created again",
         [](FakeAutomation& a) { a.registered = false; },
         {kWarning, kFailed + " 429 Description=ActiveX component can't create object"},
         {"#42"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        f.automation = FakeAutomation();
        f.automation.next = {std::make_shared<FakeBridge>()};
        FakeBridge& first = *f.automation.bridge;
        first.onCall = [&] {
            first.dead = true;
            c.afterFirstDeath(f.automation);
            throw Error(err::RPC_E_DISCONNECTED_, "gone");
        };
        f.pauses.clear();
        f.msgbox.shown.clear();
        EXPECT_EQ(runPhase(), c.body);
        EXPECT_EQ(f.messages(), c.messages);
        EXPECT_EQ(f.automation.created.size(), 2u);
        EXPECT_EQ(f.pauses, std::vector<double>{30.0});
        EXPECT_EQ(f.view.caption, "#20");
    }
}

TEST_F(SyncDirectoryTest, TheBoundCanBeSet) {
    sync.setMaxTries(3);
    f.automation.bridge->onCall = [] { throw Error(err::E_POINTER_, "locked"); };
    const auto body = runPhase();
    EXPECT_EQ(f.automation.bridge->calls, 3);
    EXPECT_EQ(body, (std::vector<std::string>{kWarning, kWarning,
                                              "(error) Syncer did not complete after 3 tries.  Giving up.",
                                              kFailed + "-2147467261 Description=locked"}));
}

TEST_F(SyncDirectoryTest, AMissingClipIsTheRunsFailureNotTheSynchronisations) {
    f.view.animationClipMissing = true;
    script({{err::E_POINTER_, "busy"}});
    const auto body = runPhase();
    EXPECT_EQ(body, (std::vector<std::string>{"(error) in cmdSetDB function: File not found", kWarning,
                                              "(error) in cmdSetDB function: File not found"}));
    EXPECT_TRUE(f.messages().empty());
    EXPECT_EQ(f.automation.bridge->calls, 2);
}

TEST_F(SyncDirectoryTest, ThePauseLetsTheWindowWorkButNoSecondRunStarts) {
    // Through the whole run: a click during the 30-second pause is refused.
    f.installTool();
    f.view.rows.push_back({true, f.addGreeting("a.wav")});
    LevelingRun run(f.ctx);
    RunContext& ctx = f.ctx;
    int clicks = 0;
    ctx.pause = [&](double seconds) {
        f.pauses.push_back(seconds);
        ++clicks;
        run.cmdSetdB_Click();
    };
    script({{err::E_POINTER_, "busy"}});
    run.cmdSetdB_Click();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(f.automation.created.size(), 1u);
    EXPECT_EQ(f.messages(), std::vector<std::string>{"#20"});
    const auto body = f.logBody();
    EXPECT_EQ(std::count(body.begin(), body.end(), kWarning), 1);
}

} // namespace

TEST_F(SyncDirectoryTest, ACopyOfARealHostStartsNoComponentAndSaysTheHostResynchronises) {
    f.importReg("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Levora\\Host]\r\n\"Attached\"=\"//talvio01/C$\"\r\n");
    const auto body = runPhase();
    EXPECT_TRUE(f.automation.created.empty());
    EXPECT_EQ(body, std::vector<std::string>{"(warning) This machine is a copy of //talvio01/C$: the host "
                                             "resynchronises its database after levora-host detach."});
    EXPECT_TRUE(f.messages().empty());
    EXPECT_EQ(f.view.events, EventList{"caption: #20"});
}
