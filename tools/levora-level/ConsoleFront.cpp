#include "ConsoleFront.h"

#include "app/modDirectorySelect.h"
#include "leveling/BackupOriginals.h"
#include "platform/CommandLine.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

namespace levora::console {

namespace {

// The button sets of a message box (its buttons argument, low bits) and the answers they give.
enum ButtonSet {
    OkOnly = vbOKOnly,
    OkCancel = vbOKCancel,
    AbortRetryIgnore = 2,
    YesNoCancel = 3,
    YesNo = vbYesNo,
    RetryCancel = 5
};
constexpr int kButtonSetMask = 7;
constexpr int kAnswerRetry = 4;
constexpr int kAnswerIgnore = 5;

} // namespace

// ---- ConsoleSplash

void ConsoleSplash::showOverMain() {
    m_out << m_label << std::endl;
}

// ---- ConsoleForm

ConsoleForm::ConsoleForm(std::ostream& out, bool progressOnOneLine)
    : m_out(out), m_oneLine(progressOnOneLine), m_splash(out) {
    grid().setTextMatrix(0, grid().ColIndex("FileName"), "File Name");
}

void ConsoleForm::setProgressRange(int minimum, int maximum) {
    m_progressMin = minimum;
    m_progressMax = maximum;
    // The bar runs over every row; a run levels the ticked ones only (--changed-only unticks the rest).
    m_tickedBefore.assign(1, 0);
    const int selected = gridColumnByKey("selected");
    for (int row = 1; row <= maximum - minimum; ++row) {
        bool ticked = false;
        try {
            ticked = row < gridRows() && gridChecked(row, selected);
        } catch (const std::exception&) {
        }
        m_tickedBefore.push_back(m_tickedBefore.back() + (ticked ? 1 : 0));
    }
}

int ConsoleForm::ticked(int value) const {
    if (m_tickedBefore.empty())
        return value - m_progressMin;
    const int rows = std::clamp(value - m_progressMin, 0, static_cast<int>(m_tickedBefore.size()) - 1);
    return m_tickedBefore[static_cast<size_t>(rows)];
}

void ConsoleForm::setProgressValue(int value) {
    m_progress = value;
    if (onProgress)
        onProgress(value);
    // The bar runs from 1 to the row count with the header row: value - 1 rows are done.
    if (m_oneLine) {
        m_out << "\rLeveling: " << ticked(value) << " of " << ticked(m_progressMax) << " files" << std::flush;
        m_progressLineOpen = true;
    }
}

void ConsoleForm::setProgressVisible(bool visible) {
    if (!visible)
        endProgressLine();
}

void ConsoleForm::endProgressLine() {
    if (m_progressLineOpen) {
        m_out << "\n";
        m_progressLineOpen = false;
    } else if (!m_oneLine && m_progressMax > m_progressMin && m_progress > m_progressMin) {
        m_out << "Leveling: " << ticked(m_progress) << " of " << ticked(m_progressMax) << " files\n";
        m_progressMin = m_progressMax = 0;
    }
}

void ConsoleForm::setFrameProgressCaption(const std::string& text) {
    endProgressLine();
    if (text != m_caption)
        m_out << text << std::endl;
    m_caption = text;
}

// ---- ConsoleMessageBox

int ConsoleMessageBox::MsgBox(const std::string& text, int buttons, const std::string& title) {
    if (beforeShow)
        beforeShow();
    ++m_shown;
    const int set = buttons & kButtonSetMask;
    int answer = vbOK;
    std::string button = "OK";
    if (set == YesNo || set == YesNoCancel) {
        answer = vbYes;
        button = "Yes";
    } else if (set == RetryCancel) {
        answer = kAnswerRetry;
        button = "Retry";
    } else if (set == AbortRetryIgnore) {
        answer = kAnswerIgnore;
        button = "Ignore";
    }
    m_out << "[" << (title.empty() ? std::string("Levora") : title) << "] " << text << " -> " << button << std::endl;
    return answer;
}

// ---- ConsoleEventPump

void ConsoleEventPump::WaitEvents(int maxMs) {
    if (maxMs > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(maxMs));
}

// ---- NoViewerProcesses

uint32_t NoViewerProcesses::Start(const std::string& commandLine, WindowStyle style) {
    const auto file = textViewerFile(commandLine);
    if (!file)
        return m_real.Start(commandLine, style);
    if (m_onViewer)
        m_onViewer(*file);
    return 0;
}

// ---- pickBackupFolder

PickedFolder pickBackupFolder(const PathNamespace& ns, const std::string& given, IFileSystem& fs,
                              const std::string& hostRoot) {
    PickedFolder picked;
    std::string folder = given;
    if (!folder.empty() && folder.front() == '/') {
        // A folder of this machine: the run appends Windows folder names to it, so it goes in as the
        // Windows path the folder picker would give.
        std::error_code ec;
        folder = ns.toWindows(std::filesystem::absolute(given, ec));
        if (folder.empty())
            return {{}, given + " has no Windows path in the machine prefix", 2};
    }
    picked.folder = BackupTargetOnFocusOut(folder);
    // Refused before the folder is made: one inside the host's folders would be made among the greetings.
    if (const auto conflict = BackupFolderConflict(fs, hostRoot, picked.folder))
        return {{}, conflict->description(), 2};
    try {
        std::filesystem::create_directories(ns.toHost(picked.folder));
    } catch (const std::exception& e) {
        return {{}, "cannot make the backup folder " + picked.folder + ": " + e.what(), 1};
    }
    return picked;
}

} // namespace levora::console
