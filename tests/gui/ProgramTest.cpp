// The whole program put together over a machine prefix, as main() starts it.
#include "app/gui/Program.h"
#include "../app/HostFixture.h"
#include "app/gui/frmMain.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

namespace levora {
namespace {

class NoFolder : public IFolderDialog {
public:
    std::string ChooseFolder(const FolderBrowse&) override { return {}; }
};

struct ProgramRun {
    explicit ProgramRun(std::map<std::string, std::string> env = {{"DISPLAY", ":0"}}) : environment(std::move(env)) {
        host.standard();
        host.file("C:\\Talvio\\localize\\defaultconfiguration\\ENU\\hello.wav");
    }
    Program& start(std::vector<std::string> arguments = {}, std::filesystem::path prefixRoot = {}) {
        Program::Options o;
        o.prefixRoot = prefixRoot.empty() ? host.prefix.root() : prefixRoot;
        o.arguments = std::move(arguments);
        o.msgbox = &msgbox;
        o.folderDialog = &folders;
        o.terminate = [this](int code) { terminated.push_back(code); };
        o.environment = [this](const std::string& n) -> std::optional<std::string> {
            auto it = environment.find(n);
            return it == environment.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        program = std::make_unique<Program>(std::move(o));
        return *program;
    }
    ~ProgramRun() { program.reset(); }

    test::TestHost host;
    test::ScriptedMessageBox msgbox;
    NoFolder folders;
    std::map<std::string, std::string> environment;
    std::vector<int> terminated;
    std::unique_ptr<Program> program;
};

TEST(ProgramTest, StartsOnTheHostAndEndsThroughExit) {
    ProgramRun run;
    Program& p = run.start({"/setprompts"});
    ASSERT_EQ(p.load(), LoadResult::Ready);
    EXPECT_TRUE(run.msgbox.shown.empty());
    frmMain& f = p.form();
    EXPECT_EQ(f.windowTitle().toStdString(), "Levora Level");
    EXPECT_EQ(f.myGrid->Rows(), 3);
    EXPECT_EQ(f.myGrid->TextMatrix(2, 2), "C:\\Talvio\\localize\\defaultconfiguration\\ENU\\hello.wav");
    EXPECT_TRUE(f.mnuLevoraForPrompts->isVisible());
    EXPECT_TRUE(f.onSetdB && f.onRestore && f.onLevoraForPrompts && f.onAbout && f.onHelp);
    EXPECT_EQ(p.app().commandLine, "/setprompts");
    f.cmdExit->click();
    EXPECT_EQ(run.terminated, std::vector<int>{0});
}

TEST(ProgramTest, ARunWithNothingTickedIsRefusedByTheLevelingRun) {
    ProgramRun run;
    Program& p = run.start();
    ASSERT_EQ(p.load(), LoadResult::Ready);
    p.form().cmdUnselectAll->click();
    p.form().cmdSetdB->click();
    ASSERT_EQ(run.msgbox.shown.size(), 1u);
    EXPECT_EQ(run.msgbox.shown[0].text, modLocalize::builtInString(26));
}

TEST(ProgramTest, HelpAndAboutOpenTheirWindowsModally) {
    ProgramRun run;
    Program& p = run.start();
    ASSERT_EQ(p.load(), LoadResult::Ready);
    for (auto [item, name] : {std::pair{p.form().Help[1], "frmHelp"}, {p.form().About[2], "frmAbout"}}) {
        QString opened;
        QTimer::singleShot(0, [&] {
            QWidget* w = QApplication::activeModalWidget();
            ASSERT_NE(w, nullptr);
            opened = w->objectName();
            w->close();
        });
        item->trigger();
        EXPECT_EQ(opened.toStdString(), name);
    }
    EXPECT_TRUE(run.msgbox.shown.empty());
}

TEST(ProgramTest, ARemoteDesktopEndsTheStartUp) {
    ProgramRun run({{"DISPLAY", ":0"}, {"XRDP_SESSION", "1"}});
    EXPECT_EQ(run.start().load(), LoadResult::Ended);
    EXPECT_EQ(run.terminated, std::vector<int>{0});
}

TEST(ProgramTest, AFirstStartWithoutAMachineSaysHowToMakeOneAndMakesNothing) {
    ProgramRun run;
    const std::filesystem::path absent = run.host.prefix.root() / "absent";
    EXPECT_EQ(run.start({}, absent).load(), LoadResult::Ended);
    ASSERT_EQ(run.msgbox.shown.size(), 1u);
    for (const std::string& part :
         {absent.string(), std::string("LEVORA_PREFIX"), std::string("demohost create ~/.levora")})
        EXPECT_NE(run.msgbox.shown[0].text.find(part), std::string::npos) << part;
    EXPECT_FALSE(std::filesystem::exists(absent));
    EXPECT_EQ(run.terminated, std::vector<int>{0});
}

} // namespace
} // namespace levora
