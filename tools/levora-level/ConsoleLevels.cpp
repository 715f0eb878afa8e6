#include "ConsoleLevels.h"

#include "leveling/LevelingRun.h"
#include "levels/RunOutcomes.h"

#include <cstdio>
#include <ctime>

namespace levora::console {

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

int untickUnchanged(ConsoleForm& form, const std::vector<TickedFile>& files, const LevelState& state,
                    const std::string& options) {
    const int selected = form.gridColumnByKey("selected");
    int unticked = 0;
    for (const TickedFile& f : files) {
        if (!f.host.empty() && state.unchanged(f.path, f.host, options)) {
            form.grid().setCellChecked(f.row, selected, false);
            ++unticked;
        }
    }
    return unticked;
}

LevelReport reportOfRun(const std::vector<TickedFile>& files, const std::vector<FileLevel>& before,
                        const std::filesystem::path& runLog, const LevelOptions& shown) {
    LevelReport report;
    report.options = shown;
    const std::map<std::string, LoggedFile> logged = filesInRunLog(runLog);
    for (size_t i = 0; i < files.size(); ++i) {
        ReportRow row;
        row.path = files[i].path;
        row.before = i < before.size() ? before[i] : FileLevel{};
        row.after = files[i].host.empty() ? FileLevel{} : measureFileLevel(files[i].host);
        row.options = shown;
        const auto it = logged.find(files[i].path);
        classifyRow(row, it == logged.end() ? nullptr : &it->second);
        report.rows.push_back(std::move(row));
    }
    return report;
}

void recordRun(LevelState& state, const std::vector<TickedFile>& files, const std::filesystem::path& runLog,
               const std::string& options) {
    const std::map<std::string, LoggedFile> logged = filesInRunLog(runLog);
    for (const TickedFile& f : files) {
        const auto it = logged.find(f.path);
        // A file the tool refuses because it is not audio stays refused until it changes.
        const bool done =
            !f.host.empty() && it != logged.end() && (it->second.failures.empty() || !measureFileLevel(f.host).audio);
        if (done)
            state.record(f.path, f.host, options);
        else
            state.forget(f.path);
    }
}

NightlyLevels::NightlyLevels(std::filesystem::path prefixRoot, std::string report, bool changedOnly)
    : m_root(std::move(prefixRoot)), m_statePath(m_root / LevelState::kFileName), m_report(std::move(report)),
      m_changedOnly(changedOnly), m_keepRecord(changedOnly || !m_report.empty()) {}

bool NightlyLevels::beforeRun(ConsoleForm& form, const PathNamespace& ns, std::ostream& out) {
    m_options = recordOptions(form);
    if (m_keepRecord)
        m_state = LevelState::load(m_statePath);
    m_files = tickedFiles(form, ns);
    m_listed = m_files.size();
    if (m_state.damaged())
        out << "Record:   " << m_statePath.string() << " is damaged: every file counts as changed" << std::endl;
    if (m_changedOnly) {
        untickUnchanged(form, m_files, m_state, m_options);
        m_files = tickedFiles(form, ns);
        out << "Changed:  " << m_files.size() << " of " << m_listed << " files since the last run" << std::endl;
        if (m_files.empty()) {
            out << "Nothing changed since the last run: nothing to level." << std::endl;
            return false;
        }
    }
    if (!m_report.empty())
        for (const TickedFile& f : m_files)
            m_before.push_back(f.host.empty() ? FileLevel{} : measureFileLevel(f.host));
    return true;
}

int NightlyLevels::afterRun(const ConsoleForm& form, const RunOutcome& outcome, const std::filesystem::path& runLog,
                            std::ostream& out, std::ostream& err) {
    int status = 0;
    if (!m_report.empty()) {
        LevelOptions shown;
        shown.target = NumberOfText(form.cmbTargetDB());
        shown.minimum = NumberOfText(form.cmbMindBLevel());
        shown.maxChange = NumberOfText(form.cmbGainThreshold());
        LevelReport report = reportOfRun(m_files, m_before, runLog, shown);
        report.machine = m_root.string();
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        char when[32] = "";
        if (localtime_r(&now, &local))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
        report.when = when;
        if (!outcome.logWritten)
            report.notes.push_back("The run log could not be written in full: what happened to a file may be "
                                   "missing");
        if (m_changedOnly && m_listed > m_files.size())
            report.notes.push_back(std::to_string(m_listed - m_files.size()) +
                                   " files unchanged since the last run are not in this report");
        try {
            writeReport(m_report, report);
            out << "Report:   " << m_report << std::endl;
        } catch (const Error& e) {
            err << "levora-level: cannot write the report " << m_report << ": " << e.description() << "\n";
            status = 1;
        }
    }
    if (m_keepRecord) {
        recordRun(m_state, m_files, runLog, m_options);
        try {
            m_state.save(m_statePath);
        } catch (const std::exception& e) {
            err << "levora-level: cannot write " << m_statePath.string() << ": " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}

} // namespace levora::console
