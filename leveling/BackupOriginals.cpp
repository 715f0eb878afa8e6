#include "leveling/BackupOriginals.h"

#include "platform/WinPath.h"

namespace levora {

namespace {

constexpr const char* kStreamFiles = "Stream Files";
constexpr const char* kDefaultConfiguration = "DefaultConfiguration";
constexpr const char* kLiveDefaultConfiguration = "Localize\\DefaultConfiguration";
// Deeper than any real host tree; stops a folder link that points back up from recursing for ever.
constexpr int kMaxDepth = 64;

} // namespace

bool bIsWavFileName(const std::string& name) {
    return name.size() >= 4 && equalsNoCase(name.substr(name.size() - 4), ".WAV");
}

bool GreetingBackup::BackupOriginals(const std::string& root, const std::string& target) {
    ISplash& splash = m_ctx.view.splash();
    try {
        if (target.empty()) {
            m_ctx.msgbox.MsgBox(m_ctx.loadString(25), vbOKOnly);
            return false;
        }
        if (!ensureTargetFolder(target))
            return false;
        if (m_ctx.fs.FolderExists(target + kStreamFiles)) {
            if (m_ctx.msgbox.MsgBox(m_ctx.loadString(44), vbYesNo, m_ctx.loadString(31)) != vbYes)
                return false;
            m_ctx.fs.DeleteFolder(target + kStreamFiles, true);
            if (m_ctx.fs.FolderExists(target + kDefaultConfiguration))
                m_ctx.fs.DeleteFolder(target + kDefaultConfiguration, true);
        }
        // A prompt leveling may have left a file name in the label.
        splash.setLabel(m_ctx.loadString(12));
        splash.showOverMain();
        m_ctx.fs.CopyFolder(root + kStreamFiles, target + kStreamFiles, true);
        m_ctx.fs.CreateFolder(target + kDefaultConfiguration);
        // Copied here and now, not by a program left running: the run levels WAV files of the default
        // configuration too, and the backup must hold them as they were.
        copyWavTree(root + kLiveDefaultConfiguration, target + kDefaultConfiguration, 0);
        splash.hide();
        return true;
    } catch (...) {
        Error e = toError(std::current_exception());
        m_ctx.msgbox.MsgBox(m_ctx.loadString(14) + e.description(), vbOKOnly);
        m_ctx.msgbox.MsgBox(m_ctx.loadString(5), vbOKOnly);
        try {
            splash.hide();
        } catch (...) {
        }
        return false;
    }
}

// A typed folder that is not there yet is made when its parent is; T without a trailing backslash
// is only the start of the two folder names and is not made. False after saying why it could not be.
bool GreetingBackup::ensureTargetFolder(const std::string& target) {
    if (target.back() != '\\' && target.back() != '/')
        return true;
    const std::string folder = target.substr(0, target.size() - 1);
    if (folder.empty() || folder.back() == ':' || m_ctx.fs.FolderExists(folder))
        return true;
    try {
        m_ctx.fs.CreateFolder(folder);
        return true;
    } catch (...) {
        const Error cause = toError(std::current_exception());
        const Error e(err::NoBackupFolder, "The backup folder " + target + " does not exist and cannot be created (" +
                                               cause.description() + ").");
        m_ctx.msgbox.MsgBox(m_ctx.loadString(14) + e.description(), vbOKOnly);
        return false;
    }
}

// Every *.WAV file below source, with every sub-folder (empty ones included), as XCOPY /s /e would.
// A host without a default-configuration folder has nothing there to back up.
void GreetingBackup::copyWavTree(const std::string& source, const std::string& destination, int depth) {
    if (depth > kMaxDepth || !m_ctx.fs.FolderExists(source))
        return;
    for (const std::string& sub : m_ctx.fs.SubFolderNames(source)) {
        const std::string to = destination + "\\" + sub;
        if (!m_ctx.fs.FolderExists(to))
            m_ctx.fs.CreateFolder(to);
        copyWavTree(source + "\\" + sub, to, depth + 1);
    }
    for (const std::string& name : m_ctx.fs.FileNames(source))
        if (bIsWavFileName(name))
            m_ctx.fs.CopyFile(source + "\\" + name, destination + "\\" + name, true);
}

} // namespace levora
