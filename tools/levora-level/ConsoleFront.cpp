#include "ConsoleFront.h"

#include "platform/Error.h"
#include "platform/WinPath.h"

#include <chrono>
#include <thread>

namespace levora::console {

namespace {

constexpr int kSubscriptOutOfRange = 9;

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

} // namespace

// ---- MemoryGrid

MemoryGrid::MemoryGrid() : m_rows(1) {
    m_rows[0][2].text = "File Name";
}

void MemoryGrid::setRows(int rows) {
    m_rows.resize(static_cast<size_t>(rows < 1 ? 1 : rows));
}

void MemoryGrid::setRow(int row) {
    if (row < 0 || row >= Rows())
        throw Error(kSubscriptOutOfRange, "Subscript out of range");
    m_row = row;
}

void MemoryGrid::setCol(int col) {
    if (col < 0 || col >= kCols)
        throw Error(kSubscriptOutOfRange, "Subscript out of range");
    m_col = col;
}

int MemoryGrid::ColIndex(const std::string& key) const {
    if (equalsNoCase(key, "selected"))
        return 1;
    if (equalsNoCase(key, "FileName"))
        return 2;
    return -1;
}

const MemoryGrid::Cell& MemoryGrid::cell(int row, int col) const {
    if (row < 0 || row >= Rows() || col < 0 || col >= kCols)
        throw Error(kSubscriptOutOfRange, "Subscript out of range");
    return m_rows[static_cast<size_t>(row)][static_cast<size_t>(col)];
}

MemoryGrid::Cell& MemoryGrid::cell(int row, int col) {
    return const_cast<Cell&>(static_cast<const MemoryGrid&>(*this).cell(row, col));
}

std::string MemoryGrid::TextMatrix(int row, int col) const {
    return cell(row, col).text;
}

void MemoryGrid::setTextMatrix(int row, int col, const std::string& text) {
    cell(row, col).text = text;
}

bool MemoryGrid::CellChecked(int row, int col) const {
    return cell(row, col).checked;
}

void MemoryGrid::setCellChecked(int row, int col, bool checked) {
    cell(row, col).checked = checked;
}

// ---- MemoryOptionField

void MemoryOptionField::setListIndex(int index) {
    if (index < -1 || index >= ListCount())
        throw Error(err::InvalidCall);
    m_index = index;
}

std::string MemoryOptionField::Text() const {
    return m_index < 0 ? std::string() : m_items[static_cast<size_t>(m_index)];
}

bool MemoryOptionField::selectText(const std::string& text) {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i] == text) {
            m_index = static_cast<int>(i);
            return true;
        }
    return false;
}

// ---- ConsoleSplash

void ConsoleSplash::showOverMain() {
    m_out << m_label << std::endl;
}

// ---- ConsoleForm

ConsoleForm::ConsoleForm(std::ostream& out, bool progressOnOneLine)
    : m_out(out), m_oneLine(progressOnOneLine), m_splash(out) {}

MemoryOptionField& ConsoleForm::field(OptionFieldId id) {
    return m_fields[static_cast<size_t>(id)];
}

IOptionField& ConsoleForm::optionField(OptionFieldId id) {
    return field(id);
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

std::optional<std::string> NoViewerProcesses::viewerFile(const std::string& commandLine) {
    const std::string line = trim(commandLine);
    std::string program, rest;
    if (!line.empty() && line[0] == '"') {
        const auto close = line.find('"', 1);
        if (close == std::string::npos)
            return std::nullopt;
        program = line.substr(1, close - 1);
        rest = line.substr(close + 1);
    } else {
        const auto blank = line.find_first_of(" \t");
        program = line.substr(0, blank);
        rest = blank == std::string::npos ? std::string() : line.substr(blank);
    }
    // The program's own name, after any folder.
    const auto slash = program.find_last_of("\\/");
    if (slash != std::string::npos)
        program = program.substr(slash + 1);
    if (!equalsNoCase(program, "notepad") && !equalsNoCase(program, "notepad.exe"))
        return std::nullopt;
    rest = trim(rest);
    if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"')
        rest = rest.substr(1, rest.size() - 2);
    return rest;
}

uint32_t NoViewerProcesses::Start(const std::string& commandLine, WindowStyle style) {
    const auto file = viewerFile(commandLine);
    if (!file)
        return m_real.Start(commandLine, style);
    if (m_onViewer)
        m_onViewer(*file);
    return 0;
}

} // namespace levora::console
