#include "leveling/BackupOriginals.h"

#include "platform/WinPath.h"

#include <filesystem>

namespace levora {

namespace {

constexpr const char* kStreamFiles = "Stream Files";
constexpr const char* kDefaultConfiguration = "DefaultConfiguration";
constexpr const char* kLiveDefaultConfiguration = "Localize\\DefaultConfiguration";
constexpr const char* kPrompts = "localize\\prompts";
// Deeper than any real host tree; stops a folder link that points back up from recursing for ever.
constexpr int kMaxDepth = 64;

// A Windows path as Windows reads it: either slash, "." and ".." applied, trailing dots and blanks
// of a name dropped ("C:\Talvio.\" is "C:\Talvio\").
std::string normalWindowsPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    auto flush = [&] {
        if (part != "." && part != "..")
            while (!part.empty() && (part.back() == '.' || part.back() == ' '))
                part.pop_back();
        if (part == "..") {
            if (parts.size() > 1)
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        part.clear();
    };
    for (char c : path) {
        if (c == '\\' || c == '/')
            flush();
        else
            part += c;
    }
    flush();
    std::string out;
    for (const std::string& p : parts)
        out += (out.empty() ? "" : "\\") + p;
    return parts.size() == 1 ? out + "\\" : out;
}

// The real host folder a Windows path stands for: links resolved as far as the path exists.
std::optional<std::filesystem::path> realFolder(IFileSystem& fs, const std::string& winPath) {
    try {
        std::error_code ec;
        const std::filesystem::path real =
            std::filesystem::weakly_canonical(fs.HostPath(normalWindowsPath(winPath)), ec);
        if (!ec)
            return real;
    } catch (const Error&) {
    }
    return std::nullopt;
}

// inner is outer or lies inside it; names compared without regard to case, as Windows compares them.
bool within(const std::filesystem::path& inner, const std::filesystem::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
        if (o->empty())
            continue; // a trailing separator
        if (i == inner.end() || !equalsNoCase(i->string(), o->string()))
            return false;
    }
    return true;
}

std::string folderOf(const std::string& file) {
    const size_t slash = file.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

std::string nameOf(const std::string& file) {
    const size_t slash = file.find_last_of("\\/");
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

} // namespace

bool bIsWavFileName(const std::string& name) {
    return name.size() >= 4 && equalsNoCase(name.substr(name.size() - 4), ".WAV");
}

std::optional<Error> BackupFolderConflict(IFileSystem& fs, const std::string& root, const std::string& target) {
    if (root.empty() || target.empty())
        return std::nullopt;
    const std::vector<std::string> live{root, root + kStreamFiles, root + kLiveDefaultConfiguration, root + kPrompts};
    // The two folders the backup makes, and the folder it makes them in (a target without a trailing
    // backslash only begins their names).
    const bool inFolder = target.back() == '\\' || target.back() == '/';
    for (const std::string& backup :
         {inFolder ? target : std::string(), target + kStreamFiles, target + std::string(kDefaultConfiguration)}) {
        const auto b = backup.empty() ? std::nullopt : realFolder(fs, backup);
        if (!b)
            continue;
        for (const std::string& folder : live) {
            const auto f = realFolder(fs, folder);
            if (f && (within(*b, *f) || within(*f, *b)))
                return Error(err::BackupInsideHost,
                             "The backup folder " + target + " is, holds or lies inside " + folder +
                                 ", which the run reads or changes; backing up there would destroy the greetings "
                                 "it is meant to keep. Choose a folder outside the host's folders.");
        }
    }
    return std::nullopt;
}

std::map<std::string, std::vector<std::string>> CaseTwins::find(const std::vector<std::string>& names) {
    std::map<std::string, std::vector<std::string>> groups;
    for (const std::string& name : names)
        groups[upperForm(name)].push_back(name);
    std::erase_if(groups, [](const auto& g) { return g.second.size() < 2; });
    return groups;
}

std::vector<std::string> CaseTwins::twinsOf(const std::string& file) {
    const std::string folder = folderOf(file);
    auto it = m_folders.find(folder);
    if (it == m_folders.end()) {
        std::map<std::string, std::vector<std::string>> groups;
        try {
            groups = find(m_fs.FileNames(folder.empty() ? std::string(".") : folder));
        } catch (const Error&) {
        }
        it = m_folders.emplace(folder, std::move(groups)).first;
    }
    const std::string name = nameOf(file);
    const auto group = it->second.find(upperForm(name));
    if (group == it->second.end())
        return {};
    std::vector<std::string> others;
    for (const std::string& n : group->second)
        if (n != name)
            others.push_back(n);
    // A name spelled in neither twin's case still stands for both.
    return others.size() == group->second.size() ? group->second : others;
}

Error CaseTwins::refusal(const std::string& file, const std::vector<std::string>& twins) {
    std::string names = nameOf(file);
    for (const std::string& t : twins)
        names += " and " + t;
    return Error(err::CaseClash, names + " in " + folderOf(file) +
                                     " differ only in letter case; neither is backed up or levelled, so that "
                                     "one never replaces the other.");
}

bool GreetingBackup::BackupOriginals(const std::string& root, const std::string& target) {
    ISplash& splash = m_ctx.view.splash();
    try {
        if (target.empty()) {
            m_ctx.msgbox.MsgBox(m_ctx.loadString(25), vbOKOnly);
            return false;
        }
        if (const auto conflict = BackupFolderConflict(m_ctx.fs, root, target)) {
            m_ctx.msgbox.MsgBox(m_ctx.loadString(60) + "\n\n" + conflict->description(), vbOKOnly);
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
        if (holdsTwins(root + kStreamFiles, 0)) {
            m_ctx.fs.CreateFolder(target + kStreamFiles);
            copyTree(root + kStreamFiles, target + kStreamFiles, 0, false);
        } else {
            m_ctx.fs.CopyFolder(root + kStreamFiles, target + kStreamFiles, true);
        }
        m_ctx.fs.CreateFolder(target + kDefaultConfiguration);
        // Copied here and now, not by a program left running: the run levels WAV files of the default
        // configuration too, and the backup must hold them as they were.
        copyTree(root + kLiveDefaultConfiguration, target + kDefaultConfiguration, 0, true);
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

// Whether any folder of the tree holds two files whose names differ only in case.
bool GreetingBackup::holdsTwins(const std::string& folder, int depth) {
    if (depth > kMaxDepth || !m_ctx.fs.FolderExists(folder))
        return false;
    if (!CaseTwins::find(m_ctx.fs.FileNames(folder)).empty())
        return true;
    for (const std::string& sub : m_ctx.fs.SubFolderNames(folder))
        if (holdsTwins(folder + "\\" + sub, depth + 1))
            return true;
    return false;
}

// Every file below source (only *.WAV files with wavOnly) but case twins, with every sub-folder
// (empty ones included), as XCOPY /s /e would, into the existing folder destination. A host without a
// default-configuration folder has nothing there to back up.
void GreetingBackup::copyTree(const std::string& source, const std::string& destination, int depth, bool wavOnly) {
    if (depth > kMaxDepth || !m_ctx.fs.FolderExists(source))
        return;
    const std::vector<std::string> files = m_ctx.fs.FileNames(source);
    const auto twins = CaseTwins::find(files);
    for (const std::string& sub : m_ctx.fs.SubFolderNames(source)) {
        const std::string to = destination + "\\" + sub;
        if (!m_ctx.fs.FolderExists(to))
            m_ctx.fs.CreateFolder(to);
        copyTree(source + "\\" + sub, to, depth + 1, wavOnly);
    }
    for (const std::string& name : files)
        if ((!wavOnly || bIsWavFileName(name)) && !twins.contains(upperForm(name)))
            m_ctx.fs.CopyFile(source + "\\" + name, destination + "\\" + name, true);
}

} // namespace levora
