#include "app/modDirectorySelect.h"

#include <filesystem>

namespace levora {

namespace {

// The host folder of a Windows path when it exists; empty otherwise.
std::string existingFolder(const PathNamespace& ns, const std::string& winPath) {
    if (winPath.empty())
        return {};
    try {
        const std::filesystem::path host = ns.toHost(winPath);
        std::error_code ec;
        return std::filesystem::is_directory(host, ec) ? host.string() : std::string();
    } catch (...) {
        return {}; // unknown drive, ambiguous name
    }
}

} // namespace

FolderBrowse modDirectorySelect::browseFrom(const std::string& current, const PathNamespace& ns) {
    FolderBrowse where;
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        const std::string drive{letter, ':'};
        const std::string folder = existingFolder(ns, drive + "\\");
        if (!folder.empty())
            where.places.push_back({drive, folder});
    }
    where.start = existingFolder(ns, current);
    if (where.start.empty())
        where.start = existingFolder(ns, "C:\\");
    return where;
}

std::string modDirectorySelect::strBrowseForFolder(IFolderDialog& dialog, const PathNamespace& ns,
                                                   const std::string& current) {
    const std::string host = dialog.ChooseFolder(browseFrom(current, ns));
    if (host.empty())
        return {};
    std::string win = ns.toWindows(host);
    // Only a drive root keeps its backslash, as the shell reports folders.
    while (win.size() > 3 && win.back() == '\\')
        win.pop_back();
    return win;
}

std::string BackupTargetFromBrowse(const std::string& current, const std::string& chosen) {
    if (chosen.empty())
        return current;
    return chosen.back() == '\\' ? chosen : chosen + "\\";
}

std::string BackupTargetOnFocusOut(const std::string& text) {
    if (text.empty() || text.back() == '\\')
        return text;
    return text + "\\";
}

} // namespace levora
