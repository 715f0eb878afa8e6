#include "ui/HelpPage.h"

#include "platform/Text.h"

#include <algorithm>

namespace levora {

std::string HelpPageLocation(modLocalize& loc, IFileSystem& fs, const AppInfo& app) {
    const std::string code = trim(loc.strGetLanguageCode(loc.CurrentLanguageID), " ");
    const std::string languagePage = app.programFolder + "\\" + app.exeBaseName + "_" + code + ".htm";
    if (fs.FileExists(languagePage))
        return languagePage;
    return "file://" + app.programFolder + "\\" + app.exeBaseName + ".htm";
}

std::filesystem::path HelpLocationToHost(const std::string& location, IFileSystem& fs) {
    std::string path = location;
    if (startsWithNoCase(path, "file://")) {
        path.erase(0, 7);
        // "file:///C:/x" carries one slash more before the drive than "file://C:\x".
        if (path.size() >= 3 && (path[0] == '/' || path[0] == '\\') && path[2] == ':')
            path.erase(0, 1);
    }
    return fs.HostPath(path);
}

HelpLayout HelpResize(int outerWidth, int outerHeight) {
    HelpLayout l{};
    l.outerWidth = std::max(outerWidth, kHelpMinWidth);
    l.outerHeight = std::max(outerHeight, kHelpMinHeight);
    l.browser = {100, 1, l.outerWidth - 200, l.outerHeight - 400};
    return l;
}

} // namespace levora
