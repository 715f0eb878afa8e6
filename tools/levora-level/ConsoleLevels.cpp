#include "ConsoleLevels.h"

#include "leveling/LevelingRun.h"
#include "levels/RunOutcomes.h"

#include <cstdio>

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

} // namespace levora::console
