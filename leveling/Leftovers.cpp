#include "leveling/Leftovers.h"

#include "leveling/LevelFile.h"
#include "platform/Error.h"
#include "platform/ReplaceFile.h"
#include "platform/WinPath.h"

#include <cctype>
#include <cstring>

namespace levora {

namespace {

// Deeper than any host tree; stops a folder link that points back up.
constexpr int kMaxDepth = 64;
// The run log and the gain tool's temporary file lie in the root of drive C.
constexpr const char* kDriveC = "c:\\";

// What the gain tool leaves beside a scratch file when it is killed while writing it:
// ".mytempwavfile774[-N].WAV.gainfix-" and six letters or digits.
bool isToolLeftover(const std::string& name) {
    constexpr const char* kScratch = ".mytempwavfile774";
    constexpr const char* kTool = ".gainfix-";
    constexpr size_t kRandom = 6;
    const size_t scratch = std::strlen(kScratch), tool = std::strlen(kTool);
    if (name.size() < scratch + tool + kRandom || !equalsNoCase(name.substr(0, scratch), kScratch))
        return false;
    const size_t tail = name.size() - kRandom;
    for (size_t i = tail; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    return name.compare(tail - tool, tool, kTool) == 0;
}

void sweep(IFileSystem& fs, const std::string& folder, bool withSubFolders, int depth,
           std::vector<std::string>& removed) {
    const std::string base = !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
    try {
        for (const std::string& name : fs.FileNames(base))
            if (isTempBesideName(name) || (depth == 0 && !withSubFolders && isToolLeftover(name))) {
                try {
                    fs.DeleteFile(base + name, true);
                    removed.push_back(base + name);
                } catch (const Error&) {
                }
            }
        if (withSubFolders && depth < kMaxDepth)
            for (const std::string& sub : fs.SubFolderNames(base))
                sweep(fs, base + sub, true, depth + 1, removed);
    } catch (...) {
    }
}

} // namespace

std::vector<std::string> RemoveLeftovers(IFileSystem& fs, const std::vector<LeftoverFolder>& folders) {
    std::vector<std::string> removed;
    for (const LeftoverFolder& f : folders)
        if (!f.path.empty())
            sweep(fs, f.path, f.withSubFolders, 0, removed);
    return removed;
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
