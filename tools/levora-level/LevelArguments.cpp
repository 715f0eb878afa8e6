#include "LevelArguments.h"

#include "levels/LevelReport.h"
#include "platform/Version.h"

#include <filesystem>
#include <iostream>
#include <thread>

namespace fs = std::filesystem;

namespace levora::console {

int defaultJobs() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores < 1 ? 1 : cores > static_cast<unsigned>(kMaxJobs) ? kMaxJobs : static_cast<int>(cores);
}

const char* const kDescription =
    "Levels every greeting and voice name of the Talvio host, as the \"Levora Level\" button of "
    "Levora's window does, with the host's AGC defaults as options. Message boxes are printed "
    "and answered with OK or Yes (the question whether to overwrite an earlier backup with No, "
    "unless --overwrite-backup is given); the run log is c:\\Levora.log of the machine prefix.";

void defineArguments(CLI::App& cli, Arguments& a) {
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
    cli.add_flag("--allow-network-drive", a.allowNetworkDrive,
                 "Level even where a folder the run writes lies on a FUSE, SMB/CIFS or NFS mount (refused "
                 "otherwise: attach a real host with levora-host attach instead)");
    cli.add_option("--jobs", a.jobs,
                   "Run up to N gain tools at once (1 to " + std::to_string(kMaxJobs) +
                       "; default: the number of cores, here " + std::to_string(defaultJobs()) +
                       "). The log lists the files in the grid's order and the files come out the same for any N; "
                       "the scratch files are c:\\mytempwavfile774.WAV, then c:\\mytempwavfile774-2.WAV and so on")
        ->option_text("N");
    cli.footer(
        "Exit status: 0 when the run reached its end (its log, c:\\Levora.log, lists anything that could "
        "not be done) or, with --changed-only, nothing had changed; 1 when the start-up or the run stopped "
        "before leveling (an earlier backup kept, ...), or the report or the record could not be written; 2 "
        "for a wrong argument; 3 when another Levora run, prompt leveling or restore was working on the same "
        "machine (nothing was changed; try again when it has finished); 4 when SIGINT or SIGTERM stopped the run after "
        "the files being levelled then (the log says so, the host was synchronised); 5 when a second signal "
        "ended it at once (no file is torn, but the host may need a synchronisation: run again).");
    cli.set_version_flag("--version", std::string("levora-level ") + levora::kVersionText,
                         "Show the program's version");
}

int checkArguments(const Arguments& a) {
    if (a.jobs < 1 || a.jobs > kMaxJobs) {
        std::cerr << "levora-level: --jobs " << a.jobs << ": give 1 to " << kMaxJobs << " files at once\n";
        return 2;
    }
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

    return 0;
}

} // namespace levora::console
