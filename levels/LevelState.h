// What Levora last levelled or measured: per file its size, modification time and content hash,
// and the options it was levelled with. A nightly run levels only the files that differ from it.
//
// The record is one text file inside the machine prefix (levora-state.tsv). It is only a cache:
// a missing or damaged record means every file counts as changed, and it is replaced in one step.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace levora {

// What a file's content looked like when it was recorded.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0; // modification time, nanoseconds since the epoch
    std::uint64_t hash = 0;   // of the whole content
    bool operator==(const FileStamp&) const = default;
};

// Size and time of a host file, without reading it; nothing when it cannot be examined.
std::optional<FileStamp> statFile(const std::filesystem::path& hostPath);
// The 64-bit FNV-1a hash of a file's content; nothing when it cannot be read.
std::optional<std::uint64_t> hashFile(const std::filesystem::path& hostPath);

class LevelState {
public:
    static constexpr const char* kFileName = "levora-state.tsv";

    // Reads the record; a missing file gives an empty record, a damaged one an empty record with
    // damaged() set. Never throws.
    static LevelState load(const std::filesystem::path& file);
    bool damaged() const { return m_damaged; }
    std::size_t size() const { return m_entries.size(); }

    // True when the file (key: its path as the host stores it; hostPath: where it is) is as it was
    // recorded with these options: same size, time and content. Reads the file only when size and
    // time agree.
    bool unchanged(const std::string& key, const std::filesystem::path& hostPath, const std::string& options) const;
    // Records the file as it is now, with the options it was levelled or measured at. False when it
    // cannot be read (then any earlier record of it is dropped, so it counts as changed).
    bool record(const std::string& key, const std::filesystem::path& hostPath, const std::string& options);
    void forget(const std::string& key) { m_entries.erase(key); }

    // Replaces the record in one step. Throws std::filesystem::filesystem_error.
    void save(const std::filesystem::path& file) const;

    // The text form (for save, and for tests that damage it).
    std::string text() const;

private:
    struct Entry {
        FileStamp stamp;
        std::string options;
    };
    std::map<std::string, Entry> m_entries;
    bool m_damaged = false;
};

} // namespace levora
