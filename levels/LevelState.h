// What Levora last levelled or measured: per file its size, modification time and content hash,
// and the options it was levelled with. A nightly run levels only the files that differ from it.
//
// The record is one text file inside the machine prefix (levora-state.tsv): a header line, then one
// line per file, later lines overriding earlier ones, so that a run can append a line as each file
// is done and a run killed at any moment loses at most its last, cut line. It is only a cache: a
// line that cannot be read makes its file count as changed. The files are read through the
// machine's file system, never directly.
#pragma once

#include "platform/FileSystem.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace levora {

// What a file's content looked like when it was recorded.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0; // modification time, nanoseconds since the epoch
    std::uint64_t hash = 0;   // of the whole content
    bool operator==(const FileStamp&) const = default;
};

// Size and time of a file, without reading it; nothing when it cannot be examined.
std::optional<FileStamp> statFile(IFileSystem& fs, const std::string& path);
// The 64-bit FNV-1a hash of a file's content; nothing when it cannot be read or is larger than
// LevelState::kMaxHashedBytes.
std::optional<std::uint64_t> hashFile(IFileSystem& fs, const std::string& path);
// The same hash of bytes already read.
std::uint64_t contentHash(std::string_view bytes);

class LevelState {
public:
    static constexpr const char* kFileName = "levora-state.tsv";
    // A larger record is not read (every file counts as changed); a larger greeting is never
    // recorded (it counts as changed every time).
    static constexpr std::size_t kMaxRecordBytes = 64u << 20;
    static constexpr std::uint64_t kMaxHashedBytes = 256u << 20;

    // The record from its text: an empty text gives an empty record. A text without the header
    // gives an empty, damaged record; a line that cannot be read is skipped and sets damaged(); a
    // last line cut short is dropped. Never throws.
    static LevelState parse(std::string_view text);
    bool damaged() const { return m_damaged; }
    std::size_t size() const { return m_entries.size(); }
    bool covers(const std::string& key) const { return m_entries.count(key) != 0; }

    // True when the file (key: its path as the host stores it; path: what fs reads) is as it was
    // recorded with these options: same size, time and content. Reads it only when size and time agree.
    bool unchanged(IFileSystem& fs, const std::string& key, const std::string& path, const std::string& options) const;
    // Records the file as it is now, with the options it was levelled or measured at. False when it
    // cannot be read (then any earlier record of it is dropped, so it counts as changed).
    bool record(IFileSystem& fs, const std::string& key, const std::string& path, const std::string& options);
    void forget(const std::string& key) { m_entries.erase(key); }

    // The whole record, one line per file.
    std::string text() const;
    // The line that brings a record up to date for this key (its stamp, or that it is forgotten).
    std::string line(const std::string& key) const;

private:
    struct Entry {
        FileStamp stamp;
        std::string options;
    };
    std::map<std::string, Entry> m_entries;
    bool m_damaged = false;
};

} // namespace levora
