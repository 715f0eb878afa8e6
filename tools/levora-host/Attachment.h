// What levora-host keeps in a machine prefix about the host it was made from: the attachment (which
// host, since when, the lock's token) and the manifest of every pulled file as the host had it.
// Both live in P/levora-host/ and are replaced in one step.
#pragma once

#include "leveling/SyncDirectory.h" // the marker a run reads: kAttachedHostKey

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace levora::host {

constexpr const char* kLockFolder = ".levora-host.lock";
constexpr const char* kAgcFullKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization";

struct ManifestEntry {
    std::uint64_t size = 0;
    std::int64_t hostTime = 0; // seconds since the epoch, as the host reported it
    std::uint64_t hash = 0;
};
// Share paths with forward slashes ("Talvio/Stream Files/greeting_1001_std.wav").
using Manifest = std::map<std::string, ManifestEntry>;

struct Attachment {
    std::map<std::string, std::string> fields; // server, share, auth, since, holder, token, resync, ...
    Manifest manifest;

    std::string get(const std::string& k) const {
        auto it = fields.find(k);
        return it == fields.end() ? std::string() : it->second;
    }
    bool attached() const { return !get("server").empty() && get("detached").empty(); }

    static std::filesystem::path folder(const std::filesystem::path& prefix) { return prefix / "levora-host"; }
    // Nothing when the prefix was never attached; throws kPrefixState when the files are damaged.
    static std::optional<Attachment> load(const std::filesystem::path& prefix);
    void save(const std::filesystem::path& prefix) const;
};

// The manifest entry of a local file (size, its time in whole seconds, content hash).
std::optional<ManifestEntry> describeFile(const std::filesystem::path& file);
// Every file below root/folder (share paths relative to root).
Manifest describeTree(const std::filesystem::path& root, const std::string& folder);
// A file's bytes; empty when it cannot be read.
std::string readText(const std::filesystem::path& file);
// "2026-12-08 06:30:00 UTC"
std::string timeText(std::int64_t secondsSinceEpoch);
// "2026:12:08-06:30:00", smbclient's utimes form (in UTC: levora-host runs its helpers with TZ=UTC).
std::string smbTimeText(std::int64_t secondsSinceEpoch);

} // namespace levora::host
