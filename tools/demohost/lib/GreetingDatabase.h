// The host's SQL view of its greetings and voice names: one row per WAV file directly in
// "Stream Files" (path, size, modified time, duration, active level). sync() brings the rows in
// line with the folder in one transaction.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct sqlite3;

namespace levora::demohost {

struct SyncCounts {
    int inserted = 0;
    int updated = 0;
    int deleted = 0;
    int unchanged = 0;
    int rows() const { return inserted + updated + unchanged; }
};

struct SyncOutcome {
    enum class Status { Done, Busy, Failed } status = Status::Failed;
    SyncCounts counts;
    std::string message; // why it is Busy or Failed
};

class GreetingDatabase {
public:
    // busyTimeoutMs: how long to wait for another writer before answering Busy.
    GreetingDatabase(std::filesystem::path dbFile, int busyTimeoutMs);
    ~GreetingDatabase();
    GreetingDatabase(const GreetingDatabase&) = delete;
    GreetingDatabase& operator=(const GreetingDatabase&) = delete;

    // streamFolder: the folder on this machine; windowsFolder: the same as the host names it
    // (with a trailing backslash), the prefix of every stored path.
    SyncOutcome sync(const std::filesystem::path& streamFolder, const std::string& windowsFolder);

    static constexpr const char* kSchema = "CREATE TABLE IF NOT EXISTS greetings ("
                                           "path TEXT PRIMARY KEY COLLATE NOCASE, "
                                           "size INTEGER NOT NULL, "
                                           "modified INTEGER NOT NULL, "
                                           "duration REAL, "
                                           "active_level REAL, "
                                           "activity REAL, "
                                           "content_hash INTEGER NOT NULL)";

private:
    SyncOutcome syncLocked(const std::filesystem::path& streamFolder, const std::string& windowsFolder);
    bool open(std::string* error);

    std::filesystem::path m_file;
    int m_busyTimeoutMs;
    sqlite3* m_db = nullptr;
};

// 64-bit content hash of a file's bytes (not cryptographic: it only tells changed from unchanged).
uint64_t contentHash(const std::string& bytes);

} // namespace levora::demohost
