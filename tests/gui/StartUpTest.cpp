// The start-up of the real main window: the three checks that end the program, the command-line
// switch, the option fields from the host's AGC defaults and the file list.
#include "MainHarness.h"

#include <QApplication>
#include <QFocusEvent>

#include <algorithm>

#include <gtest/gtest.h>

namespace levora {
namespace {

using test::MainHarness;

TEST(StartUp, AnOldHostEndsTheProgramWithString47EvenWithSetPrompts) {
    for (const char* commandLine : {"", "/SetPrompts"}) {
        MainHarness h;
        h.host.setVersion(3, 1, 0, 0);
        EXPECT_EQ(h.load(commandLine), LoadResult::Ended);
        ASSERT_EQ(h.messages(),
                  std::vector<std::string>{"This utility only runs on servers running Talvio 3.1(1) or later"});
        EXPECT_EQ(h.msgbox.shown[0].buttons, vbOKOnly);
        EXPECT_EQ(h.msgbox.shown[0].title, ""); // the application title
        EXPECT_EQ(h.terminated, std::vector<int>{0});
        EXPECT_EQ(h.form->myGrid->Rows(), 1) << "nothing after the check runs";
        EXPECT_FALSE(h.recording.wasOpened("SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization"));
    }
}

TEST(StartUp, ADamagedRegistryIsNamedWithItsFileAndLineInsteadOfAnOldHost) {
    MainHarness h;
    const std::filesystem::path file = h.host.prefix.systemReg();
    std::string text = test::readFile(file);
    std::filesystem::resize_file(file, text.size() - 6); // cut inside the last value
    size_t lines = static_cast<size_t>(std::count(text.begin(), text.end() - 6, '\n')) + 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(h.load(), LoadResult::Ended);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(h.messages().size(), 1u);
    EXPECT_EQ(h.messages()[0], "Damaged registry: " + file.string() + ", line " + std::to_string(lines) +
                                   ".  Levora cannot read the server's settings until this file is mended or moved "
                                   "away.");
    EXPECT_EQ(h.terminated, std::vector<int>{0});
}

TEST(StartUp, AHostFolderOnANetworkMountEndsWithString75UnlessAllowed) {
    for (const char* commandLine : {"", "--allow-network-drive"}) {
        MainHarness h;
        std::vector<std::string> checked;
        h.networkDrives = [&](const std::vector<std::string>& written) {
            checked = written;
            return std::vector<NetworkDrive>{{written.front(), "/mnt/talvio", MountKind::Fuse}};
        };
        const LoadResult result = h.load(commandLine);
        if (*commandLine) {
            EXPECT_EQ(result, LoadResult::Ready);
            EXPECT_TRUE(checked.empty());
            continue;
        }
        EXPECT_EQ(result, LoadResult::Ended);
        EXPECT_EQ(checked, (std::vector<std::string>{"C:\\Talvio", "C:\\"}));
        ASSERT_EQ(h.messages().size(), 1u);
        EXPECT_EQ(h.messages()[0].rfind("C:\\Talvio lies on a FUSE file system", 0), 0u) << h.messages()[0];
        EXPECT_NE(h.messages()[0].find("levora-host attach"), std::string::npos);
        EXPECT_EQ(h.terminated, std::vector<int>{0});
    }
}

TEST(StartUp, ARemoteSessionEndsWithString45BeforeTheAgcDefaultsAreRead) {
    for (auto [name, value] :
         {std::pair{"XRDP_SESSION", "1"}, {"DISPLAY", "terminal7:0"}, {"DISPLAY", "localhost:10.0"}}) {
        MainHarness h;
        h.environment[name] = value;
        EXPECT_EQ(h.load(), LoadResult::Ended) << name << "=" << value;
        EXPECT_EQ(h.messages(), std::vector<std::string>{MainHarness::str(45)});
        EXPECT_EQ(h.terminated, std::vector<int>{0});
        EXPECT_TRUE(h.recording.wasOpened("SOFTWARE\\Orvane Systems\\Orvane Talvio")) << "the version is read first";
        EXPECT_FALSE(h.recording.wasOpened("SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization"));
    }
}

TEST(StartUp, ALocalDisplayIsNotRemote) {
    for (const char* display : {":0", ":1.0", "unix:0"}) {
        MainHarness h;
        h.environment["DISPLAY"] = display;
        h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
        EXPECT_EQ(h.load(), LoadResult::Ready) << display;
        EXPECT_TRUE(h.msgbox.shown.empty());
        EXPECT_TRUE(h.recording.wasOpened("SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization"));
    }
}

TEST(StartUp, NoGreetingEndsWithString28) {
    MainHarness h;
    std::filesystem::remove(h.host.ns.toHost("C:\\Talvio\\Stream Files\\greeting1.wav"));
    h.host.folder("C:\\Talvio\\localize\\defaultconfiguration\\ENU");
    h.host.file("C:\\Talvio\\localize\\defaultconfiguration\\ENU\\readme.txt");
    EXPECT_EQ(h.load(), LoadResult::Ended);
    EXPECT_EQ(h.messages(), std::vector<std::string>{"No greetings files found in stream file path..."});
    EXPECT_EQ(h.terminated, std::vector<int>{0});
}

TEST(StartUp, SecondFolderMissingIsReportedAndTheProgramRuns) {
    MainHarness h;
    h.host.file("C:\\Talvio\\Stream Files\\greeting2.wav");
    EXPECT_EQ(h.load(), LoadResult::Ready);
    EXPECT_EQ(h.messages(), std::vector<std::string>{"Error in form load procedure: Path not found"});
    EXPECT_TRUE(h.terminated.empty());
    EXPECT_EQ(h.form->myGrid->Rows(), 3);
    EXPECT_EQ(h.form->myGrid->TextMatrix(2, 2), "C:\\Talvio\\Stream Files\\greeting2.wav");
}

TEST(StartUp, LowersItsPriorityAndLabelsTheWindow) {
    MainHarness h;
    h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
    EXPECT_EQ(h.load(), LoadResult::Ready);
    EXPECT_EQ(h.priorities, std::vector<uint32_t>{0x4000});
    EXPECT_EQ(h.form->windowTitle().toStdString(), "Levora Level");
    EXPECT_EQ(h.form->myGrid->TextMatrix(0, 2), "File Name");
    EXPECT_TRUE(h.form->myGrid->CellChecked(1, 1));
}

TEST(StartUp, SetPromptsAnywhereInAnyCaseShowsThePromptMenuItem) {
    const std::pair<const char*, bool> cases[] = {
        {"", false},
        {"/SetPrompts", true},
        {"/setprompts", true},
        {"/SETPROMPTS", true},
        {"-x \"a b\" /sEtPrOmPtS", true},
        {"/SetPromptsNow", true},
        {"SetPrompts", false},
        {"/Set Prompts", false},
    };
    for (auto [commandLine, shown] : cases) {
        MainHarness h;
        h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
        ASSERT_EQ(h.load(commandLine), LoadResult::Ready);
        EXPECT_EQ(h.form->mnuLevoraForPrompts->isVisible(), shown) << commandLine;
    }
}

bool secondaryEnabled(const frmMain& f) {
    return f.cmbGainThreshold->isEnabled() && f.cmbMindBLevel->isEnabled() && f.cmbSampleSize->isEnabled();
}
bool secondaryDisabled(const frmMain& f) {
    return !f.cmbGainThreshold->isEnabled() && !f.cmbMindBLevel->isEnabled() && !f.cmbSampleSize->isEnabled();
}

TEST(StartUp, SecondaryFieldsFollowTheHostVersion) {
    struct Case {
        int release, build;
        bool enabled;
    };
    for (const Case& c : {Case{1, 0, false}, Case{3, 19, false}, Case{4, 0, true}, Case{5, 3, true}}) {
        MainHarness h;
        h.host.setVersion(3, 1, c.release, c.build);
        h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
        ASSERT_EQ(h.load(), LoadResult::Ready);
        EXPECT_EQ(secondaryEnabled(*h.form), c.enabled) << c.release << "." << c.build;
        EXPECT_EQ(secondaryDisabled(*h.form), !c.enabled);
        EXPECT_TRUE(h.form->cmbTargetDB->isEnabled());
    }
}

TEST(StartUp, OptionFieldsShowTheHostsAgcDefaults) {
    struct Case {
        const char* value; // absent when empty
        int32_t stored;
        QComboBox* frmMain::*field;
        const char* shown;
    };
    const Case cases[] = {
        {"", 0, &frmMain::cmbTargetDB, "-26"},
        {"AGCTargetDB", -40, &frmMain::cmbTargetDB, "-26"},
        {"AGCTargetDB", 0, &frmMain::cmbTargetDB, " 0"},
        {"AGCTargetDB", -12, &frmMain::cmbTargetDB, "-12"},
        {"AGCminimumThreshold", 50, &frmMain::cmbMindBLevel, "-50"},
        {"AGCminimumThreshold", -50, &frmMain::cmbMindBLevel, "-45"},
        {"", 0, &frmMain::cmbMindBLevel, "-45"},
        {"AGCsampleSize", 6000, &frmMain::cmbSampleSize, "8000"},
        {"AGCsampleSize", 12000, &frmMain::cmbSampleSize, "12000"},
        {"AGCgainThreshold", 20, &frmMain::cmbGainThreshold, "20"},
        {"", 0, &frmMain::cmbGainThreshold, "5"},
    };
    for (const Case& c : cases) {
        MainHarness h;
        h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
        if (*c.value)
            h.host.setAgc(c.value, c.stored);
        ASSERT_EQ(h.load(), LoadResult::Ready);
        EXPECT_EQ(((*h.form).*c.field)->currentText().toStdString(), c.shown) << c.value << "=" << c.stored;
    }
    MainHarness h;
    h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
    ASSERT_EQ(h.load(), LoadResult::Ready);
    EXPECT_EQ(h.form->cmbTargetDB->count(), 36);
    EXPECT_EQ(h.form->cmbSampleSize->count(), 20);
    EXPECT_EQ(h.form->cmbGainThreshold->count(), 20);
    EXPECT_EQ(h.form->cmbMindBLevel->count(), 26);
}

void leave(QWidget* w, Qt::FocusReason reason = Qt::TabFocusReason) {
    QFocusEvent out(QEvent::FocusOut, reason);
    QApplication::sendEvent(w, &out);
}

TEST(StartUp, AZeroTargetFromTheRegistryDoesNotRunTheValidationUntilTheFieldIsLeft) {
    MainHarness h;
    h.host.setVersion(3, 1, 4, 0);
    h.host.setAgc("AGCTargetDB", 0);
    h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
    ASSERT_EQ(h.load(), LoadResult::Ready);
    EXPECT_TRUE(secondaryEnabled(*h.form));
    leave(h.form->cmbTargetDB, Qt::PopupFocusReason); // opening its own list is not leaving it
    EXPECT_TRUE(secondaryEnabled(*h.form));
    leave(h.form->cmbTargetDB);
    EXPECT_TRUE(secondaryDisabled(*h.form));
}

TEST(StartUp, LeavingZeroDisablesAndAnotherTargetReenablesFrom3_1_3Build19) {
    for (auto [build, reenabled] : {std::pair{19, true}, {18, false}}) {
        MainHarness h;
        h.host.setVersion(3, 1, 3, build);
        h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
        ASSERT_EQ(h.load(), LoadResult::Ready);
        frmMain& f = *h.form;
        f.cmbTargetDB->setCurrentText(" 0");
        leave(f.cmbTargetDB);
        EXPECT_TRUE(secondaryDisabled(f));
        f.cmbTargetDB->setCurrentText("-30");
        leave(f.cmbTargetDB, Qt::MouseFocusReason);
        EXPECT_EQ(secondaryEnabled(f), reenabled) << "build " << build;
        EXPECT_EQ(secondaryDisabled(f), !reenabled);
    }
}

} // namespace
} // namespace levora
