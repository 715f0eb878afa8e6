#include "GreetingDatabase.h"

#include "Level.h"
#include "WavFiles.h"
#include "platform/WinPath.h"

#include <sqlite3.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <vector>

namespace levora::demohost {
namespace {

namespace fs = std::filesystem;

struct FileFacts {
    std::string name;
    int64_t size = 0;
    int64_t modified = 0; // ns since 1970-01-01 UTC
    int64_t hash = 0;
};

struct Row {
    std::string path;
    int64_t size = 0;
    int64_t modified = 0;
    int64_t hash = 0;
};

class Statement {
public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        if (sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int i, const std::string& s) {
        check(sqlite3_bind_text(m_stmt, i, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bind(int i, int64_t v) {
        check(sqlite3_bind_int64(m_stmt, i, v));
        return *this;
    }
    Statement& bind(int i, std::optional<double> v) {
        check(v ? sqlite3_bind_double(m_stmt, i, *v) : sqlite3_bind_null(m_stmt, i));
        return *this;
    }
    // True while there is a row; throws on failure (SQLITE_BUSY is reported as BusyError).
    bool step() {
        const int rc = sqlite3_step(m_stmt);
        if (rc == SQLITE_ROW)
            return true;
        if (rc == SQLITE_DONE) {
            sqlite3_reset(m_stmt);
            sqlite3_clear_bindings(m_stmt);
            return false;
        }
        sqlite3_reset(m_stmt);
        throwFor(m_db, rc);
    }
    int64_t integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    std::string text(int col) const {
        const auto* p = sqlite3_column_text(m_stmt, col);
        return p ? reinterpret_cast<const char*>(p) : "";
    }

    struct BusyError : std::runtime_error {
        using std::runtime_error::runtime_error;
    };
    [[noreturn]] static void throwFor(sqlite3* db, int rc) {
        const int primary = rc & 0xFF;
        if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
            throw BusyError(sqlite3_errmsg(db));
        throw std::runtime_error(sqlite3_errmsg(db));
    }

private:
    void check(int rc) {
        if (rc != SQLITE_OK)
            throwFor(m_db, rc);
    }
    sqlite3* m_db;
    sqlite3_stmt* m_stmt = nullptr;
};

void exec(sqlite3* db, const char* sql) {
    const int rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        Statement::throwFor(db, rc);
}

int64_t nanosSinceEpoch(fs::file_time_type t) {
    const auto sys = std::chrono::file_clock::to_sys(t);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(sys.time_since_epoch()).count();
}

std::string readBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + p.filename().string() + ": " + std::strerror(errno));
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad())
        throw std::runtime_error("cannot read " + p.filename().string());
    return std::move(s).str();
}

// The WAV files directly in the folder, in the order NTFS lists them.
std::vector<FileFacts> scanFolder(const fs::path& folder) {
    std::vector<FileFacts> files;
    for (const std::string& name : PathNamespace::listSorted(folder, false)) {
        const auto dot = name.rfind('.');
        if (dot == std::string::npos || upperForm(name.substr(dot)) != ".WAV")
            continue;
        const fs::path p = folder / name;
        std::error_code ec;
        if (!fs::is_regular_file(p, ec))
            continue;
        // Only the facts are kept: a host with thousands of greetings must not be held in memory.
        const std::string bytes = readBytes(p);
        FileFacts f;
        f.name = name;
        f.size = static_cast<int64_t>(bytes.size());
        f.modified = nanosSinceEpoch(fs::last_write_time(p));
        f.hash = static_cast<int64_t>(contentHash(bytes));
        files.push_back(std::move(f));
    }
    return files;
}

struct AudioFacts {
    std::optional<double> duration, level, activity;
};

AudioFacts describe(const std::string& bytes) {
    AudioFacts a;
    const auto audio = decodeAudio(bytes);
    if (!audio || audio->sampleRate <= 0)
        return a; // a file the host cannot play keeps its row, without audio facts
    a.duration = audio->seconds();
    const Measured m = measureSpeech(audio->samples, audio->sampleRate);
    a.activity = m.activity * 100.0;
    if (!m.silent)
        a.level = m.level;
    return a;
}

} // namespace

uint64_t contentHash(const std::string& bytes) {
    // FNV-1a over 8-byte words, then a final mix; fast enough to run over every greeting.
    uint64_t h = 0xCBF29CE484222325ull ^ bytes.size();
    size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes.data() + i, 8);
        h = (h ^ w) * 0x100000001B3ull;
        h ^= h >> 29;
    }
    for (; i < bytes.size(); ++i)
        h = (h ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3ull;
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    return h;
}

GreetingDatabase::GreetingDatabase(std::filesystem::path dbFile, int busyTimeoutMs)
    : m_file(std::move(dbFile)), m_busyTimeoutMs(busyTimeoutMs) {}

GreetingDatabase::~GreetingDatabase() {
    sqlite3_close(m_db);
}

bool GreetingDatabase::open(std::string* error) {
    if (m_db)
        return true;
    const int rc = sqlite3_open_v2(m_file.c_str(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (rc != SQLITE_OK) {
        *error = std::string("cannot open the database ") + m_file.filename().string() + ": " +
                 (m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(rc));
        sqlite3_close(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, m_busyTimeoutMs);
    return true;
}

SyncOutcome GreetingDatabase::sync(const std::filesystem::path& streamFolder, const std::string& windowsFolder) {
    SyncOutcome out;
    if (!open(&out.message))
        return out;
    std::error_code ec;
    if (!fs::is_directory(streamFolder, ec)) {
        // A folder that is missing (or off line) must not empty the table.
        out.message = "Path not found: " + windowsFolder;
        return out;
    }
    try {
        return syncLocked(streamFolder, windowsFolder);
    } catch (const Statement::BusyError& e) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        out.status = SyncOutcome::Status::Busy;
        out.message = e.what();
    } catch (const std::exception& e) {
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        out.message = e.what();
    }
    return out;
}

SyncOutcome GreetingDatabase::syncLocked(const std::filesystem::path& streamFolder, const std::string& windowsFolder) {
    // Read the folder before taking the write lock, so another writer waits as little as possible.
    const std::vector<FileFacts> files = scanFolder(streamFolder);

    exec(m_db, "BEGIN IMMEDIATE");
    exec(m_db, kSchema);

    std::map<std::string, Row> rows; // by upper-case path: NTFS names ignore case
    {
        Statement select(m_db, "SELECT path, size, modified, content_hash FROM greetings");
        while (select.step())
            rows[upperForm(select.text(0))] =
                Row{select.text(0), select.integer(1), select.integer(2), select.integer(3)};
    }

    SyncOutcome out;
    Statement insert(m_db, "INSERT INTO greetings (path, size, modified, duration, active_level, activity, "
                           "content_hash) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    Statement update(m_db, "UPDATE greetings SET path = ?1, size = ?2, modified = ?3, duration = ?4, "
                           "active_level = ?5, activity = ?6, content_hash = ?7 WHERE path = ?8");
    Statement touch(m_db, "UPDATE greetings SET path = ?1, modified = ?2 WHERE path = ?3");
    Statement remove(m_db, "DELETE FROM greetings WHERE path = ?1");

    std::set<std::string> seen;
    for (const FileFacts& f : files) {
        const std::string path = windowsFolder + f.name;
        const std::string key = upperForm(path);
        seen.insert(key);
        const auto it = rows.find(key);
        if (it != rows.end() && it->second.size == f.size && it->second.hash == f.hash) {
            if (it->second.modified == f.modified && it->second.path == path) {
                ++out.counts.unchanged;
                continue;
            }
            touch.bind(1, path).bind(2, f.modified).bind(3, it->second.path).step();
            ++out.counts.updated;
            continue;
        }
        // The content changed (a restore can bring back an older time stamp, so the time alone
        // does not decide): measure it again.
        // Read again for the measurement; the row takes the facts of what was measured.
        FileFacts now = f;
        const std::string bytes = readBytes(streamFolder / f.name);
        now.size = static_cast<int64_t>(bytes.size());
        now.hash = static_cast<int64_t>(contentHash(bytes));
        const AudioFacts a = describe(bytes);
        Statement& s = it == rows.end() ? insert : update;
        s.bind(1, path).bind(2, now.size).bind(3, now.modified).bind(4, a.duration).bind(5, a.level);
        s.bind(6, a.activity).bind(7, now.hash);
        if (it != rows.end())
            s.bind(8, it->second.path);
        s.step();
        ++(it == rows.end() ? out.counts.inserted : out.counts.updated);
    }
    for (const auto& [key, row] : rows) {
        if (seen.count(key))
            continue;
        remove.bind(1, row.path).step();
        ++out.counts.deleted;
    }
    exec(m_db, "COMMIT");
    out.status = SyncOutcome::Status::Done;
    return out;
}

} // namespace levora::demohost
