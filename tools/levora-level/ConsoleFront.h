// The main window as a console sees it: the same start-up, file list and leveling run as the
// window, with the controls held in memory, progress written to a stream and message boxes
// printed and answered with the affirmative button.
#pragma once

#include "app/MemoryForm.h"
#include "leveling/RunView.h"
#include "platform/FileSystem.h"
#include "platform/Process.h"
#include "platform/Ui.h"
#include "platform/WinPath.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace levora::console {

class ConsoleSplash : public ISplash {
public:
    explicit ConsoleSplash(std::ostream& out) : m_out(out) {}
    void setLabel(const std::string& text) override { m_label = text; }
    std::string label() const override { return m_label; }
    void showOverMain() override;
    void hide() override {}

private:
    std::ostream& m_out;
    std::string m_label;
};

// The main window's controls and its run view, on a console. The check boxes start ticked and the
// backup folder empty, as the window starts.
class ConsoleForm : public MemoryForm, public IRunView {
public:
    // progressOnOneLine: rewrite the progress line in place (a terminal); otherwise the progress
    // is written once, when the file loop is over. It counts the ticked files only.
    ConsoleForm(std::ostream& out, bool progressOnOneLine);

    bool saveToRegistry = true;
    bool backup = true;
    std::string backupTarget;

    // IRunView
    int gridRows() const override { return grid().Rows(); }
    int gridColumnByKey(const std::string& key) const override { return grid().ColIndex(key); }
    bool gridChecked(int row, int column) const override { return grid().CellChecked(row, column); }
    std::string gridText(int row, int column) const override { return grid().TextMatrix(row, column); }
    bool chkSaveToRegistry() const override { return saveToRegistry; }
    bool chkBackup() const override { return backup; }
    std::string txtBackupTarget() const override { return backupTarget; }
    std::string cmbTargetDB() const override { return field(OptionFieldId::TargetDB).Text(); }
    std::string cmbMindBLevel() const override { return field(OptionFieldId::MindBLevel).Text(); }
    std::string cmbSampleSize() const override { return field(OptionFieldId::SampleSize).Text(); }
    std::string cmbGainThreshold() const override { return field(OptionFieldId::GainThreshold).Text(); }
    void setHourglass(bool) override {}
    void setProgressRange(int minimum, int maximum) override;
    void setProgressValue(int value) override;
    int progressValue() const override { return m_progress; }
    void setProgressVisible(bool visible) override;
    void setFrameProgressCaption(const std::string& text) override;
    void animationOpen(const std::string&) override {}
    void animationShow(bool) override {}
    void animationPlay() override {}
    void animationStop() override {}
    void setCommandsEnabled(bool) override {}
    ISplash& splash() override { return m_splash; }

    // Called with every value the progress bar is given (the run adds 1 after each row).
    std::function<void(int value)> onProgress;

private:
    void endProgressLine();
    // Ticked files among the rows done when the bar shows this value.
    int ticked(int value) const;

    std::ostream& m_out;
    bool m_oneLine;
    ConsoleSplash m_splash;
    int m_progressMin = 0;
    int m_progressMax = 0;
    int m_progress = 0;
    std::vector<int> m_tickedBefore; // [k]: ticked rows among the first k rows of the run's range
    bool m_progressLineOpen = false;
    std::string m_caption;
};

// Message boxes written to a stream and answered at once with the affirmative button: OK, Yes,
// Retry or Ignore. (The run's one real question, whether to replace an earlier backup, is decided
// by the run's own callback, not here.)
class ConsoleMessageBox : public IMessageBox {
public:
    explicit ConsoleMessageBox(std::ostream& out) : m_out(out) {}
    int MsgBox(const std::string& text, int buttons = vbOKOnly, const std::string& title = {}) override;
    // Called before a box is written (ends an open progress line).
    std::function<void()> beforeShow;
    int shown() const { return m_shown; }

private:
    std::ostream& m_out;
    int m_shown = 0;
};

// "Let pending window events run": a console has none; waiting just sleeps.
class ConsoleEventPump : public IEventPump {
public:
    void DoEvents() override {}
    void WaitEvents(int maxMs) override;
};

// Starts programs as the real service does, except the text viewer: notepad.exe is not started,
// its file is handed to onViewer instead (a console has no window to show it in).
class NoViewerProcesses : public IProcesses {
public:
    NoViewerProcesses(IProcesses& real, std::function<void(const std::string& file)> onViewer)
        : m_real(real), m_onViewer(std::move(onViewer)) {}
    uint32_t CurrentProcessId() override { return m_real.CurrentProcessId(); }
    uint32_t Start(const std::string& commandLine, WindowStyle style) override;
    WaitResult Wait(uint32_t pid, uint32_t timeoutMs) override { return m_real.Wait(pid, timeoutMs); }
    bool Kill(uint32_t pid) override { return m_real.Kill(pid); }
    bool SetPriorityClass(uint32_t pid, uint32_t c) override { return m_real.SetPriorityClass(pid, c); }

private:
    IProcesses& m_real;
    std::function<void(const std::string&)> m_onViewer;
};

struct PickedFolder {
    std::string folder; // a Windows path ending in a backslash, as the window's field holds it
    std::string error;  // what went wrong, with exitCode 2 (a wrong argument) or 1
    int exitCode = 0;
};

// The console's folder picker: the backup folder given on the command line (a Windows path, or a
// host folder of the machine), made when it is not there yet, as the window's picker can make one.
// One among the folders of the host at hostRoot is refused (exit code 2) before anything is made.
PickedFolder pickBackupFolder(const PathNamespace& ns, const std::string& given, IFileSystem& fs,
                              const std::string& hostRoot);

} // namespace levora::console
