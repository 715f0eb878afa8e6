// The copy of the host's greetings and voice names into a backup folder before a leveling run.
#pragma once

#include "leveling/RunContext.h"
#include "platform/Error.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace levora {

class GreetingBackup {
public:
    explicit GreetingBackup(RunContext& ctx) : m_ctx(ctx) {}

    // root: the host's "Root Path" (ends with a backslash); target: txtBackupTarget as typed.
    // Writes target + "Stream Files" (the whole stream-files tree) and target + "DefaultConfiguration"
    // (the WAV files of the default configuration, with every sub-folder). Returns whether the run may
    // go on: false after a refusal, an empty target, a backup folder among the host's folders or a
    // failure (already reported to the user). Files whose names differ only in case are left out.
    bool BackupOriginals(const std::string& root, const std::string& target);

private:
    bool ensureTargetFolder(const std::string& target);
    bool holdsTwins(const std::string& folder, int depth);
    void copyTree(const std::string& source, const std::string& destination, int depth, bool wavOnly);

    RunContext& m_ctx;
};

// True when a file name ends in ".WAV" in any letter case.
bool bIsWavFileName(const std::string& name);

// Why the backup may not go to target (txtBackupTarget as typed): the folder it writes into is, holds
// or lies inside a folder the run reads or changes (the host root, Stream Files, the default
// configuration, the prompts), compared on the host after resolving drives, letter case, "..",
// trailing dots and blanks, and links. nullopt when it may; always when the root is not known.
std::optional<Error> BackupFolderConflict(IFileSystem& fs, const std::string& root, const std::string& target);

// Names in one folder that differ only in letter case: neither is backed up nor levelled, as the
// host, on Windows, could never hold both and one would end up over the other.
class CaseTwins {
public:
    explicit CaseTwins(IFileSystem& fs) : m_fs(fs) {}
    // The other names of the file's folder that differ from its name only in case (empty: none).
    // Each folder is listed once.
    std::vector<std::string> twinsOf(const std::string& file);
    // "(a) and (b) in (folder) differ only in letter case: ..." as error CaseClash.
    static Error refusal(const std::string& file, const std::vector<std::string>& twins);
    // The twins among names, grouped by their upper-case form.
    static std::map<std::string, std::vector<std::string>> find(const std::vector<std::string>& names);

private:
    IFileSystem& m_fs;
    std::map<std::string, std::map<std::string, std::vector<std::string>>> m_folders;
};

} // namespace levora
