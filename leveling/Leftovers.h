// What a killed run leaves behind: its temporary files beside the files it was replacing.
#pragma once

#include "platform/FileSystem.h"

#include <string>
#include <vector>

namespace levora {

struct LeftoverFolder {
    std::string path;
    bool withSubFolders;
};

// Deletes the temporary files of our own naming pattern (and nothing else) in these folders, and in
// a folder swept without its sub-folders (drive C's root) what a killed gain tool left beside its
// scratch file. Missing folders and files that cannot be deleted are passed over in silence. Only
// call it while holding the machine's run lock: the temporary files of a live run look the same.
// Returns the files it deleted.
std::vector<std::string> RemoveLeftovers(IFileSystem& fs, const std::vector<LeftoverFolder>& folders);

// The folders a run, a restore or a prompt leveling writes to, below the host root R ("Root Path")
// and the backup folder T (empty: none).
std::vector<LeftoverFolder> RunFolders(const std::string& root, const std::string& backupTarget);
std::vector<LeftoverFolder> PromptFolders(const std::string& root);

} // namespace levora
