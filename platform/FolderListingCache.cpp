#include "FolderListingCache.h"

#include "NetworkDrive.h"

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace levora {

namespace {

bool sameTime(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

} // namespace

FolderListingCache::FolderListingCache(Clock clock, Keepable keepable)
    : m_clock(clock ? std::move(clock) : Clock([] { return std::time(nullptr); })),
      m_keepable(keepable ? std::move(keepable)
                          : Keepable([](const fs::path& dir) { return !onNetworkFileSystem(dir); })) {}

std::optional<std::string> FolderListingCache::findNoCase(const fs::path& dir, const std::string& name) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return std::nullopt;
    const Stamp now{st.st_dev, st.st_ino, st.st_mtim, st.st_ctim};
    auto matchIn = [&](const FolderNames& names) -> std::optional<std::string> {
        std::string entry = names.resolve(name);
        if (entry == name && !names.contains(name))
            return std::nullopt;
        return entry;
    };
    const std::string key = dir.string();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_listings.find(key);
        if (it != m_listings.end()) {
            const Stamp& was = it->second.stamp;
            if (was.dev == now.dev && was.ino == now.ino && sameTime(was.mtime, now.mtime) &&
                sameTime(was.ctime, now.ctime))
                return matchIn(it->second.names);
            m_listings.erase(it);
        }
    }
    // Stamped before it is listed: a change during the listing makes the next look list again.
    FolderNames names(dir);
    std::optional<std::string> match = matchIn(names);
    if (now.ctime.tv_sec + kSettledSeconds < m_clock() && m_keepable(dir)) {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_listings.size() >= kMaxKept)
            m_listings.clear();
        m_listings.insert_or_assign(key, Listing{now, std::move(names)});
    }
    return match;
}

std::size_t FolderListingCache::size() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_listings.size();
}

} // namespace levora
