// The main window itself: where every control is, what it says, and what its commands do.
#include "MainHarness.h"
#include "app/gui/frmMainRunView.h"
#include "ui/gui/Twips.h"
#include "ui/gui/frmSplashScreen.h"

#include <QAccessible>
#include <QApplication>
#include <QFocusEvent>
#include <QMenuBar>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

namespace levora {
namespace {

using test::MainHarness;

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() { h.makeForm(); }
    frmMain& f() { return *h.form; }
    MainHarness h;
};

TEST_F(MainWindowTest, ControlsSitAtTheirTwipsPositionsInTheirContainers) {
    const Twips tw = Twips::forWidget(&f());
    EXPECT_EQ(f().centralWidget()->size(), tw.size(10485, 7545));
    struct Place {
        const char* name;
        const char* container;
        int l, t, w, h;
    };
    const Place places[] = {
        {"frameBackupGreetings", "frmMainClient", 0, 3150, 10485, 735},
        {"cmdBrowse", "frameBackupGreetings", 9150, 300, 1305, 315},
        {"txtBackupTarget", "frameBackupGreetings", 3150, 315, 5985, 285},
        {"chkBackup", "frameBackupGreetings", 60, 360, 3045, 195},
        {"frameOptions", "frmMainClient", 0, 4020, 10485, 2175},
        {"chkSaveToRegistry", "frameOptions", 150, 1680, 10185, 375},
        {"cmbMindBLevel", "frameOptions", 2280, 1320, 825, 315},
        {"cmbSampleSize", "frameOptions", 2280, 600, 825, 315},
        {"cmbGainThreshold", "frameOptions", 2280, 960, 825, 315},
        {"cmbTargetDB", "frameOptions", 2280, 240, 825, 315},
        {"lblTargetDb2(3)", "frameOptions", 3150, 660, 7155, 195},
        {"lblTargetDb2(2)", "frameOptions", 3150, 1020, 7245, 195},
        {"lblTargetDb2(1)", "frameOptions", 3150, 1380, 7275, 195},
        {"Label4", "frameOptions", 270, 1380, 1905, 195},
        {"Label3", "frameOptions", 270, 1020, 1965, 195},
        {"Label1", "frameOptions", 270, 660, 1965, 255},
        {"lblTargetDB", "frameOptions", 270, 300, 1965, 195},
        {"lblTargetDb2(0)", "frameOptions", 3150, 270, 7245, 375},
        {"cmdSetdB", "frmMainClient", 6180, 7140, 2115, 375},
        {"frameProgress", "frmMainClient", 0, 6270, 10485, 795},
        {"ProgressBar", "frameProgress", 60, 300, 10365, 315},
        {"Animation1", "frameProgress", 2580, 180, 4095, 435},
        {"cmdExit", "frmMainClient", 8370, 7140, 2085, 375},
        {"frameSelectWAVFiles", "frmMainClient", 0, 180, 10485, 2835},
        {"myGrid", "frameSelectWAVFiles", 60, 300, 10365, 2055},
        {"cmdUnselectAll", "frameSelectWAVFiles", 60, 2400, 1545, 375},
        {"cmdSelectAll", "frameSelectWAVFiles", 1650, 2400, 1545, 375},
        {"Label2", "frmMainClient", 840, 2100, 6195, 855},
    };
    for (const Place& p : places) {
        auto* w = f().findChild<QWidget*>(p.name);
        ASSERT_NE(w, nullptr) << p.name;
        EXPECT_EQ(w->parentWidget()->objectName().toStdString(), p.container) << p.name;
        EXPECT_EQ(w->geometry(), tw.rect(p.l, p.t, p.w, p.h)) << p.name;
    }
    EXPECT_EQ(f().lblTargetDb2[0]->objectName(), "lblTargetDb2(0)");
    EXPECT_EQ(f().lblTargetDb2[3]->objectName(), "lblTargetDb2(3)");
}

std::vector<std::string> childNames(const QWidget* parent) {
    std::vector<std::string> out;
    for (QObject* o : parent->children())
        if (o->isWidgetType() && !o->objectName().isEmpty() && !o->objectName().startsWith("qt_"))
            out.push_back(o->objectName().toStdString());
    return out;
}

TEST_F(MainWindowTest, ControlsAreCreatedInOrderAndLabel2LiesBeneathTheFileListFrame) {
    // Qt keeps siblings in stacking order, bottom first: creation order, except Label2, lowered
    // beneath everything.
    EXPECT_EQ(childNames(f().centralWidget()),
              (std::vector<std::string>{"Label2", "frameBackupGreetings", "frameOptions", "cmdSetdB", "frameProgress",
                                        "cmdExit", "frameSelectWAVFiles"}));
    EXPECT_EQ(childNames(f().frameOptions),
              (std::vector<std::string>{"chkSaveToRegistry", "cmbMindBLevel", "cmbSampleSize", "cmbGainThreshold",
                                        "cmbTargetDB", "lblTargetDb2(3)", "lblTargetDb2(2)", "lblTargetDb2(1)",
                                        "Label4", "Label3", "Label1", "lblTargetDB", "lblTargetDb2(0)"}));
    EXPECT_EQ(childNames(f().frameBackupGreetings),
              (std::vector<std::string>{"cmdBrowse", "txtBackupTarget", "chkBackup"}));
    EXPECT_EQ(childNames(f().frameProgress), (std::vector<std::string>{"ProgressBar", "Animation1"}));
    EXPECT_EQ(childNames(f().frameSelectWAVFiles),
              (std::vector<std::string>{"myGrid", "cmdUnselectAll", "cmdSelectAll"}));
    // The frame hides what lies beneath it only when it paints its background.
    EXPECT_TRUE(f().frameSelectWAVFiles->autoFillBackground());
    EXPECT_TRUE(f().frameSelectWAVFiles->geometry().contains(f().Label2->geometry()));
}

TEST_F(MainWindowTest, FixedBorderWithoutMinimiseOrMaximiseAndFocusOnExit) {
    f().show();
    QApplication::processEvents();
    EXPECT_EQ(f().minimumSize(), f().maximumSize());
    EXPECT_FALSE(f().windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f().windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(f().windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_EQ(f().focusWidget(), f().cmdExit);
    EXPECT_TRUE(f().chkBackup->isChecked());
    EXPECT_TRUE(f().chkSaveToRegistry->isChecked());
    EXPECT_TRUE(f().txtBackupTarget->text().isEmpty());
    EXPECT_TRUE(f().Label2->isHidden()); // beneath the frame, and hidden from assistive technology
}

TEST_F(MainWindowTest, AssistiveTechnologyNamesFieldsByTheirLabels) {
    f().frmMain_Auto_Init();
    auto name = [](QWidget* w) {
        return QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).toStdString();
    };
    EXPECT_EQ(name(f().txtBackupTarget), MainHarness::str(37)); // the check box before it, not the frame
    EXPECT_EQ(name(f().myGrid), MainHarness::str(39));
    const std::pair<QComboBox*, QLabel*> fields[] = {{f().cmbTargetDB, f().lblTargetDB},
                                                     {f().cmbSampleSize, f().Label1},
                                                     {f().cmbGainThreshold, f().Label3},
                                                     {f().cmbMindBLevel, f().Label4}};
    for (const auto& [combo, label] : fields) {
        std::vector<QObject*> labelledBy; // by labels; the frame around counts too, but says little
        for (const auto& [other, relation] :
             QAccessible::queryAccessibleInterface(combo)->relations(QAccessible::Label))
            if (qobject_cast<QLabel*>(other->object()))
                labelledBy.push_back(other->object());
        EXPECT_EQ(labelledBy, std::vector<QObject*>{label}) << combo->objectName().toStdString();
    }
    f().show();
    QApplication::processEvents();
    EXPECT_FALSE(QAccessible::queryAccessibleInterface(f().Label1)->state().invisible);
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(f().Label2)->state().invisible); // never seen
}

TEST_F(MainWindowTest, MenuBarWithTheHiddenPromptItem) {
    std::vector<std::string> file, help;
    for (QAction* a : f().mnuFile->actions())
        file.push_back(a->objectName().toStdString());
    for (QAction* a : f().mnuHelpHeader->actions())
        help.push_back(a->objectName().toStdString());
    EXPECT_EQ(file, (std::vector<std::string>{"mnuSetdB", "mnuRestore", "mnuLevoraForPrompts", "mnuSaveLevelReport",
                                              "mnuSelectOutOfBand", "Seperator2", "mnuExit"}));
    EXPECT_EQ(help, (std::vector<std::string>{"Help(1)", "Seperator", "About(2)"}));
    EXPECT_FALSE(f().mnuLevoraForPrompts->isVisible());
    EXPECT_EQ(f().mnuLevoraForPrompts->text().toStdString(), "Levora for prompts");
    EXPECT_TRUE(f().Seperator2->isSeparator());
    const auto bar = f().menuBar()->actions();
    ASSERT_EQ(bar.size(), 2);
    EXPECT_EQ(bar[0]->menu(), f().mnuFile);
    EXPECT_EQ(bar[1]->menu(), f().mnuHelpHeader);
}

TEST_F(MainWindowTest, LabellingSetsEveryCaptionFromTheStringTable) {
    f().frmMain_Auto_Init();
    auto s = [](int id) { return QString::fromStdString(MainHarness::str(id)); };
    const std::pair<QString, int> captions[] = {
        {f().windowTitle(), 41},
        {f().frameBackupGreetings->title(), 8},
        {f().cmdBrowse->text(), 9},
        {f().chkBackup->text(), 37},
        {f().frameOptions->title(), 30},
        {f().chkSaveToRegistry->text(), 36},
        {f().lblTargetDb2[3]->text(), 4},
        {f().lblTargetDb2[2]->text(), 3},
        {f().lblTargetDb2[1]->text(), 1},
        {f().Label4->text(), 23},
        {f().Label3->text(), 22},
        {f().Label1->text(), 34},
        {f().lblTargetDB->text(), 24},
        {f().lblTargetDb2[0]->text(), 2},
        {f().cmdSetdB->text(), 41},
        {f().frameProgress->title(), 32},
        {f().cmdExit->text(), 18},
        {f().frameSelectWAVFiles->title(), 39},
        {f().cmdUnselectAll->text(), 49},
        {f().cmdSelectAll->text(), 38},
        {f().Label2->text(), 52},
        {f().mnuFile->title(), 19},
        {f().mnuRestore->text(), 33},
        {f().mnuExit->text(), 18},
        {f().mnuHelpHeader->title(), 21},
        {f().Help[1]->text(), 21},
        {f().About[2]->text(), 6},
        {f().mnuSetdB->text(), 41},
        {f().mnuSelectOutOfBand->text(), 69},
    };
    for (const auto& [text, id] : captions) {
        EXPECT_FALSE(s(id).isEmpty()) << id;
        EXPECT_EQ(text, s(id)) << id;
    }
    EXPECT_EQ(f().windowTitle().toStdString(), "Levora Level");
    EXPECT_EQ(f().myGrid->TextMatrix(0, f().myGrid->ColIndex("FileName")), "File Name");
    EXPECT_EQ(f().mnuLevoraForPrompts->text().toStdString(), "Levora for prompts");
}

TEST_F(MainWindowTest, ExitButtonExitMenuAndClosingEndTheProgramAfterClosingTheLog) {
    const std::function<void()> ways[] = {[&] { f().cmdExit->click(); }, [&] { f().mnuExit->trigger(); },
                                          [&] { f().close(); }};
    int expected = 0;
    for (const auto& way : ways) {
        h.log.OpenLog("C:\\Levora.log", false);
        ASSERT_TRUE(h.log.isOpen());
        way();
        EXPECT_EQ(h.terminated.size(), static_cast<size_t>(++expected));
        EXPECT_FALSE(h.log.isOpen());
    }
    EXPECT_EQ(h.terminated, (std::vector<int>{0, 0, 0}));
}

TEST_F(MainWindowTest, TabWalksEveryEnabledControlOnceInScreenOrderAndComesBack) {
    ASSERT_EQ(h.load(), LoadResult::Ready); // the option fields filled, so all of them are enabled
    f().show();
    QApplication::setActiveWindow(&f());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f()));
    QWidget* const first = QApplication::focusWidget();
    ASSERT_EQ(first, f().cmdExit);
    std::vector<QWidget*> reachable;
    for (QWidget* w : f().centralWidget()->findChildren<QWidget*>())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(&f()) && w->isEnabled() && !w->focusProxy())
            reachable.push_back(w);
    ASSERT_GE(reachable.size(), 13u);

    std::vector<QWidget*> walk;
    for (size_t i = 0; i <= reachable.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        if (QApplication::focusWidget() == first)
            break;
        walk.push_back(QApplication::focusWidget());
    }
    ASSERT_EQ(QApplication::focusWidget(), first) << "Tab came back to where it began";
    walk.insert(walk.begin(), first);
    auto names = [](const std::vector<QWidget*>& widgets) {
        std::vector<std::string> out;
        for (QWidget* w : widgets)
            out.push_back(w->objectName().toStdString());
        std::sort(out.begin(), out.end());
        return out;
    };
    EXPECT_EQ(names(walk), names(reachable)) << "every enabled control exactly once";

    // From the top left: each next control stands further right on the same line, or on a lower line.
    auto rect = [&](QWidget* w) { return QRect(w->mapTo(&f(), QPoint(0, 0)), w->size()); };
    for (size_t i = 2; i < walk.size(); ++i) {
        const QRect a = rect(walk[i - 1]), b = rect(walk[i]);
        const bool sameLine = b.top() < a.bottom() && a.top() < b.bottom();
        EXPECT_TRUE(sameLine ? b.left() > a.left() : b.top() > a.center().y())
            << walk[i - 1]->objectName().toStdString() << " before " << walk[i]->objectName().toStdString();
    }
    EXPECT_EQ(walk[1], f().myGrid);

    // Inside the list the arrows move and Space ticks; Tab goes on to the next control.
    f().myGrid->setFocus();
    QTest::keyClick(f().myGrid, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f().cmdUnselectAll);
}

TEST_F(MainWindowTest, ReturnPressesTheFocusedButtonAndF1OpensHelp) {
    int runs = 0, helps = 0;
    f().onSetdB = [&] { ++runs; };
    f().onHelp = [&] { ++helps; };
    f().show();
    QApplication::setActiveWindow(&f());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f()));
    f().cmdSetdB->setFocus();
    QTest::keyClick(f().cmdSetdB, Qt::Key_Return);
    QTest::qWait(300); // the button shows itself pressed first
    EXPECT_EQ(runs, 1);
    QTest::keyClick(f().cmdSetdB, Qt::Key_F1);
    EXPECT_EQ(helps, 1);
}

TEST_F(MainWindowTest, ExitDuringARunAsksAndOnYesEndsOnceTheRunHasStopped) {
    int stops = 0;
    f().onStopRun = [&] { ++stops; };
    f().levelsBeforeRun();
    h.msgbox.nextAnswer(vbNo);
    f().cmdExit->click();
    EXPECT_EQ(h.messages(), std::vector<std::string>{MainHarness::str(64)});
    EXPECT_EQ(h.msgbox.shown[0].buttons, vbYesNo);
    EXPECT_EQ(stops, 0);
    h.msgbox.nextAnswer(vbYes);
    EXPECT_FALSE(f().close()) << "the window stays while the run finishes its files";
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(h.terminated.empty());
    EXPECT_EQ(f().frameProgress->title().toStdString(), MainHarness::str(70));
    f().mnuExit->trigger(); // asked already: not again
    EXPECT_EQ(h.msgbox.shown.size(), 2u);

    RunOutcome stopped;
    stopped.end = RunEnd::StoppedByUser;
    stopped.filesTried = stopped.filesLevelled = 2;
    stopped.filesTicked = 7;
    f().runEnded(stopped);
    EXPECT_EQ(f().frameProgress->title().toStdString(), "Stopped by the user after 2 of 7 files.");
    EXPECT_EQ(h.terminated, std::vector<int>{0});
}

TEST_F(MainWindowTest, BrowseKeepsTheFolderWithOneTrailingBackslash) {
    const auto d = h.host.tmp.path() / "disk-d";
    std::filesystem::create_directories(d);
    h.host.prefix.mapDrive('d', d);
    h.host.folder("C:\\Backup");
    h.dialog.next = h.host.ns.toHost("C:\\Backup").string();
    f().cmdBrowse->click();
    EXPECT_EQ(f().txtBackupTarget->text().toStdString(), "C:\\Backup\\");
    h.dialog.next.clear(); // cancel
    f().cmdBrowse->click();
    EXPECT_EQ(f().txtBackupTarget->text().toStdString(), "C:\\Backup\\");
    h.dialog.next = d.string();
    f().cmdBrowse->click();
    EXPECT_EQ(f().txtBackupTarget->text().toStdString(), "D:\\");
    EXPECT_EQ(h.dialog.calls, 3);
}

TEST_F(MainWindowTest, ATypedBackupFolderGetsItsBackslashWhenTheFieldIsLeft) {
    f().txtBackupTarget->setText("E:\\Saved");
    EXPECT_EQ(f().runView().txtBackupTarget(), "E:\\Saved\\"); // read before it was left, too
    QFocusEvent popup(QEvent::FocusOut, Qt::PopupFocusReason);
    QApplication::sendEvent(f().txtBackupTarget, &popup);
    EXPECT_EQ(f().txtBackupTarget->text().toStdString(), "E:\\Saved");
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(f().txtBackupTarget, &out);
    EXPECT_EQ(f().txtBackupTarget->text().toStdString(), "E:\\Saved\\");
    f().txtBackupTarget->clear();
    QApplication::sendEvent(f().txtBackupTarget, &out);
    EXPECT_TRUE(f().txtBackupTarget->text().isEmpty());
}

TEST_F(MainWindowTest, CommandsReachTheirHandlersAndAFailureIsShownNotThrown) {
    std::vector<std::string> called;
    f().onSetdB = [&] { called.push_back("run"); };
    f().onRestore = [&] { called.push_back("restore"); };
    f().onLevoraForPrompts = [&] { called.push_back("prompts"); };
    f().onHelp = [&] { called.push_back("help"); };
    f().onAbout = [&] { throw Error(err::FileNotFound, "File not found"); };
    f().cmdSetdB->click();
    f().mnuSetdB->trigger();
    f().mnuRestore->trigger();
    f().mnuLevoraForPrompts->setVisible(true);
    f().mnuLevoraForPrompts->trigger();
    f().Help[1]->trigger();
    f().About[2]->trigger();
    EXPECT_EQ(called, (std::vector<std::string>{"run", "run", "restore", "prompts", "help"}));
    EXPECT_EQ(h.messages(), std::vector<std::string>{"Run-time error '53':\n\nFile not found"});
}

TEST_F(MainWindowTest, RunViewGuardsAgainstASecondStartButKeepsExit) {
    IRunView& v = f().runView();
    f().mnuLevoraForPrompts->setVisible(true); // Qt reports a hidden action as disabled
    v.setCommandsEnabled(false);
    EXPECT_FALSE(f().cmdSetdB->isEnabled());
    EXPECT_FALSE(f().mnuSetdB->isEnabled());
    EXPECT_FALSE(f().mnuRestore->isEnabled());
    EXPECT_FALSE(f().mnuLevoraForPrompts->isEnabled());
    EXPECT_TRUE(f().cmdExit->isEnabled());
    EXPECT_TRUE(f().mnuExit->isEnabled());
    v.setCommandsEnabled(true);
    EXPECT_TRUE(f().cmdSetdB->isEnabled() && f().mnuRestore->isEnabled() && f().mnuLevoraForPrompts->isEnabled());
}

TEST_F(MainWindowTest, RunViewShowsProgressAndStatus) {
    IRunView& v = f().runView();
    v.setProgressRange(1, 6);
    v.setProgressValue(4);
    EXPECT_EQ(v.progressValue(), 4);
    EXPECT_EQ(f().ProgressBar->maximum(), 6);
    v.setProgressVisible(false);
    EXPECT_TRUE(f().ProgressBar->isHidden());
    v.setFrameProgressCaption("Synchronizing");
    EXPECT_EQ(f().frameProgress->title().toStdString(), "Synchronizing");
    v.setHourglass(true);
    v.setHourglass(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    v.setHourglass(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // The option texts as the fields show them.
    h.host.folder("C:\\Talvio\\localize\\defaultconfiguration");
    ASSERT_EQ(h.load(), LoadResult::Ready);
    EXPECT_EQ(v.cmbTargetDB(), "-26");
    EXPECT_EQ(v.cmbMindBLevel(), "-45");
    EXPECT_EQ(v.cmbSampleSize(), "8000");
    EXPECT_EQ(v.cmbGainThreshold(), "5");
    EXPECT_EQ(v.gridColumnByKey("Selected"), 1);
    EXPECT_EQ(v.gridText(1, 2), "C:\\Talvio\\Stream Files\\greeting1.wav");
    EXPECT_TRUE(v.gridChecked(1, 1));
}

TEST_F(MainWindowTest, MissingAnimationClipRaisesFileNotFound) {
    try {
        f().runView().animationOpen("C:\\Program Files\\Levora\\filecopy.avi");
        FAIL() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::FileNotFound);
    }
}

TEST_F(MainWindowTest, TheSplashIsLoadedOnceOnFirstUse) {
    EXPECT_EQ(f().loadedSplash(), nullptr);
    ISplash& s1 = f().runView().splash();
    ISplash& s2 = f().runView().splash();
    EXPECT_EQ(&s1, &s2);
    EXPECT_TRUE(h.windows.isLoaded("frmSplashScreen"));
    EXPECT_TRUE(h.windows.isLoaded("frmMain"));
    EXPECT_EQ(s1.label(), MainHarness::str(12));
}

} // namespace
} // namespace levora
