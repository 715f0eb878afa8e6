#include "WinPath.h"

#include "Error.h"
#include "FolderListingCache.h"
#include "Utf16.h"

#include <algorithm>
#include <cctype>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace levora {

// ---------------------------------------------------------------- letter case

namespace {

char32_t upperCodePoint(char32_t c) {
    if (c >= 'a' && c <= 'z')
        return c - 0x20;
    if (c < 0xE0)
        return c;
    if (c <= 0xFE)
        return c == 0xF7 ? c : c - 0x20;
    if (c == 0xFF)
        return 0x178;
    if (c <= 0x17F) {
        // Latin Extended-A comes in upper/lower pairs; the pair parity flips at 0x139 and 0x179.
        if ((c >= 0x100 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
            return (c & 1) ? c - 1 : c;
        if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
            return (c & 1) ? c : c - 1;
        return c;
    }
    if (c >= 0x3B1 && c <= 0x3C9)
        return c == 0x3C2 ? 0x3A3 : c - 0x20;
    if (c == 0x3AC)
        return 0x386;
    if (c >= 0x3AD && c <= 0x3AF)
        return c - 0x25;
    if (c == 0x3CC)
        return 0x38C;
    if (c == 0x3CD || c == 0x3CE)
        return c - 0x3F;
    if (c >= 0x430 && c <= 0x44F)
        return c - 0x20;
    if (c >= 0x450 && c <= 0x45F)
        return c - 0x50;
    if (c >= 0xFF41 && c <= 0xFF5A)
        return c - 0x20;
    return c;
}

// The upper-case form as UTF-16 code units: the order NTFS keeps its index in. Every letter that
// folds lies in the basic plane, so code units fold one by one; bytes that are not UTF-8 travel as
// escapes and compare as themselves.
std::u16string ntfsKey(const std::string& name) {
    std::u16string key = toUtf16(name, BadUtf8::Escape);
    for (char16_t& u : key)
        u = static_cast<char16_t>(upperCodePoint(u));
    return key;
}

bool isSeparator(char c) {
    return c == '\\' || c == '/';
}

std::vector<std::string> splitComponents(const std::string& s) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : s) {
        if (isSeparator(c)) {
            if (!cur.empty())
                parts.push_back(std::move(cur));
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    if (!cur.empty())
        parts.push_back(std::move(cur));
    return parts;
}

// "." and ".." resolved without touching the disk, as Windows does for a full path name; so are
// the trailing dots and blanks of a name ("Talvio." and "Talvio " are "Talvio"), except in a
// verbatim \\?\ path.
void appendNormalized(std::vector<std::string>& out, const std::vector<std::string>& parts, bool verbatim = false) {
    for (auto p : parts) {
        if (!verbatim && p != "." && p != "..") {
            while (!p.empty() && (p.back() == '.' || p.back() == ' '))
                p.pop_back();
            if (p.empty())
                continue;
        }
        if (p == ".")
            continue;
        if (p == "..") {
            if (!out.empty())
                out.pop_back();
            continue;
        }
        out.push_back(p);
    }
}

bool isDriveSpec(const std::string& s) {
    return s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':';
}

std::vector<std::string> pathElements(const fs::path& p) {
    std::vector<std::string> out;
    for (const auto& e : p) {
        std::string s = e.string();
        if (!s.empty())
            out.push_back(std::move(s));
    }
    return out;
}

} // namespace

std::string upperForm(const std::string& s) {
    return toUtf8Escaped(ntfsKey(s));
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    return ntfsKey(a) == ntfsKey(b);
}

bool ntfsLess(const std::string& a, const std::string& b) {
    return ntfsKey(a) < ntfsKey(b);
}

// ---------------------------------------------------------------- folder names

FolderNames::FolderNames(const fs::path& dir, bool knownEmpty) : m_dir(dir) {
    if (knownEmpty)
        return;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        add(it->path().filename().string());
}

std::string FolderNames::resolve(const std::string& name) const {
    auto it = m_byKey.find(ntfsKey(name));
    if (it == m_byKey.end())
        return name;
    const std::vector<std::string>& matches = it->second;
    if (std::find(matches.begin(), matches.end(), name) != matches.end())
        return name;
    if (matches.size() > 1) {
        std::vector<std::string> sorted = matches;
        std::sort(sorted.begin(), sorted.end());
        throw Error(err::CaseClash, standardDescription(err::CaseClash) + ": \"" + sorted[0] + "\" and \"" + sorted[1] +
                                        "\" in " + m_dir.string());
    }
    return matches.front();
}

bool FolderNames::contains(const std::string& exactName) const {
    auto it = m_byKey.find(ntfsKey(exactName));
    return it != m_byKey.end() && std::find(it->second.begin(), it->second.end(), exactName) != it->second.end();
}

void FolderNames::add(const std::string& name) {
    std::vector<std::string>& names = m_byKey[ntfsKey(name)];
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

// ---------------------------------------------------------------- namespace

namespace {

// The canonical form of an existing path in three calls, whatever its depth: the kernel resolves
// it once and names what it opened (fs::canonical reads every component as a link).
fs::path resolvedPath(const fs::path& p, std::error_code& ec) {
    ec.clear();
    const int fd = ::open(p.c_str(), O_PATH | O_CLOEXEC);
    if (fd >= 0) {
        char buf[4096];
        const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf, sizeof buf);
        ::close(fd);
        if (n > 0 && static_cast<size_t>(n) < sizeof buf && buf[0] == '/')
            return fs::path(std::string(buf, static_cast<size_t>(n)));
    }
    return fs::canonical(p, ec); // no /proc: the slow way, and its error
}

} // namespace

struct PathNamespace::Caches {
    struct Drive {
        std::string link; // the dosdevices link's text when target was worked out
        fs::path target;
    };
    std::mutex mutex;
    std::unordered_map<char, Drive> drives;
    FolderListingCache listings;
};

PathNamespace::PathNamespace(const MachinePrefix& prefix) : m_prefix(prefix), m_caches(std::make_unique<Caches>()) {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (!ec)
        m_currentDirectory = toWindows(cwd);
    if (m_currentDirectory.empty())
        m_currentDirectory = "C:\\";
}

PathNamespace::~PathNamespace() = default;

fs::path PathNamespace::driveTarget(char letter) const {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
    const fs::path link = m_prefix.dosdevices() / (std::string(1, lower) + ':');
    // The link's text tells whether the drive was mapped anew since its target was worked out.
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof buf);
    const std::string text = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    if (!text.empty()) {
        std::lock_guard<std::mutex> lock(m_caches->mutex);
        auto it = m_caches->drives.find(lower);
        if (it != m_caches->drives.end() && it->second.link == text)
            return it->second.target;
    }
    std::error_code ec;
    fs::path target = resolvedPath(link, ec);
    if (ec)
        throw Error(err::PathNotFound);
    if (!text.empty()) {
        std::lock_guard<std::mutex> lock(m_caches->mutex);
        m_caches->drives[lower] = {text, target};
    }
    return target;
}

ParsedWinPath parseWinPath(const std::string& winPath, const std::string& currentDirectory) {
    if (winPath.empty())
        throw Error(err::PathNotFound);
    ParsedWinPath out;
    std::string rest = winPath;
    // Win32 long-path and device prefixes in front of a drive letter.
    if (rest.size() >= 4 && isSeparator(rest[0]) && isSeparator(rest[1]) && (rest[2] == '?' || rest[2] == '.') &&
        isSeparator(rest[3])) {
        out.verbatim = rest[2] == '?';
        rest = rest.substr(4);
    }
    if (rest.size() >= 2 && isSeparator(rest[0]) && isSeparator(rest[1]))
        throw Error(err::PathNotFound, "Path not found: network paths are not available (" + winPath + ")");

    const std::string curDir = isDriveSpec(currentDirectory) ? currentDirectory : std::string("C:\\");
    const char curDrive = static_cast<char>(std::toupper(static_cast<unsigned char>(curDir[0])));
    out.drive = curDrive;
    if (isDriveSpec(rest)) {
        out.drive = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        rest = rest.substr(2);
        // "C:name" is relative to the drive's current folder; only the current drive keeps one here.
        if ((rest.empty() || !isSeparator(rest[0])) && out.drive == curDrive)
            out.base = splitComponents(curDir.substr(2));
    } else if (!isSeparator(rest[0])) {
        out.base = splitComponents(curDir.substr(2));
    }
    out.rest = splitComponents(rest);
    return out;
}

std::vector<std::string> normalizeWinPath(const ParsedWinPath& parsed) {
    std::vector<std::string> parts;
    appendNormalized(parts, parsed.base);
    appendNormalized(parts, parsed.rest, parsed.verbatim);
    return parts;
}

fs::path PathNamespace::toHost(const std::string& winPath) const {
    if (!winPath.empty() && winPath[0] == '/')
        return fs::path(winPath);
    const ParsedWinPath parsed = parseWinPath(winPath, m_currentDirectory);
    return lookup(parsed.drive, normalizeWinPath(parsed));
}

fs::path PathNamespace::lookup(char drive, const std::vector<std::string>& parts) const {
    const fs::path root = driveTarget(drive);
    fs::path whole = root;
    for (const auto& part : parts)
        whole /= part;
    struct stat st {};
    if (parts.empty() || ::lstat(whole.c_str(), &st) == 0)
        return whole;

    // Not there as spelled: walk it, matching each missing name without regard to case. A new
    // name in a folder that is there as spelled (the common case) starts the walk at that folder.
    fs::path cur = root;
    size_t i = 0;
    if (parts.size() > 1) {
        fs::path parent = whole.parent_path();
        if (::stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            cur = std::move(parent);
            i = parts.size() - 1;
        }
    }
    bool asSpelled = true; // cur is a prefix of whole, whose lstat failed
    for (; i < parts.size(); ++i) {
        fs::path next = cur / parts[i];
        const bool last = i + 1 == parts.size();
        if (!(last && asSpelled) && ::lstat(next.c_str(), &st) == 0) {
            cur = std::move(next);
            continue;
        }
        std::optional<std::string> match = m_caches->listings.findNoCase(cur, parts[i]);
        if (!match)
            break;
        asSpelled = asSpelled && *match == parts[i];
        cur /= *match;
    }
    // The first name that is not there keeps its spelling, and so does everything below it.
    for (; i < parts.size(); ++i)
        cur /= parts[i];
    return cur;
}

fs::path PathNamespace::resolveChild(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    fs::path exact = dir / name;
    if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec)
        return exact;
    return dir / FolderNames(dir).resolve(name);
}

std::string PathNamespace::toWindows(const fs::path& hostPath) const {
    std::error_code ec;
    fs::path abs = hostPath.is_absolute() ? hostPath : fs::absolute(hostPath, ec);
    if (ec)
        return {};
    abs = abs.lexically_normal();

    struct Drive {
        char letter;
        std::vector<std::string> elements;
    };
    std::vector<Drive> drives;
    for (fs::directory_iterator it(m_prefix.dosdevices(), ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.size() != 2 || name[1] != ':' || !std::isalpha(static_cast<unsigned char>(name[0])))
            continue;
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
        try {
            drives.push_back({letter, pathElements(driveTarget(letter))});
        } catch (const Error&) {
            continue; // a link to nothing
        }
    }
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });

    // Longest drive target that holds the path; ties go to the earlier letter.
    auto bestMatch = [&](const std::vector<std::string>& elems) -> const Drive* {
        const Drive* best = nullptr;
        for (const auto& d : drives) {
            if (d.elements.size() > elems.size() || !std::equal(d.elements.begin(), d.elements.end(), elems.begin()))
                continue;
            if (!best || d.elements.size() > best->elements.size())
                best = &d;
        }
        return best;
    };

    std::vector<std::string> elems = pathElements(abs);
    const Drive* best = bestMatch(elems);
    if (!best || best->elements.size() <= 1) {
        // Reached through a symlink, perhaps: try the resolved path before settling on Z:.
        fs::path resolved = fs::weakly_canonical(abs, ec);
        if (!ec) {
            std::vector<std::string> relems = pathElements(resolved);
            const Drive* rbest = bestMatch(relems);
            if (rbest && rbest->elements.size() > 1) {
                best = rbest;
                elems = std::move(relems);
            }
        }
    }

    std::string out;
    std::vector<std::string> tail;
    if (best) {
        out = std::string(1, best->letter) + ":\\";
        tail.assign(elems.begin() + static_cast<std::ptrdiff_t>(best->elements.size()), elems.end());
    } else {
        return {};
    }
    for (size_t i = 0; i < tail.size(); ++i) {
        // A host name with a backslash has no Windows spelling.
        if (tail[i].find('\\') != std::string::npos)
            return {};
        if (i)
            out += '\\';
        out += tail[i];
    }
    return out;
}

std::vector<std::string> PathNamespace::listSorted(const fs::path& folder, bool folders) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        throw Error(err::PathNotFound);
    std::vector<std::pair<std::u16string, std::string>> entries;
    for (fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec)
            throw Error(err::PathFileAccess);
        // The entry's type as the listing gives it; a link is followed, as Windows shows linked folders.
        std::error_code ec2;
        bool isDir = it->is_directory(ec2);
        bool isFile = !isDir && it->is_regular_file(ec2);
        if (folders ? !isDir : !isFile)
            continue;
        std::string name = it->path().filename().string();
        entries.emplace_back(ntfsKey(name), std::move(name));
    }
    std::sort(entries.begin(), entries.end());
    std::vector<std::string> names;
    names.reserve(entries.size());
    for (auto& e : entries)
        names.push_back(std::move(e.second));
    return names;
}

std::string programFolderOf(const PathNamespace& ns, const fs::path& exe) {
    fs::path folder = exe.parent_path();
    std::string win = ns.toWindows(folder);
    if (win.empty()) {
        win = "Z:";
        for (char c : folder.lexically_normal().string())
            win.push_back(c == '/' ? '\\' : c);
    }
    while (win.size() > 2 && win.back() == '\\')
        win.pop_back();
    return win;
}

std::string programFolderOf(const PathNamespace& ns) {
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        exe = fs::current_path(ec) / "Levora";
    return programFolderOf(ns, exe);
}

} // namespace levora
