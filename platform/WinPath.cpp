#include "WinPath.h"

#include "Error.h"

#include <algorithm>
#include <cctype>
#include <system_error>

namespace fs = std::filesystem;

namespace levora {

// ---------------------------------------------------------------- letter case

namespace {

// Bytes that are not valid UTF-8 are carried as U+DC00 + byte, so they compare as themselves
// and are written back unchanged.
constexpr char32_t kRawByteBase = 0xDC00;

std::u32string decodeUtf8(const std::string& s) {
    std::u32string out;
    out.reserve(s.size());
    size_t i = 0;
    const size_t n = s.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        int len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        bool ok = len > 0 && i + len <= n;
        for (int k = 1; ok && k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        if (ok) {
            // Reject overlong forms and surrogates so that every byte string maps back to itself.
            static constexpr char32_t minimum[] = {0, 0, 0x80, 0x800, 0x10000};
            ok = cp >= minimum[len] && cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF);
        }
        if (!ok) {
            out.push_back(kRawByteBase + c);
            ++i;
            continue;
        }
        out.push_back(cp);
        i += static_cast<size_t>(len);
    }
    return out;
}

void encodeUtf8(char32_t cp, std::string& out) {
    if (cp >= kRawByteBase + 0x80 && cp <= kRawByteBase + 0xFF) {
        out.push_back(static_cast<char>(cp - kRawByteBase));
    } else if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

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

// The upper-case form as UTF-16 code units: the order NTFS keeps its index in.
std::u16string ntfsKey(const std::string& name) {
    std::u16string key;
    key.reserve(name.size());
    for (char32_t c : decodeUtf8(name)) {
        c = upperCodePoint(c);
        if (c >= 0x10000) {
            c -= 0x10000;
            key.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            key.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            key.push_back(static_cast<char16_t>(c));
        }
    }
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

// "." and ".." resolved without touching the disk, as Windows does for a full path name.
void appendNormalized(std::vector<std::string>& out, const std::vector<std::string>& parts) {
    for (const auto& p : parts) {
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
    std::string out;
    out.reserve(s.size());
    for (char32_t c : decodeUtf8(s))
        encodeUtf8(upperCodePoint(c), out);
    return out;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    return ntfsKey(a) == ntfsKey(b);
}

bool ntfsLess(const std::string& a, const std::string& b) {
    return ntfsKey(a) < ntfsKey(b);
}

// ---------------------------------------------------------------- namespace

PathNamespace::PathNamespace(const MachinePrefix& prefix) : m_prefix(prefix) {
    std::error_code ec;
    fs::path cwd = fs::current_path(ec);
    if (!ec)
        m_currentDirectory = toWindows(cwd);
    if (m_currentDirectory.empty())
        m_currentDirectory = "C:\\";
}

fs::path PathNamespace::driveTarget(char letter) const {
    std::string name(1, static_cast<char>(std::tolower(static_cast<unsigned char>(letter))));
    name += ':';
    std::error_code ec;
    fs::path target = fs::canonical(m_prefix.dosdevices() / name, ec);
    if (ec)
        throw Error(err::PathNotFound);
    return target;
}

fs::path PathNamespace::toHost(const std::string& winPath) const {
    if (!winPath.empty() && winPath[0] == '/')
        return fs::path(winPath);
    if (winPath.empty())
        throw Error(err::PathNotFound);

    std::string rest = winPath;
    // Win32 long-path and device prefixes in front of a drive letter.
    if (rest.size() >= 4 && isSeparator(rest[0]) && isSeparator(rest[1]) && (rest[2] == '?' || rest[2] == '.') &&
        isSeparator(rest[3]))
        rest = rest.substr(4);
    if (rest.size() >= 2 && isSeparator(rest[0]) && isSeparator(rest[1]))
        throw Error(err::PathNotFound, "Path not found: network paths are not available (" + winPath + ")");

    std::string curDir = m_currentDirectory;
    if (!isDriveSpec(curDir))
        curDir = "C:\\";
    const char curDrive = static_cast<char>(std::toupper(static_cast<unsigned char>(curDir[0])));

    char drive = 0;
    std::vector<std::string> parts;
    if (isDriveSpec(rest)) {
        drive = static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
        rest = rest.substr(2);
        // "C:name" is relative to the drive's current folder; only the current drive keeps one here.
        if ((rest.empty() || !isSeparator(rest[0])) && drive == curDrive)
            appendNormalized(parts, splitComponents(curDir.substr(2)));
    } else if (isSeparator(rest[0])) {
        drive = curDrive;
    } else {
        drive = curDrive;
        appendNormalized(parts, splitComponents(curDir.substr(2)));
    }
    appendNormalized(parts, splitComponents(rest));

    fs::path cur = driveTarget(drive);
    bool existing = true;
    for (const auto& part : parts) {
        if (!existing) {
            cur /= part;
            continue;
        }
        fs::path next = resolveChild(cur, part);
        std::error_code ec;
        existing = fs::symlink_status(next, ec).type() != fs::file_type::not_found && !ec;
        cur = std::move(next);
    }
    return cur;
}

fs::path PathNamespace::resolveChild(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    fs::path exact = dir / name;
    if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec)
        return exact;
    std::vector<std::string> matches;
    if (fs::is_directory(dir, ec)) {
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            std::string entry = it->path().filename().string();
            if (equalsNoCase(entry, name))
                matches.push_back(std::move(entry));
        }
    }
    if (matches.size() > 1) {
        std::sort(matches.begin(), matches.end());
        throw Error(err::CaseClash, standardDescription(err::CaseClash) + ": \"" + matches[0] + "\" and \"" +
                                        matches[1] + "\" in " + dir.string());
    }
    return matches.empty() ? exact : dir / matches[0];
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
        std::error_code ec2;
        fs::path target = fs::canonical(it->path(), ec2);
        if (ec2)
            continue;
        drives.push_back({static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))), pathElements(target)});
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
        std::error_code ec2;
        fs::file_status st = it->status(ec2); // follows symlinks, as Windows shows linked folders
        bool isDir = fs::is_directory(st);
        bool isFile = fs::is_regular_file(st);
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
