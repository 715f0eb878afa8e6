#include "app/modDirectorySelect.h"

namespace levora {

std::string modDirectorySelect::strBrowseForFolder(IFolderDialog& dialog, const PathNamespace& ns) {
    const std::string host = dialog.ChooseFolder();
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
