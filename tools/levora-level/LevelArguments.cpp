#include "LevelArguments.h"

#include "levels/LevelReport.h"
#include "platform/Version.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace levora::console {

namespace {

// The help's descriptions start at this column; lines end before column 80.
constexpr std::size_t kHelpColumn = 30;
constexpr std::size_t kHelpWidth = 79;

std::string described(const std::string& text) {
    return wrapWords(text, kHelpWidth - kHelpColumn);
}

// Whether a file can be made in the folder: tried with a probe file, removed at once.
bool writableFolder(const fs::path& folder) {
    std::random_device random;
    const fs::path probe = folder / (".levora-probe-" + std::to_string(random()));
    const bool made = static_cast<bool>(std::ofstream(probe, std::ios::out | std::ios::app));
    std::error_code ec;
    fs::remove(probe, ec);
    return made;
}

} // namespace

std::string wrapWords(const std::string& text, std::size_t width) {
    std::istringstream words(text);
    std::string out, word;
    std::size_t line = 0;
    while (words >> word) {
        if (line > 0 && line + 1 + word.size() > width) {
            out += '\n';
            line = 0;
        } else if (line > 0) {
            out += ' ';
            ++line;
        }
        out += word;
        line += word.size();
    }
    return out;
}

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
    cli.get_formatter()->column_width(kHelpColumn);
    cli.add_option("--prefix", a.prefix, described("The machine prefix (default: $LEVORA_PREFIX, else ~/.levora)"));
    cli.add_option("--target", a.target, described("Target level in dB, -35 to 0 (default: the host's AGC default)"))
        ->check(CLI::Range(-35, 0));
    auto* noBackup =
        cli.add_flag("--no-backup", a.noBackup, described("Do not copy the greetings to a backup folder first"));
    cli.add_option("--backup-dir", a.backupDir,
                   described("The backup folder, a Windows path of the prefix (C:\\Backup)"))
        ->excludes(noBackup);
    cli.add_flag("--overwrite-backup", a.overwriteBackup,
                 described("Replace a backup already in the backup folder (without it the question is answered No, "
                           "the backup is kept and nothing is levelled)"))
        ->excludes(noBackup);
    cli.add_flag("--no-registry", a.noRegistry, described("Do not save the options as the host's AGC defaults"));
    cli.add_option("--row-times", a.rowTimes,
                   described("Write how long each row of the file loop took (milliseconds, tab, file) to this host "
                             "file, and the synchronisation's time as a last row named \"(sync)\""));
    cli.add_option("--report", a.report,
                   described("Measure every file to level before and after the run and write a level report to "
                             "this host file: CSV (.csv) or one HTML page (.html)"));
    cli.add_flag("--changed-only", a.changedOnly,
                 described("Level only the files that changed since Levora last levelled or measured them at the "
                           "same options (the record is levora-state.tsv in the machine prefix); a file the "
                           "record does not know is left alone when it is already at the target"));
    cli.add_flag("--allow-network-drive", a.allowNetworkDrive,
                 described("Level even where a folder the run writes lies on a FUSE, SMB/CIFS or NFS mount "
                           "(refused otherwise: attach a real host with levora-host attach instead)"));
    cli.add_option("--jobs", a.jobs,
                   described("Run up to N gain tools at once (1 to " + std::to_string(kMaxJobs) +
                             "; default: the number of cores, here " + std::to_string(defaultJobs()) +
                             "). The log lists the files in the grid's order and the files come out the same for "
                             "any N; the scratch files are c:\\mytempwavfile774.WAV, then "
                             "c:\\mytempwavfile774-2.WAV and so on"))
        ->option_text("N");
    cli.add_option("--tool-timeout", a.toolTimeout,
                   described("Stop a gain tool that has not finished a file after SECONDS (1 to 86400; default " +
                             std::to_string(kDefaultToolTimeout) +
                             "). After three time-outs in a row the run stops leveling, keeps what it did and "
                             "still synchronises the host"))
        ->check(CLI::Range(1, 86400))
        ->option_text("SECONDS");
    cli.footer(wrapWords("Exit status: 0 when the run reached its end and levelled every recording (its log, "
                         "c:\\Levora.log, lists anything else that could not be done) or, with --changed-only, "
                         "nothing had changed; 1 when the start-up or the run stopped before leveling (an earlier "
                         "backup kept, ...), or the report or the record could not be written; 2 for a wrong "
                         "argument; 3 when another Levora run, prompt leveling or restore was working on the same "
                         "machine (nothing was changed; try again when it has finished); 4 when the run reached its "
                         "end but a recording could not be levelled (a file the gain tool refuses as no recording "
                         "at all, such as the host's index file, does not count), or it stopped after the gain tool "
                         "ran out of time on three files in a row; 5 when the run was asked to stop (the files being "
                         "levelled then were finished and the host synchronised).",
                         kHelpWidth));
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
    // Found out now, not after a run of an hour.
    if (!a.report.empty() && !writableFolder(fs::absolute(a.report).parent_path())) {
        std::cerr << "levora-level: --report " << a.report << ": the report's folder cannot be written to\n";
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
