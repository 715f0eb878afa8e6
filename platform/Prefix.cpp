#include "Prefix.h"

#include "Error.h"

#include <cctype>
#include <cstdlib>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace levora {

fs::path MachinePrefix::defaultRoot() {
    if (const char* p = std::getenv("LEVORA_PREFIX"); p && *p)
        return fs::path(p);
    if (const char* home = std::getenv("HOME"); home && *home)
        return fs::path(home) / ".levora";
    // No home at all (a bare service account): keep the prefix beside the working folder.
    return fs::current_path() / ".levora";
}

namespace {

fs::path driveLink(const fs::path& dosdevices, char letter) {
    std::string name(1, static_cast<char>(std::tolower(static_cast<unsigned char>(letter))));
    name += ':';
    return dosdevices / name;
}

// Creates or replaces a symlink without a moment where the name is missing.
void replaceSymlink(const fs::path& link, const fs::path& target) {
    fs::path tmp = link;
    tmp += ".new" + std::to_string(::getpid());
    std::error_code ec;
    fs::remove(tmp, ec);
    fs::create_symlink(target, tmp);
    if (::rename(tmp.c_str(), link.c_str()) != 0) {
        int e = errno;
        fs::remove(tmp, ec);
        throw fs::filesystem_error("rename", link, std::error_code(e, std::generic_category()));
    }
}

} // namespace

MachinePrefix::MachinePrefix(fs::path root, Layout layout) : m_root(std::move(root)) {
    // Best effort: a prefix that cannot be created shows up later as "Path not found" on use.
    // The drive links are made with the prefix only, so a drive the administrator removed
    // (z:, to hide the host's root) stays removed.
    std::error_code ec;
    if (layout == Layout::OnlyInExistingRoot && !fs::is_directory(m_root, ec))
        return;
    const bool fresh = !fs::exists(fs::symlink_status(dosdevices(), ec));
    fs::create_directories(driveC(), ec);
    fs::create_directories(dosdevices(), ec);
    if (fresh) {
        fs::create_symlink("../drive_c", driveLink(dosdevices(), 'c'), ec);
        fs::create_symlink("/", driveLink(dosdevices(), 'z'), ec);
    }
}

void MachinePrefix::mapDrive(char letter, const fs::path& target) {
    if (!std::isalpha(static_cast<unsigned char>(letter)))
        raiseError(err::InvalidCall);
    fs::create_directories(dosdevices());
    replaceSymlink(driveLink(dosdevices(), letter), target);
}

} // namespace levora
