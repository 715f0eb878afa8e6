// Listings of host folders, kept while a folder is unchanged, for finding a name without regard to
// letter case: the walk of a path lists a folder only when a name is missing from it, and a folder
// looked into again and again (Stream Files during a run) is listed once.
//
// A listing is trusted only while the folder's identity and its modification and change times are
// exactly those it was listed at, and it is kept only once the folder has been unchanged for the
// settle time: a change within the same tick of the file system's clock would leave its times as
// they were. Folders on file systems whose folder times cannot be trusted are never kept.
#pragma once

#include "WinPath.h"

#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>

namespace levora {

class FolderListingCache {
public:
    // Seconds since 1970 now (the clock folder change times are compared with).
    using Clock = std::function<std::time_t()>;
    // Whether a folder's listing may be kept at all.
    using Keepable = std::function<bool(const std::filesystem::path&)>;

    static constexpr std::time_t kSettledSeconds = 2;
    static constexpr std::size_t kMaxKept = 64;

    // By default the system clock, and every folder that is not on a network or FUSE file system.
    explicit FolderListingCache(Clock clock = {}, Keepable keepable = {});

    // The entry of host folder dir that matches name without regard to case; nothing when no entry
    // matches or dir is no folder. Throws Error(CaseClash) when two entries match and neither is
    // spelled as name.
    std::optional<std::string> findNoCase(const std::filesystem::path& dir, const std::string& name);

    // How many listings are kept now.
    std::size_t size() const;

private:
    struct Stamp {
        dev_t dev;
        ino_t ino;
        timespec mtime;
        timespec ctime;
    };
    struct Listing {
        Stamp stamp;
        FolderNames names;
    };

    Clock m_clock;
    Keepable m_keepable;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Listing> m_listings;
};

} // namespace levora
