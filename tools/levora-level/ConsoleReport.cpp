#include "ConsoleReport.h"

#include "leveling/RunContext.h"
#include "platform/ReplaceFile.h"

#include <cstdio>
#include <iomanip>
#include <sstream>

namespace levora::console {

void writeSettings(std::ostream& out, const std::filesystem::path& machine, const ConsoleForm& form) {
    out << "Machine:  " << machine.string() << "\n"
        << "Files:    " << (form.gridRows() - 1) << " greetings and voice names, all ticked\n"
        << "Options:  target " << form.cmbTargetDB() << " dB, minimum " << form.cmbMindBLevel() << " dB, sample size "
        << form.cmbSampleSize() << ", largest change " << form.cmbGainThreshold() << " dB\n"
        << "Backup:   " << (form.backup ? form.backupTarget : std::string("none")) << "\n"
        << "Registry: " << (form.saveToRegistry ? "the options become the host's AGC defaults" : "unchanged")
        << std::endl;
}

int exitStatusOf(const RunOutcome& outcome) {
    switch (outcome.end) {
    case RunEnd::Refused:
        return kExitMachineBusy;
    case RunEnd::LockFailed:
    case RunEnd::NothingTicked:
    case RunEnd::BackupKept:
    case RunEnd::BackupFailed:
        return kExitNotLevelled;
    case RunEnd::StoppedByUser:
        return kExitStoppedByUser;
    case RunEnd::StoppedByTimeouts:
        return kExitFilesFailed;
    case RunEnd::Completed:
        break;
    }
    return outcome.recordingsFailed() > 0 ? kExitFilesFailed : 0;
}

std::string counted(int n, const std::string& one, const std::string& many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string elapsedText(std::chrono::steady_clock::duration elapsed) {
    const double seconds = std::chrono::duration<double>(elapsed).count();
    char buf[48];
    if (seconds < 60.0)
        std::snprintf(buf, sizeof buf, "%.1f s", seconds);
    else
        std::snprintf(buf, sizeof buf, "%lld min %02lld s", static_cast<long long>(seconds) / 60,
                      static_cast<long long>(seconds) % 60);
    return buf;
}

void writeRunSummary(std::ostream& out, const PathNamespace& ns, const RunOutcome& outcome,
                     std::chrono::steady_clock::duration elapsed) {
    out << "Result:   " << outcome.filesLevelled << " of " << counted(outcome.filesTried, "file", "files")
        << " levelled, " << counted(outcome.failures, "error", "errors") << ", "
        << counted(outcome.warnings, "warning", "warnings")
        << (outcome.synced ? "" : ", the host's database was not synchronised") << std::endl;
    // The log has every failure in its place; here each failed file is named once.
    for (const FileOutcome& f : outcome.files)
        if (f.failed())
            out << "(error)   " << f.path << ": " << f.error << (f.notRecording() ? " (not a recording)" : "")
                << std::endl;
    if (outcome.end == RunEnd::StoppedByUser)
        out << "Stopped:  after " << outcome.files.size() << " of " << counted(outcome.filesTicked, "file", "files")
            << ", as asked" << std::endl;
    out << "Elapsed:  " << elapsedText(elapsed) << std::endl;
    std::string hostLog;
    try {
        hostLog = ns.toHost(kRunLogPath).string();
    } catch (const std::exception&) {
    }
    out << "Log:      " << kRunLogPath << " (" << hostLog << ")";
    if (!outcome.logWritten) {
        out << " could not be written completely (is the disk full?)" << std::endl;
        return;
    }
    out << std::endl;
    if (outcome.failures > 0)
        out << "          search the log for \"(error)\" to see what could not be done" << std::endl;
}

void RowTimes::stamp(int progressValue) {
    m_stamps.emplace_back(progressValue, Clock::now());
}

void RowTimes::end() {
    m_end = Clock::now();
}

bool RowTimes::write(const std::string& path, const IRunView& view) const {
    const auto ms = [](Clock::time_point from, Clock::time_point to) {
        return std::chrono::duration<double, std::milli>(to - from).count();
    };
    std::ostringstream out;
    out << std::fixed << std::setprecision(3);
    const int nameColumn = view.gridColumnByKey("FileName");
    for (size_t i = 1; i < m_stamps.size(); ++i) {
        const int row = m_stamps[i].first - m_stamps.front().first;
        std::string name;
        try {
            name = view.gridText(row, nameColumn);
        } catch (const std::exception&) {
        }
        out << ms(m_stamps[i - 1].second, m_stamps[i].second) << '\t' << name << '\n';
    }
    if (!m_stamps.empty())
        out << ms(m_stamps.back().second, m_end) << "\t(sync)\n";
    try {
        writeFileAtomically(path, out.str());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace levora::console
