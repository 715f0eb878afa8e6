// The main window as a console sees it: the same start-up, file list and leveling run as the
// window, with the controls held in memory, progress written to a stream and message boxes
// printed and answered with the affirmative button.
#pragma once

#include "app/MainForm.h"
#include "leveling/RunView.h"
#include "platform/Process.h"
#include "platform/Ui.h"

#include <array>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace levora::console {

// myGrid in memory: columns 0 (fixed), "selected", "FileName"; row 0 the header.
class MemoryGrid : public IGrid {
public:
    MemoryGrid();
    int Rows() const override { return static_cast<int>(m_rows.size()); }
    void setRows(int rows) override;
    int Cols() const override { return kCols; }
    int Row() const override { return m_row; }
    void setRow(int row) override;
    int Col() const override { return m_col; }
    void setCol(int col) override;
    int ColIndex(const std::string& key) const override;
    std::string TextMatrix(int row, int col) const override;
    void setTextMatrix(int row, int col, const std::string& text) override;
    bool CellChecked(int row, int col) const override;
    void setCellChecked(int row, int col, bool checked) override;
    void setRedraw(bool) override {}

    static constexpr int kCols = 3;

private:
    struct Cell {
        std::string text;
        bool checked = false;
    };
    using Row_ = std::array<Cell, kCols>;
    const Cell& cell(int row, int col) const;
    Cell& cell(int row, int col);

    std::vector<Row_> m_rows;
    int m_row = 0;
    int m_col = 0;
};

// A drop-down list of fixed entries in memory.
class MemoryOptionField : public IOptionField {
public:
    void AddItem(const std::string& text) override { m_items.push_back(text); }
    int ListCount() const override { return static_cast<int>(m_items.size()); }
    int ListIndex() const override { return m_index; }
    void setListIndex(int index) override;
    std::string Text() const override;
    bool Enabled() const override { return m_enabled; }
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    // Selects the entry whose text is exactly text; false when the list has none.
    bool selectText(const std::string& text);

private:
    std::vector<std::string> m_items;
    int m_index = -1;
    bool m_enabled = true;
};

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
class ConsoleForm : public IMainForm, public IRunView {
public:
    // progressOnOneLine: rewrite the progress line in place (a terminal); otherwise the progress
    // is written once, when the file loop is over.
    ConsoleForm(std::ostream& out, bool progressOnOneLine);

    // IMainForm
    void frmMain_Auto_Init() override {}
    void setPromptsMenuVisible(bool) override {}
    IOptionField& optionField(OptionFieldId id) override;
    IGrid& fileGrid() override { return m_grid; }
    MemoryGrid& grid() { return m_grid; }
    MemoryOptionField& field(OptionFieldId id);

    bool saveToRegistry = true;
    bool backup = true;
    std::string backupTarget;

    // IRunView
    int gridRows() const override { return m_grid.Rows(); }
    int gridColumnByKey(const std::string& key) const override { return m_grid.ColIndex(key); }
    bool gridChecked(int row, int column) const override { return m_grid.CellChecked(row, column); }
    std::string gridText(int row, int column) const override { return m_grid.TextMatrix(row, column); }
    bool chkSaveToRegistry() const override { return saveToRegistry; }
    bool chkBackup() const override { return backup; }
    std::string txtBackupTarget() const override { return backupTarget; }
    std::string cmbTargetDB() const override { return m_fields[0].Text(); }
    std::string cmbMindBLevel() const override { return m_fields[3].Text(); }
    std::string cmbSampleSize() const override { return m_fields[1].Text(); }
    std::string cmbGainThreshold() const override { return m_fields[2].Text(); }
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

    std::ostream& m_out;
    bool m_oneLine;
    MemoryGrid m_grid;
    std::array<MemoryOptionField, 4> m_fields; // in OptionFieldId order
    ConsoleSplash m_splash;
    int m_progressMin = 0;
    int m_progressMax = 0;
    int m_progress = 0;
    bool m_progressLineOpen = false;
    std::string m_caption;
};

// Message boxes written to a stream and answered at once with OK, or Yes for a question.
class ConsoleMessageBox : public IMessageBox {
public:
    explicit ConsoleMessageBox(std::ostream& out) : m_out(out) {}
    int MsgBox(const std::string& text, int buttons = vbOKOnly, const std::string& title = {}) override;
    // Called before a box is written (ends an open progress line).
    std::function<void()> beforeShow;
    // A question with this text is answered No (the overwrite question, unless it was allowed).
    std::string answerNoTo;
    int shown() const { return m_shown; }
    // How many questions were answered No.
    int declined() const { return m_declined; }

private:
    std::ostream& m_out;
    int m_shown = 0;
    int m_declined = 0;
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

    // The file a "notepad.exe FILE" command line opens (empty: no file); nothing when the command
    // line starts another program.
    static std::optional<std::string> viewerFile(const std::string& commandLine);

private:
    IProcesses& m_real;
    std::function<void(const std::string&)> m_onViewer;
};

} // namespace levora::console
