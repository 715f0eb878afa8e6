#include "ui/HelpPage.h"

#include <algorithm>

namespace levora {

namespace {

std::string trimBlanks(const std::string& s) {
    size_t b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(' ');
    return s.substr(b, e - b + 1);
}

bool startsWithNoCase(const std::string& s, const std::string& prefix) {
    if (s.size() < prefix.size())
        return false;
    return std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(a) == lower(b);
    });
}

} // namespace

std::string HelpPageLocation(modLocalize& loc, IFileSystem& fs, const AppInfo& app) {
    const std::string code = trimBlanks(loc.strGetLanguageCode(loc.CurrentLanguageID));
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
