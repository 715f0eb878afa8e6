// levora-level: the greeting leveling run of Levora's main window, from a command line. The same
// start-up (host release, AGC defaults, file list) and the same run (registry save, backup, gain
// tool per file, run log, synchronisation) over the same machine; the window's controls are held
// in memory, message boxes are printed and answered with OK or Yes.
#include "ConsoleFront.h"
#include "ConsoleLevels.h"
#include "ConsoleReport.h"
#include "LevelArguments.h"

#include "app/Machine.h"
#include "app/OptionFields.h"
#include "leveling/LevelingRun.h"
#include "platform/StopSignals.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace levora;
using namespace levora::console;

int main(int argc, char** argv) {
    const auto began = std::chrono::steady_clock::now();
    CLI::App cli{wrapWords(kDescription, 79), "levora-level"};
    Arguments a;
    defineArguments(cli, a);
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end with 0; anything CLI11 refuses is a wrong argument, as the help says.
        const int status = cli.exit(e);
        return status == 0 ? 0 : 2;
    }

    if (const int wrong = checkArguments(a))
        return wrong;

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
    // The run offers its log in a viewer; a console has none.
    Machine m(root, std::vector<std::string>(argv + 1, argv + argc), msgbox, pump,
              [](IProcesses& real) { return std::make_unique<console::NoViewerProcesses>(real, nullptr); });

    bool ended = false;
    StartUpServices start = m.startUp(form, [&] {
        ended = true;
        m.log.CloseLog();
    });
    if (frmMain_Load(start) == LoadResult::Ended || ended)
        return kExitNotLevelled;

    if (a.target) {
        const std::string text = OptionEntryText(kTargetDBList, *a.target);
        if (!form.field(OptionFieldId::TargetDB).selectText(text)) {
            std::cerr << "levora-level: --target " << *a.target << " is not an entry of the target list\n";
            return kExitWrongArgument;
        }
        // What the window does when the focus leaves the field.
        bool cancel = false;
        cmbTargetDB_Validate(form, m.version, cancel);
    }
    form.backup = !a.noBackup;
    if (form.backup) {
        const console::PickedFolder picked =
            console::pickBackupFolder(m.ns, a.backupDir, m.fs, readHostRoot(m.registryApi));
        if (!picked.error.empty()) {
            std::cerr << "levora-level: " << picked.error << "\n";
            return picked.exitCode;
        }
        form.backupTarget = picked.folder;
    }
    form.saveToRegistry = !a.noRegistry;

    console::writeSettings(std::cout, root, form);

    console::NightlyLevels levels(m.fs, root, a.report, a.changedOnly);
    if (!levels.beforeRun(form, m.ns, std::cout))
        return 0;
    m.gain.setToolTimeoutMs(static_cast<uint32_t>(a.toolTimeout) * 1000u);

    RunContext context = m.runContext(form);
    console::RowTimes rowTimes;
    if (!a.rowTimes.empty())
        form.onProgress = [&](int value) { rowTimes.stamp(value); };

    LevelingRun run(context);
    run.setJobs(a.jobs);
    std::optional<StopSignals> signals(
        std::in_place, [&run] { run.requestStop(); }, console::kExitKilled);
    // An earlier backup holds the only originals a rerun after a broken run still has.
    run.setMayReplaceBackup([&] { return a.overwriteBackup; });
    run.setFileObserver([&](const FileOutcome& f) { levels.fileDone(f); });
    run.setReplacedObserver([&](const std::string& path) { levels.fileReplaced(path); });
    run.setEndObserver([&](const RunOutcome&) { levels.runEnded(); });
    const RunOutcome outcome = run.cmdSetdB_Click();
    signals.reset();
    rowTimes.end();
    form.setProgressVisible(false);

    if (!a.rowTimes.empty() && !rowTimes.write(a.rowTimes, form))
        std::cerr << "levora-level: cannot write " << a.rowTimes << "\n";

    const int status = exitStatusOf(outcome);
    switch (outcome.end) {
    case RunEnd::Refused:
        std::cerr << "levora-level: another Levora run is working on the machine at " << root.string()
                  << "; nothing was changed. Try again when it has finished.\n";
        return status;
    case RunEnd::BackupKept:
        std::cerr << "levora-level: the backup folder " << form.backupTarget
                  << " already holds a backup; it was kept and nothing was levelled. Give --overwrite-backup to "
                     "delete its \"Stream Files\" and \"DefaultConfiguration\" folders and back up the host's "
                     "greetings there anew.\n";
        return status;
    case RunEnd::LockFailed:
    case RunEnd::NothingTicked:
    case RunEnd::BackupFailed:
        std::cout << "The run ended before the leveling (see the messages above)." << std::endl;
        return status;
    case RunEnd::Completed:
    case RunEnd::StoppedByUser:
    case RunEnd::StoppedByTimeouts:
        break;
    }
    console::writeRunSummary(std::cout, m.ns, outcome, std::chrono::steady_clock::now() - began);
    const int written = levels.afterRun(form, outcome, std::cout, std::cerr);
    return status == 0 || (written != 0 && status == kExitFilesFailed) ? written : status;
}
