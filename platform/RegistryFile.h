// The registry's file on disk. Reads keep the parsed file and read it again when another process
// replaced it; a change takes the lock beside the file, reads it afresh, applies itself and
// replaces the file in one step. A file that cannot be parsed is read as empty, reported once on
// standard error and never replaced.
#pragma once

#include "RegistryHive.h"
#include "RegistryText.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>

namespace levora {

constexpr long ERROR_WRITE_FAULT = 29;
constexpr long ERROR_BADDB = 1009; // the store cannot be parsed; it is left untouched

class RegistryFile {
public:
    explicit RegistryFile(std::filesystem::path file);

    const std::filesystem::path& path() const { return m_file; }
    // The keys as the file holds them now.
    RegHive& current();
    // Where the file is damaged, when it cannot be parsed as it stands now.
    std::optional<RegTextError> damage();
    // One change under the lock: `change` returns a Windows error code, and anything but success
    // writes nothing. `error` says why a failure happened.
    long modify(const std::function<long(RegHive&)>& change, std::string& error);

    struct Stamp {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        long long mtime = 0;
        long long ctime = 0;
        bool operator==(const Stamp&) const = default;
    };

private:
    enum class Load { Ok, Malformed, Unreadable };
    Load load(RegHive& out, Stamp& stamp, std::string& why, std::optional<RegTextError>* damage);
    void reportOnce(const Stamp& stamp, const std::string& what);

    std::filesystem::path m_file;
    std::filesystem::path m_lockFile;
    RegHive m_cache;
    Stamp m_cacheStamp;
    bool m_cacheLoaded = false;
    std::optional<RegTextError> m_damage; // of the file as m_cacheStamp describes it
    Stamp m_reportedStamp;                // the damaged file already reported
    bool m_reported = false;
};

enum class ReadResult { Ok, Missing, Failed };

// Reads a whole regular file of at most kMaxRegistryFileBytes; errno's value in `error` on failure
// (EFBIG above the bound, EINVAL for a FIFO or device, which is never waited on).
ReadResult readWholeFile(const std::filesystem::path& p, std::string& bytes, int& error,
                         RegistryFile::Stamp* stamp = nullptr);

// Writes `content` beside the target, flushes it and renames it over the target (where a link
// points, the link stays): readers see the old file or the new one.
bool replaceFileWith(const std::filesystem::path& target, const std::string& content, std::string& error);

} // namespace levora
