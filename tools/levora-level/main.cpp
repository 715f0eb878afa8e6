// levora-level: the greeting leveling run of Levora's main window, from a command line. The same
// start-up (host release, AGC defaults, file list) and the same run (registry save, backup, gain
// tool per file, run log, synchronisation) over the same platform services; the window's controls
// are held in memory, message boxes are printed and answered with OK or Yes.
#include "ConsoleFront.h"

#include "app/Module1.h"
#include "app/OptionFields.h"
#include "app/StartUp.h"
#include "app/mdlPriority.h"
#include "app/modDirectorySelect.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "i18n/modLocalize.h"
#include "leveling/BusyGuard.h"
#include "leveling/LevelFile.h"
#include "leveling/LevelingRun.h"
#include "leveling/RunContext.h"
#include "log/Logging.h"
#include "platform/LinuxAutomation.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxLocale.h"
#include "platform/LinuxProcesses.h"
#include "platform/LinuxRunLock.h"
#include "platform/LinuxSession.h"
#include "platform/PeResources.h"
#include "platform/Prefix.h"
#include "platform/RegistryStore.h"
#include "platform/SteadyClock.h"
#include "platform/WinPath.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <optional>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace levora;

namespace {

struct Arguments {
    std::string prefix;
    std::optional<int> target;
    bool noBackup = false;
    std::string backupDir;
    bool noRegistry = false;
    bool overwriteBackup = false;
    std::string rowTimes;
};

// Exit status when another leveling run, prompt leveling or restore works on the machine.
constexpr int kExitMachineBusy = 3;

struct LogSummary {
    int errors = 0;
    int warnings = 0;
    int leveled = 0;
};

LogSummary summarise(const fs::path& log) {
    LogSummary s;
    std::ifstream in(log, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.find("(error)") != std::string::npos)
            ++s.errors;
        else if (line.find("(warning)") != std::string::npos)
            ++s.warnings;
        else if (line.find(" set to dB ") != std::string::npos)
            ++s.leveled;
    }
    return s;
}

using Stamp = std::pair<int, std::chrono::steady_clock::time_point>;

double msBetween(std::chrono::steady_clock::time_point from, std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// One line per row of the file loop, then the rest of the run (the synchronisation, the log closed,
// the final box) as "(sync)".
bool writeRowTimes(const std::string& path, const std::vector<Stamp>& stamps,
                   std::chrono::steady_clock::time_point runEnd, const IRunView& view) {
    std::ofstream out(path, std::ios::trunc);
    const int nameColumn = view.gridColumnByKey("FileName");
    for (size_t i = 1; i < stamps.size(); ++i) {
        const int row = stamps[i].first - stamps.front().first;
        std::string name;
        try {
            name = view.gridText(row, nameColumn);
        } catch (const std::exception&) {
        }
        out << std::fixed << std::setprecision(3) << msBetween(stamps[i - 1].second, stamps[i].second) << '\t' << name
            << '\n';
    }
    if (!stamps.empty())
        out << std::fixed << std::setprecision(3) << msBetween(stamps.back().second, runEnd) << "\t(sync)\n";
    return static_cast<bool>(out.flush());
}

// Every platform service over one machine prefix, built as the window's program builds them.
struct Machine {
    Machine(const fs::path& root, std::ostream& out, const std::string& commandLine)
        : prefix(root), ns(prefix), app(appInfo(ns, commandLine)), registry(prefix.systemReg()), fs(ns),
          realProcesses(ns, app.programFolder),
          processes(realProcesses, [this](const std::string& file) { viewerFile = file; }), msgbox(out),
          resources(&modLocalize::builtInStringW, [this](const std::string& p) { return ns.toHost(p); }),
          automation(registry, ns, app.programFolder), localize(resources, locale, fs, msgbox, app), log(fs, pump, app),
          registryApi(registry), version(registryApi, msgbox), gain(fs, processes, version, log, app) {}

    static AppInfo appInfo(const PathNamespace& ns, const std::string& commandLine) {
        AppInfo a;
        a.programFolder = programFolderOf(ns);
        // The window's name: its language libraries and its log header are shared.
        a.exeBaseName = "Levora";
        a.commandLine = commandLine;
        return a;
    }

    MachinePrefix prefix;
    PathNamespace ns;
    AppInfo app;
    RegistryStore registry;
    LinuxFileSystem fs;
    LinuxProcesses realProcesses;
    console::NoViewerProcesses processes;
    std::optional<std::string> viewerFile; // set when the run offers the log
    console::ConsoleMessageBox msgbox;
    console::ConsoleEventPump pump;
    SteadyClock clock;
    LinuxSession session;
    LinuxLocale locale;
    PeResources resources;
    LinuxAutomation automation;
    modLocalize localize;
    Logging log;
    RegistryAPI registryApi;
    TalvioVersion version;
    GainToolRunner gain;
    LinuxRunLock runLock{prefix.runLockFile()};
    BusyFlag busy{runLock};
};

} // namespace

int main(int argc, char** argv) {
    CLI::App cli{"Levels every greeting and voice name of the Talvio host, as the \"Levora Level\" button of "
                 "Levora's window does, with the host's AGC defaults as options. Message boxes are printed and "
                 "answered with OK or Yes (the question whether to overwrite an earlier backup with No, unless "
                 "--overwrite-backup is given); the run log is c:\\Levora.log of the machine prefix.",
                 "levora-level"};
    Arguments a;
    cli.add_option("--prefix", a.prefix, "The machine prefix (default: $LEVORA_PREFIX, else ~/.levora)");
    cli.add_option("--target", a.target, "Target level in dB, -35 to 0 (default: the host's AGC default)")
        ->check(CLI::Range(-35, 0));
    auto* noBackup = cli.add_flag("--no-backup", a.noBackup, "Do not copy the greetings to a backup folder first");
    cli.add_option("--backup-dir", a.backupDir, "The backup folder, a Windows path of the prefix (C:\\Backup)")
        ->excludes(noBackup);
    cli.add_flag("--overwrite-backup", a.overwriteBackup,
                 "Replace a backup already in the backup folder (without it the question is answered No, the "
                 "backup is kept and nothing is levelled)")
        ->excludes(noBackup);
    cli.add_flag("--no-registry", a.noRegistry, "Do not save the options as the host's AGC defaults");
    cli.add_option("--row-times", a.rowTimes,
                   "Write how long each row of the file loop took (milliseconds, tab, file) to this host file, "
                   "and the synchronisation's time as a last row named \"(sync)\"");
    cli.footer(
        "Exit status: 0 when the run reached its end (its log, c:\\Levora.log, lists anything that could "
        "not be done), 1 when the start-up or the run stopped before leveling (an earlier backup kept, ...), 2 for a "
        "wrong argument, 3 when another Levora run, prompt leveling or restore was working on the same "
        "machine (nothing was changed; try again when it has finished).");
    CLI11_PARSE(cli, argc, argv);

    if (!a.noBackup && a.backupDir.empty()) {
        std::cerr << "levora-level: give the backup folder (--backup-dir C:\\Backup) or leave the backup out "
                     "(--no-backup)\n";
        return 2;
    }

    std::error_code ec;
    const fs::path root = fs::absolute(a.prefix.empty() ? MachinePrefix::defaultRoot() : fs::path(a.prefix), ec);
    if (!fs::is_regular_file(root / "system.reg")) {
        std::cerr << "levora-level: no machine at " << root.string() << " (no system.reg)\n";
        return 1;
    }

    std::string commandLine;
    for (int i = 1; i < argc; ++i)
        commandLine += (i > 1 ? " " : "") + std::string(argv[i]);

    const bool terminal = isatty(STDOUT_FILENO) != 0;
    console::ConsoleForm form(std::cout, terminal);
    Machine m(root, std::cout, commandLine);
    m.msgbox.beforeShow = [&] { form.setProgressVisible(false); };

    bool ended = false;
    StartUpServices start{form,
                          m.localize,
                          m.registryApi,
                          m.version,
                          m.session,
                          m.msgbox,
                          m.fs,
                          m.app,
                          [&m](uint32_t priorityClass) { return bSetProcessPriority(m.processes, priorityClass); },
                          [&] {
                              ended = true;
                              m.log.CloseLog();
                          }};
    if (frmMain_Load(start) == LoadResult::Ended || ended)
        return 1;
    // An earlier backup holds the only originals a rerun after a broken run still has.
    if (!a.overwriteBackup)
        m.msgbox.answerNoTo = m.localize.mymyLoadString(44);

    if (a.target) {
        const std::string text = OptionEntryText(kTargetDBList, *a.target);
        if (!form.field(OptionFieldId::TargetDB).selectText(text)) {
            std::cerr << "levora-level: --target " << *a.target << " is not an entry of the target list\n";
            return 2;
        }
        // What the window does when the focus leaves the field.
        bool cancel = false;
        cmbTargetDB_Validate(form, m.version, cancel);
    }
    form.backup = !a.noBackup;
    std::string backupDir = a.backupDir;
    if (!backupDir.empty() && backupDir.front() == '/') {
        // A folder of this machine: the run appends Windows folder names to it, so it goes in as the
        // Windows path the folder picker would give.
        backupDir = m.ns.toWindows(fs::absolute(backupDir, ec));
        if (backupDir.empty()) {
            std::cerr << "levora-level: " << a.backupDir << " has no Windows path in the machine prefix\n";
            return 2;
        }
    }
    form.backupTarget = a.noBackup ? std::string() : BackupTargetOnFocusOut(backupDir);
    form.saveToRegistry = !a.noRegistry;
    if (form.backup) {
        // The window's folder picker can make a new folder; here a folder that is not there yet is made.
        try {
            fs::create_directories(m.ns.toHost(form.backupTarget));
        } catch (const std::exception& e) {
            std::cerr << "levora-level: cannot make the backup folder " << form.backupTarget << ": " << e.what()
                      << "\n";
            return 1;
        }
    }

    std::cout << "Machine:  " << root.string() << "\n"
              << "Files:    " << (form.gridRows() - 1) << " greetings and voice names, all ticked\n"
              << "Options:  target " << form.cmbTargetDB() << " dB, minimum " << form.cmbMindBLevel()
              << " dB, sample size " << form.cmbSampleSize() << ", largest change " << form.cmbGainThreshold()
              << " dB\n"
              << "Backup:   " << (form.backup ? form.backupTarget : std::string("none")) << "\n"
              << "Registry: " << (form.saveToRegistry ? "the options become the host's AGC defaults" : "unchanged")
              << std::endl;

    RunContext context{form,
                       m.msgbox,
                       m.fs,
                       m.processes,
                       m.automation,
                       m.registryApi,
                       m.log,
                       m.gain,
                       m.app,
                       m.pump,
                       [&m](int32_t id) { return m.localize.mymyLoadString(id); },
                       [&m](double seconds) { Pause(m.clock, m.pump, seconds); },
                       m.busy};
    // The run gives the progress bar its first value before the first row and adds 1 after each.
    using Clock = std::chrono::steady_clock;
    std::vector<std::pair<int, Clock::time_point>> stamps;
    if (!a.rowTimes.empty())
        form.onProgress = [&](int value) { stamps.emplace_back(value, Clock::now()); };

    LevelingRun run(context);
    run.cmdSetdB_Click();
    const Clock::time_point runEnd = Clock::now();
    form.setProgressVisible(false);

    if (!a.rowTimes.empty() && !writeRowTimes(a.rowTimes, stamps, runEnd, form))
        std::cerr << "levora-level: cannot write " << a.rowTimes << "\n";

    if (m.runLock.refusals() > 0) {
        std::cerr << "levora-level: another Levora run is working on the machine at " << root.string()
                  << "; nothing was changed. Try again when it has finished.\n";
        return kExitMachineBusy;
    }
    if (m.msgbox.declined() > 0) {
        std::cerr << "levora-level: the backup folder " << form.backupTarget
                  << " already holds a backup; it was kept and nothing was levelled. Give --overwrite-backup to "
                     "replace it.\n";
        return 1;
    }
    if (!m.viewerFile) {
        std::cout << "The run ended before the leveling (see the messages above)." << std::endl;
        return 1;
    }
    fs::path hostLog;
    try {
        hostLog = m.ns.toHost(m.viewerFile->empty() ? std::string(kRunLogPath) : *m.viewerFile);
    } catch (const std::exception&) {
        hostLog = m.ns.toHost(kRunLogPath);
    }
    const LogSummary s = summarise(hostLog);
    std::cout << "Log:      " << *m.viewerFile << " (" << hostLog.string() << "): " << s.leveled << " files, "
              << s.errors << " error lines, " << s.warnings << " warning lines" << std::endl;
    if (s.errors > 0)
        std::cout << "          search the log for \"(error)\" to see what could not be done" << std::endl;
    return 0;
}
