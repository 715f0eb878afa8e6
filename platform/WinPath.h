// The Windows path namespace of a machine prefix.
//
// X:\a\b   -> target of dosdevices/x: + /a/b
// \a\b     -> on the current drive
// a\b      -> against the current Windows directory
// /a/b     -> already a host path, passed unchanged
// Each component is matched exactly first and, when absent, without regard to letter case;
// two entries that differ only in case are reported (Error CaseClash), never guessed.
// Trailing dots and blanks of a component are dropped, as Windows drops them.
#pragma once

#include "Prefix.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace levora {

// The entries of one host folder by their upper-case form: one listing resolves any number of
// names, and a folder being filled adds what it gets instead of being listed again.
class FolderNames {
public:
    // Lists dir; a folder known to be empty (just made) is not listed.
    explicit FolderNames(const std::filesystem::path& dir, bool knownEmpty = false);

    // The entry for name: exact spelling first, else the one entry that matches without regard to
    // case, else name as given. Throws Error(CaseClash) on two matches.
    std::string resolve(const std::string& name) const;
    bool contains(const std::string& exactName) const;
    void add(const std::string& name);

private:
    std::filesystem::path m_dir;
    std::unordered_map<std::u16string, std::vector<std::string>> m_byKey;
};

class FolderListingCache;

// A Windows path as parsed, before "." and ".." are resolved: the drive (upper-case letter), the
// components of the folder it is relative to (the current one, or none from the drive's root) and
// its own components.
struct ParsedWinPath {
    char drive = 0;
    std::vector<std::string> base;
    std::vector<std::string> rest;
    bool verbatim = false; // a \\?\ path keeps trailing dots and blanks
};

// Parsing: prefixes, drive and current folder, without touching the disk. Throws Error(76) for an
// empty path and a network path.
ParsedWinPath parseWinPath(const std::string& winPath, const std::string& currentDirectory);
// Normalising: the components from the drive's root, "." and ".." resolved and trailing dots and
// blanks dropped, as Windows does for a full path name.
std::vector<std::string> normalizeWinPath(const ParsedWinPath& parsed);

class PathNamespace {
public:
    explicit PathNamespace(const MachinePrefix& prefix);
    ~PathNamespace();

    // The host path for a Windows path. Components that do not exist yet keep the spelling given.
    // Throws Error(76) for an unknown drive, Error(CaseClash) for an ambiguous component.
    // The whole path is tried as spelled first (one stat); only when that fails is it walked
    // component by component, a folder being listed only when a name is missing from it.
    std::filesystem::path toHost(const std::string& winPath) const;
    // Lookup: the host path of normalised components below a drive's root.
    std::filesystem::path lookup(char drive, const std::vector<std::string>& components) const;
    // The Windows path of a host path: the drive whose target holds it (longest match), else Z:.
    // Empty when it cannot be expressed.
    std::string toWindows(const std::filesystem::path& hostPath) const;

    // The current Windows directory (e.g. "C:\Work"); initially the process's working folder.
    std::string currentDirectory() const { return m_currentDirectory; }
    void setCurrentDirectory(const std::string& winPath) { m_currentDirectory = winPath; }

    // The entry of host folder dir named name: exact spelling first, else the one entry that
    // matches without regard to case, else name as given. Throws Error(CaseClash) on two matches.
    static std::filesystem::path resolveChild(const std::filesystem::path& dir, const std::string& name);

    // Names directly in a host folder, NTFS order (upper-case form, ordinal).
    static std::vector<std::string> listSorted(const std::filesystem::path& folder, bool folders);

    const MachinePrefix& prefix() const { return m_prefix; }
    // The host folder a drive letter stands for (its dosdevices link resolved); throws 76 when unmapped.
    std::filesystem::path driveTarget(char letter) const;

private:
    struct Caches;

    const MachinePrefix& m_prefix;
    std::string m_currentDirectory;
    std::unique_ptr<Caches> m_caches;
};

// The folder of the program file exe as a Windows path without a trailing backslash
// ("C:\Program Files\Levora"); a folder outside every drive gets "Z:" + its host path.
std::string programFolderOf(const PathNamespace& ns, const std::filesystem::path& exe);
// The same for the running program (/proc/self/exe).
std::string programFolderOf(const PathNamespace& ns);

// Upper-case form used for case-insensitive comparison (ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic and full-width letters; bytes that are not UTF-8 compare as themselves).
std::string upperForm(const std::string& s);
bool equalsNoCase(const std::string& a, const std::string& b);
// NTFS order of two UTF-8 names: their upper-case forms compared as UTF-16 code units.
bool ntfsLess(const std::string& a, const std::string& b);

} // namespace levora
