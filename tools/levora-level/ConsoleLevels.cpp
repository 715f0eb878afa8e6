#include "ConsoleLevels.h"

#include "leveling/LevelingRun.h"
#include "levels/RowOutcome.h"
#include "platform/Error.h"
#include "platform/HostFile.h"
#include "platform/ReplaceFile.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <map>

namespace levora::console {

namespace fs = std::filesystem;

std::vector<TickedFile> tickedFiles(const ConsoleForm& form, const PathNamespace& ns) {
    std::vector<TickedFile> files;
    const int selected = form.gridColumnByKey("selected");
    const int name = form.gridColumnByKey("FileName");
    for (int row = 1; row < form.gridRows(); ++row) {
        if (!form.gridChecked(row, selected))
            continue;
        TickedFile f;
        f.row = row;
        f.path = form.gridText(row, name);
        try {
            f.host = ns.toHost(f.path);
        } catch (const std::exception&) {
        }
        files.push_back(std::move(f));
    }
    return files;
}

std::string recordOptions(const IRunView& view) {
    auto number = [](const std::string& text) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%g", NumberOfText(text));
        return std::string(buf);
    };
    return "t=" + number(view.cmbTargetDB()) + " m=" + number(view.cmbMindBLevel()) +
           " b=" + number(view.cmbSampleSize()) + " g=" + number(view.cmbGainThreshold());
}

int untickUnchanged(ConsoleForm& form, const std::vector<TickedFile>& files, const LevelState& state, IFileSystem& fs,
                    const std::string& options) {
    const int selected = form.gridColumnByKey("selected");
    int unticked = 0;
    for (const TickedFile& f : files) {
        if (state.unchanged(fs, f.path, f.path, options)) {
            form.grid().setCellChecked(f.row, selected, false);
            ++unticked;
        }
    }
    return unticked;
}

LevelReport reportOfRun(const std::vector<TickedFile>& files, const std::vector<FileLevel>& before,
                        const std::vector<FileOutcome>& done, const LevelOptions& shown) {
    std::map<std::string, const FileOutcome*> byPath;
    for (const FileOutcome& f : done)
        byPath[f.path] = &f;
    LevelReport report;
    report.options = shown;
    for (size_t i = 0; i < files.size(); ++i) {
        ReportRow row;
        row.path = files[i].path;
        row.before = i < before.size() ? before[i] : FileLevel{};
        row.after = files[i].host.empty() ? FileLevel{} : measureFileLevel(files[i].host);
        row.options = shown;
        const auto it = byPath.find(files[i].path);
        classifyRow(row, it == byPath.end() ? nullptr : it->second);
        report.rows.push_back(std::move(row));
    }
    return report;
}

std::optional<std::string> readRecord(const fs::path& file) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(file, ec);
    if (!fs::exists(status))
        return std::nullopt;
    // A link, a FIFO or a device is no record: it must neither block nor grow without end.
    if (!fs::is_regular_file(status))
        return std::string("(not a record)");
    try {
        return readHostFile(file, LevelState::kMaxRecordBytes);
    } catch (const Error&) {
        return std::string("(not a record)");
    }
}

NightlyLevels::NightlyLevels(IFileSystem& fs, fs::path prefixRoot, std::string report, bool changedOnly)
    : m_fs(fs), m_root(std::move(prefixRoot)), m_statePath(m_root / LevelState::kFileName), m_report(std::move(report)),
      m_changedOnly(changedOnly), m_keepRecord(changedOnly || !m_report.empty()) {}

bool NightlyLevels::beforeRun(ConsoleForm& form, const PathNamespace& ns, std::ostream& out) {
    m_options = recordOptions(form);
    if (m_keepRecord) {
        const std::optional<std::string> text = readRecord(m_statePath);
        m_state = LevelState::parse(text.value_or(""));
        m_recordCurrent = text && !m_state.damaged() && text->rfind("levora-state\t2\n", 0) == 0;
    }
    m_files = tickedFiles(form, ns);
    m_listed = m_files.size();
    if (m_state.damaged())
        out << "Record:   " << m_statePath.string() << " is damaged: the files it cannot tell count as changed"
            << std::endl;
    std::vector<std::optional<FileLevel>> measured(m_files.size());
    if (m_changedOnly) {
        untickUnchanged(form, m_files, m_state, m_fs, m_options);
        // A file the record does not know (a damaged or lost record) may have been levelled by a run that
        // was killed: left alone when the gain tool's meter finds it at the target already.
        const double target = NumberOfText(form.cmbTargetDB());
        const int selected = form.gridColumnByKey("selected");
        for (size_t i = 0; i < m_files.size(); ++i) {
            const TickedFile& f = m_files[i];
            if (target == 0.0 || f.host.empty() || m_state.covers(f.path) || !form.gridChecked(f.row, selected))
                continue;
            measured[i] = measureFileLevel(f.host);
            if (measured[i]->measured() && std::fabs(measured[i]->level - target) <= kTargetToleranceDb) {
                form.grid().setCellChecked(f.row, selected, false);
                m_atTarget.push_back(f.path);
            }
        }
        std::vector<TickedFile> left = tickedFiles(form, ns);
        std::vector<std::optional<FileLevel>> leftMeasured;
        for (const TickedFile& f : left)
            for (size_t i = 0; i < m_files.size(); ++i)
                if (m_files[i].row == f.row)
                    leftMeasured.push_back(measured[i]);
        m_files = std::move(left);
        measured = std::move(leftMeasured);
        out << "Changed:  " << (m_files.size() + m_atTarget.size()) << " of " << m_listed << " files since the last run"
            << std::endl;
        if (!m_atTarget.empty())
            out << "Skipped:  " << m_atTarget.size() << " of them already at the target" << std::endl;
        if (m_files.empty()) {
            out << "Nothing changed since the last run: nothing to level." << std::endl;
            return false;
        }
    }
    if (!m_report.empty())
        for (size_t i = 0; i < m_files.size(); ++i)
            m_before.push_back(measured[i]               ? *measured[i]
                               : m_files[i].host.empty() ? FileLevel{}
                                                         : measureFileLevel(m_files[i].host));
    return true;
}

void NightlyLevels::fileReplaced(const std::string& path) {
    if (!m_keepRecord)
        return;
    m_state.record(m_fs, path, path, m_options);
    if (!m_recordCurrent) {
        replaceRecord();
        return;
    }
    if (!appendToHostFile(m_statePath, m_state.line(path)))
        m_recordError = "cannot append to it";
}

void NightlyLevels::fileDone(const FileOutcome& file) {
    // A replaced file was recorded the moment it was replaced.
    if (!m_keepRecord || file.replaced)
        return;
    // A file the tool refuses because it is no recording stays refused until it changes.
    if (!file.failed() || file.notRecording())
        m_state.record(m_fs, file.path, file.path, m_options);
    else
        m_state.forget(file.path);
    if (!m_recordCurrent) {
        replaceRecord();
        return;
    }
    if (!appendToHostFile(m_statePath, m_state.line(file.path)))
        m_recordError = "cannot append to it";
}

void NightlyLevels::runEnded() {
    if (!m_keepRecord)
        return;
    // Written whole, one line per file, while no other run can append to it: read again first, so
    // that the lines of a run that ended after this one read the record are kept.
    LevelState now = LevelState::parse(readRecord(m_statePath).value_or(""));
    if (!m_recordCurrent)
        now = m_state; // this run's files never reached the file: what it knows is newer
    for (const std::string& path : m_atTarget)
        now.record(m_fs, path, path, m_options);
    m_state = std::move(now);
    replaceRecord();
}

void NightlyLevels::replaceRecord() {
    try {
        writeFileAtomically(m_statePath, m_state.text());
        m_recordCurrent = true;
    } catch (const std::exception& e) {
        m_recordError = e.what();
    }
}

int NightlyLevels::afterRun(const ConsoleForm& form, const RunOutcome& outcome, std::ostream& out, std::ostream& err) {
    int status = 0;
    if (!m_report.empty()) {
        LevelOptions shown;
        shown.target = NumberOfText(form.cmbTargetDB());
        shown.minimum = NumberOfText(form.cmbMindBLevel());
        shown.maxChange = NumberOfText(form.cmbGainThreshold());
        LevelReport report = reportOfRun(m_files, m_before, outcome.files, shown);
        report.machine = m_root.string();
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        char when[32] = "";
        if (localtime_r(&now, &local))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
        report.when = when;
        if (m_changedOnly && m_listed > m_files.size())
            report.notes.push_back(std::to_string(m_listed - m_files.size()) +
                                   " files unchanged since the last run or already at the target are not in this "
                                   "report");
        try {
            writeReport(m_report, report);
            out << "Report:   " << m_report << std::endl;
        } catch (const Error& e) {
            err << "levora-level: cannot write the report " << m_report << ": " << e.description() << "\n";
            status = 1;
        }
    }
    if (!m_recordError.empty()) {
        err << "levora-level: cannot write " << m_statePath.string() << ": " << m_recordError << "\n";
        status = 1;
    }
    return status;
}

} // namespace levora::console
