#include "leveling/Leftovers.h"

#include "platform/Error.h"
#include "platform/ReplaceFile.h"

namespace levora {

namespace {

// Deeper than any host tree; stops a folder link that points back up.
constexpr int kMaxDepth = 64;
// The run log and the gain tool's temporary file lie in the root of drive C.
constexpr const char* kDriveC = "c:\\";

void sweep(IFileSystem& fs, const std::string& folder, bool withSubFolders, int depth) {
    const std::string base = !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
    try {
        for (const std::string& name : fs.FileNames(base))
            if (isTempBesideName(name)) {
                try {
                    fs.DeleteFile(base + name, true);
                } catch (const Error&) {
                }
            }
        if (withSubFolders && depth < kMaxDepth)
            for (const std::string& sub : fs.SubFolderNames(base))
                sweep(fs, base + sub, true, depth + 1);
    } catch (...) {
    }
}

} // namespace

void RemoveLeftovers(IFileSystem& fs, const std::vector<LeftoverFolder>& folders) {
    for (const LeftoverFolder& f : folders)
        if (!f.path.empty())
            sweep(fs, f.path, f.withSubFolders, 0);
}

std::vector<LeftoverFolder> RunFolders(const std::string& root, const std::string& backupTarget) {
    std::vector<LeftoverFolder> folders{{kDriveC, false}};
    if (!root.empty()) {
        folders.push_back({root + "Stream Files", true});
        folders.push_back({root + "Localize\\DefaultConfiguration", true});
    }
    if (!backupTarget.empty()) {
        folders.push_back({backupTarget + "Stream Files", true});
        folders.push_back({backupTarget + "DefaultConfiguration", true});
    }
    return folders;
}

std::vector<LeftoverFolder> PromptFolders(const std::string& root) {
    std::vector<LeftoverFolder> folders{{kDriveC, false}};
    if (!root.empty())
        folders.push_back({root + "localize\\prompts", true});
    return folders;
}

} // namespace levora
