#include "ConsoleFront.h"

#include "app/modDirectorySelect.h"
#include "leveling/BackupOriginals.h"
#include "platform/CommandLine.h"
#include "platform/WinPath.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace levora::console {

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
}

void ConsoleForm::setProgressValue(int value) {
    m_progress = value;
    if (onProgress)
        onProgress(value);
    // The bar runs from 1 to the row count with the header row: value - 1 rows are done.
    if (m_oneLine) {
        m_out << "\rLeveling: " << (value - m_progressMin) << " of " << (m_progressMax - m_progressMin) << " files"
              << std::flush;
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
        m_out << "Leveling: " << (m_progress - m_progressMin) << " of " << (m_progressMax - m_progressMin)
              << " files\n";
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
    const int kind = buttons & 7;
    int answer = vbOK;
    std::string button = "OK";
    if ((kind == vbYesNo || kind == 3 /* Yes, No, Cancel */) && !answerNoTo.empty() && text == answerNoTo) {
        answer = vbNo;
        button = "No";
        ++m_declined;
    } else if (kind == vbYesNo || kind == 3 /* Yes, No, Cancel */) {
        answer = vbYes;
        button = "Yes";
    } else if (kind == 5 /* Retry, Cancel */) {
        answer = 4; // vbRetry
        button = "Retry";
    } else if (kind == 2 /* Abort, Retry, Ignore */) {
        answer = 5; // vbIgnore
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
