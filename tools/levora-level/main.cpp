// levora-level: the greeting leveling run of Levora's main window, from a command line. The same
// start-up (host release, AGC defaults, file list) and the same run (registry save, backup, gain
// tool per file, run log, synchronisation) over the same machine; the window's controls are held
// in memory, message boxes are printed and answered with OK or Yes.
#include "ConsoleFront.h"
#include "ConsoleLevels.h"
#include "ConsoleReport.h"
#include "LevelArguments.h"
#include "StopSignals.h"

#include "app/Machine.h"
#include "app/OptionFields.h"
#include "leveling/LevelingRun.h"

#include <CLI/CLI.hpp>

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

// Exit status when another leveling run, prompt leveling or restore works on the machine.
constexpr int kExitMachineBusy = 3;

} // namespace

using namespace levora::console;

int main(int argc, char** argv) {
    CLI::App cli{kDescription, "levora-level"};
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

    console::NightlyLevels levels(root, a.report, a.changedOnly);
    if (!levels.beforeRun(form, m.ns, std::cout))
        return 0;

    RunContext context = m.runContext(form);
    console::RowTimes rowTimes;
    if (!a.rowTimes.empty())
        form.onProgress = [&](int value) { rowTimes.stamp(value); };

    LevelingRun run(context);
    run.setJobs(a.jobs);
    std::optional<console::StopSignals> signals(std::in_place, [&run] { run.requestStop(); });
    const RunOutcome outcome = run.cmdSetdB_Click();
    signals.reset();
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
                     "delete its \"Stream Files\" and \"DefaultConfiguration\" folders and back up the host's "
                     "greetings there anew.\n";
        return 1;
    }
    if (!outcome.reachedEnd) {
        std::cout << "The run ended before the leveling (see the messages above)." << std::endl;
        return 1;
    }
    console::writeRunSummary(std::cout, m.ns, outcome);

    const int status = levels.afterRun(form, outcome, m.ns.toHost(kRunLogPath), std::cout, std::cerr);
    return status == 0 && outcome.stopped ? console::kExitStopped : status;
}
