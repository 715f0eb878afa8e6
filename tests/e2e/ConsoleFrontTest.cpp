// The console pieces of levora-level: its form, its message boxes, its progress line and the
// text viewer it does not start.
#include "ConsoleFront.h"
#include "ConsoleReport.h"

#include "platform/Error.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace levora::console {
namespace {

TEST(ConsoleViewer, NotepadIsReportedOtherProgramsStart) {
    test::RecordingProcesses real;
    std::vector<std::string> viewed;
    NoViewerProcesses processes(real, [&](const std::string& file) { viewed.push_back(file); });

    EXPECT_EQ(processes.Start("notepad.exe c:\\Levora.log", WindowStyle::NormalFocus), 0u);
    EXPECT_EQ(processes.Start("Z:\\bin\\gainfix315 -s \"C:\\a.wav\"", WindowStyle::Hidden),
              test::RecordingProcesses::kStartedPid);

    EXPECT_EQ(viewed, std::vector<std::string>{"c:\\Levora.log"});
    ASSERT_EQ(real.started.size(), 1u);
    EXPECT_EQ(real.started[0].commandLine, "Z:\\bin\\gainfix315 -s \"C:\\a.wav\"");
}

TEST(ConsoleMessageBox, PrintsAndAnswersTheAffirmativeButton) {
    struct Case {
        int buttons;
        int answer;
        const char* shown;
    };
    const Case cases[] = {
        {vbOKOnly, vbOK, "-> OK"},
        {vbOKCancel, vbOK, "-> OK"},
        {vbYesNo, vbYes, "-> Yes"},
        {vbYesNo | 32 /* question icon */, vbYes, "-> Yes"},
        {3 /* Yes, No, Cancel */, vbYes, "-> Yes"},
    };
    for (const Case& c : cases) {
        std::ostringstream out;
        ConsoleMessageBox box(out);
        EXPECT_EQ(box.MsgBox("Overwrite?", c.buttons), c.answer) << c.buttons;
        EXPECT_NE(out.str().find(c.shown), std::string::npos) << out.str();
    }

    std::ostringstream out;
    ConsoleMessageBox box(out);
    int before = 0;
    box.beforeShow = [&] { ++before; };
    box.MsgBox("Finished.", vbOKCancel);
    box.MsgBox("There are files.", vbYesNo, "Overwrite existing files?");
    EXPECT_EQ(out.str(), "[Levora] Finished. -> OK\n[Overwrite existing files?] There are files. -> Yes\n");
    EXPECT_EQ(before, 2);
    EXPECT_EQ(box.shown(), 2);
}

TEST(ConsoleForm, OptionFieldsAndRunViewAgree) {
    std::ostringstream out;
    ConsoleForm form(out, false);
    for (const char* t : {"-27", "-26", "-25"})
        form.optionField(OptionFieldId::TargetDB).AddItem(t);
    form.optionField(OptionFieldId::TargetDB).setListIndex(1);
    form.optionField(OptionFieldId::MindBLevel).AddItem("-45");
    form.optionField(OptionFieldId::MindBLevel).setListIndex(0);
    EXPECT_EQ(form.cmbTargetDB(), "-26");
    EXPECT_EQ(form.cmbMindBLevel(), "-45");
    EXPECT_EQ(form.cmbSampleSize(), ""); // nothing selected
    EXPECT_TRUE(form.field(OptionFieldId::TargetDB).selectText("-25"));
    EXPECT_FALSE(form.field(OptionFieldId::TargetDB).selectText("-30"));
    EXPECT_EQ(form.cmbTargetDB(), "-25");
    EXPECT_THROW(form.optionField(OptionFieldId::TargetDB).setListIndex(3), Error);
    EXPECT_EQ(form.gridText(0, form.gridColumnByKey("FileName")), "File Name");
    // The check boxes start ticked, as the window's do.
    EXPECT_TRUE(form.chkBackup());
    EXPECT_TRUE(form.chkSaveToRegistry());
}

TEST(ConsoleForm, ProgressOnOneLineOrOnceAtTheEnd) {
    for (bool terminal : {true, false}) {
        std::ostringstream out;
        ConsoleForm form(out, terminal);
        // Four rows, three ticked: the progress counts the files the run levels.
        form.grid().setRows(5);
        for (int row = 1; row <= 4; ++row)
            form.grid().setCellChecked(row, form.gridColumnByKey("selected"), row != 2);
        form.setProgressRange(1, 5);
        for (int v = 1; v <= 5; ++v)
            form.setProgressValue(v);
        form.setFrameProgressCaption("Syncronizing SQL with directory...");
        form.setFrameProgressCaption("Syncronizing SQL with directory..."); // unchanged: not repeated
        form.setFrameProgressCaption("Finished.");
        if (terminal)
            EXPECT_EQ(out.str(),
                      "\rLeveling: 0 of 3 files\rLeveling: 1 of 3 files\rLeveling: 1 of 3 files"
                      "\rLeveling: 2 of 3 files\rLeveling: 3 of 3 files\nSyncronizing SQL with directory...\n"
                      "Finished.\n");
        else
            EXPECT_EQ(out.str(), "Leveling: 3 of 3 files\nSyncronizing SQL with directory...\nFinished.\n");
        EXPECT_EQ(form.progressValue(), 5);
    }
}

} // namespace
} // namespace levora::console

namespace levora::console {
namespace {

TEST(ConsoleReport, TheExitStatusComesFromHowTheRunEnded) {
    FileOutcome failed;
    failed.error = "The gain tool reported a failure (exit code 1)";
    FileOutcome notRecording = failed;
    notRecording.verdict = OutputVerdict::NotRecording;
    struct Case {
        RunEnd end;
        std::vector<FileOutcome> files;
        int status;
    };
    const Case cases[] = {
        {RunEnd::Completed, {FileOutcome{}, notRecording}, 0},
        {RunEnd::Completed, {FileOutcome{}, failed}, kExitFilesFailed},
        {RunEnd::StoppedByTimeouts, {}, kExitFilesFailed},
        {RunEnd::StoppedByUser, {failed}, kExitStoppedByUser},
        {RunEnd::Refused, {}, kExitMachineBusy},
        {RunEnd::LockFailed, {}, kExitNotLevelled},
        {RunEnd::BackupKept, {}, kExitNotLevelled},
        {RunEnd::BackupFailed, {}, kExitNotLevelled},
        {RunEnd::NothingTicked, {}, kExitNotLevelled},
    };
    for (const Case& c : cases) {
        RunOutcome outcome;
        outcome.end = c.end;
        outcome.files = c.files;
        EXPECT_EQ(exitStatusOf(outcome), c.status) << static_cast<int>(c.end);
    }
    EXPECT_EQ(counted(1, "error", "errors"), "1 error");
    EXPECT_EQ(counted(2, "error", "errors"), "2 errors");
}

} // namespace
} // namespace levora::console
