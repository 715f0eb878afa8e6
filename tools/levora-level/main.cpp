// levora-level: the greeting leveling run of Levora's main window, from a command line. The same
// start-up (host release, AGC defaults, file list) and the same run (registry save, backup, gain
// tool per file, run log, synchronisation) over the same machine; the window's controls are held
// in memory, message boxes are printed and answered with OK or Yes.
#include "ConsoleFront.h"
#include "ConsoleLevels.h"
#include "ConsoleReport.h"

#include "app/Machine.h"
#include "app/OptionFields.h"
#include "leveling/LevelingRun.h"
#include "platform/Version.h"

#include <CLI/CLI.hpp>

#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
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
    std::string report;
    bool changedOnly = false;
};

// Exit status when another leveling run, prompt leveling or restore works on the machine.
constexpr int kExitMachineBusy = 3;

} // namespace

int main(int argc, char** argv) {
    CLI::App cli{"Levels every greeting and voice name of the Talvio host, as the \"Levora Level\" button of "
                 "Levora's window does, with the host's AGC defaults as options. Message boxes are printed "
                 "and answered with OK or Yes (the question whether to overwrite an earlier backup with No, "
                 "unless --overwrite-backup is given); the run log is c:\\Levora.log of the machine prefix.",
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
    cli.add_option("--report", a.report,
                   "Measure every file to level before and after the run and write a level report to this host "
                   "file: CSV (.csv) or one HTML page (.html)");
    cli.add_flag("--changed-only", a.changedOnly,
                 "Level only the files that changed since Levora last levelled or measured them at the same "
                 "options (the record is levora-state.tsv in the machine prefix)");
    cli.footer("Exit status: 0 when the run reached its end (its log, c:\\Levora.log, lists anything that could "
               "not be done) or, with --changed-only, nothing had changed; 1 when the start-up or the run stopped "
               "before leveling (an earlier backup kept, ...), or the report or the record could not be written; 2 "
               "for a wrong argument; 3 when another Levora run, prompt leveling or restore was working on the same "
               "machine (nothing was changed; try again when it has finished).");
    cli.set_version_flag("--version", std::string("levora-level ") + levora::kVersionText,
                         "Show the program's version");
    CLI11_PARSE(cli, argc, argv);

    if (!a.report.empty() && !reportFormatFor(a.report)) {
        std::cerr << "levora-level: --report " << a.report << ": the report is a .csv or an .html file\n";
        return 2;
    }
    if (const fs::path folder = fs::path(a.report).parent_path(); !folder.empty() && !fs::is_directory(folder)) {
        std::cerr << "levora-level: --report " << a.report << ": there is no folder " << folder.string() << "\n";
        return 2;
    }
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

    const bool terminal = isatty(STDOUT_FILENO) != 0;
    console::ConsoleForm form(std::cout, terminal);
    console::ConsoleMessageBox msgbox(std::cout);
    msgbox.beforeShow = [&] { form.setProgressVisible(false); };
    console::ConsoleEventPump pump;
    std::optional<std::string> viewerFile; // set when the run offers the log
    Machine m(root, std::vector<std::string>(argv + 1, argv + argc), msgbox, pump, [&](IProcesses& real) {
        return std::make_unique<console::NoViewerProcesses>(real, [&](const std::string& file) { viewerFile = file; });
    });

    bool ended = false;
    StartUpServices start = m.startUp(form, [&] {
        ended = true;
        m.log.CloseLog();
    });
    if (frmMain_Load(start) == LoadResult::Ended || ended)
        return 1;
    // An earlier backup holds the only originals a rerun after a broken run still has.
    if (!a.overwriteBackup)
        msgbox.answerNoTo = m.localize.mymyLoadString(44);

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
    if (form.backup) {
        const console::PickedFolder picked = console::pickBackupFolder(m.ns, a.backupDir);
        if (!picked.error.empty()) {
            std::cerr << "levora-level: " << picked.error << "\n";
            return picked.exitCode;
        }
        form.backupTarget = picked.folder;
    }
    form.saveToRegistry = !a.noRegistry;

    console::writeSettings(std::cout, root, form);

    // The record of earlier runs, and the files this run levels.
    const std::string options = console::recordOptions(form);
    const fs::path statePath = root / LevelState::kFileName;
    const bool keepRecord = a.changedOnly || !a.report.empty();
    LevelState state = keepRecord ? LevelState::load(statePath) : LevelState{};
    std::vector<console::TickedFile> files = console::tickedFiles(form, m.ns);
    const size_t listed = files.size();
    if (state.damaged())
        std::cout << "Record:   " << statePath.string() << " is damaged: every file counts as changed" << std::endl;
    if (a.changedOnly) {
        console::untickUnchanged(form, files, state, options);
        files = console::tickedFiles(form, m.ns);
        std::cout << "Changed:  " << files.size() << " of " << listed << " files since the last run" << std::endl;
        if (files.empty()) {
            std::cout << "Nothing changed since the last run: nothing to level." << std::endl;
            return 0;
        }
    }
    std::vector<FileLevel> before;
    if (!a.report.empty())
        for (const console::TickedFile& f : files)
            before.push_back(f.host.empty() ? FileLevel{} : measureFileLevel(f.host));

    RunContext context = m.runContext(form);
    console::RowTimes rowTimes;
    if (!a.rowTimes.empty())
        form.onProgress = [&](int value) { rowTimes.stamp(value); };

    LevelingRun run(context);
    const RunOutcome outcome = run.cmdSetdB_Click();
    rowTimes.end();
    form.setProgressVisible(false);

    if (!a.rowTimes.empty() && !rowTimes.write(a.rowTimes, form))
        std::cerr << "levora-level: cannot write " << a.rowTimes << "\n";

    if (m.runLock.refusals() > 0) {
        std::cerr << "levora-level: another Levora run is working on the machine at " << root.string()
                  << "; nothing was changed. Try again when it has finished.\n";
        return kExitMachineBusy;
    }
    if (msgbox.declined() > 0) {
        std::cerr << "levora-level: the backup folder " << form.backupTarget
                  << " already holds a backup; it was kept and nothing was levelled. Give --overwrite-backup to "
                     "replace it.\n";
        return 1;
    }
    if (!outcome.reachedEnd) {
        std::cout << "The run ended before the leveling (see the messages above)." << std::endl;
        return 1;
    }
    console::writeRunSummary(std::cout, m.ns, outcome);

    int status = 0;
    const fs::path runLog = m.ns.toHost(kRunLogPath);
    if (!a.report.empty()) {
        LevelOptions shown;
        shown.target = NumberOfText(form.cmbTargetDB());
        shown.minimum = NumberOfText(form.cmbMindBLevel());
        shown.maxChange = NumberOfText(form.cmbGainThreshold());
        LevelReport report = console::reportOfRun(files, before, runLog, shown);
        report.machine = root.string();
        const std::time_t now = std::time(nullptr);
        std::tm local{};
        char when[32] = "";
        if (localtime_r(&now, &local))
            std::strftime(when, sizeof when, "%Y-%m-%d %H:%M", &local);
        report.when = when;
        if (!outcome.logWritten)
            report.notes.push_back("The run log could not be written in full: what happened to a file may be "
                                   "missing");
        if (a.changedOnly && listed > files.size())
            report.notes.push_back(std::to_string(listed - files.size()) +
                                   " files unchanged since the last run are not in this report");
        try {
            writeReport(a.report, report);
            std::cout << "Report:   " << a.report << std::endl;
        } catch (const Error& e) {
            std::cerr << "levora-level: cannot write the report " << a.report << ": " << e.description() << "\n";
            status = 1;
        }
    }
    if (keepRecord) {
        console::recordRun(state, files, runLog, options);
        try {
            state.save(statePath);
        } catch (const std::exception& e) {
            std::cerr << "levora-level: cannot write " << statePath.string() << ": " << e.what() << "\n";
            status = 1;
        }
    }
    return status;
}
