#include "ReplaceFile.h"

#include "HostFile.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace levora {

namespace {
constexpr const char* kTempPrefix = ".levora-";
} // namespace

fs::path replacementTarget(const fs::path& target) {
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(target, ec))) {
        fs::path resolved = fs::canonical(target, ec);
        if (!ec)
            return resolved;
    }
    return target;
}

int createTempBeside(const fs::path& target, std::string& tempPath) {
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on std::string + literal inlined at -O3.
    std::string name = kTempPrefix;
    name += "XXXXXX";
    tempPath = (folder / name).string();
    return ::mkostemp(tempPath.data(), O_CLOEXEC);
}

void writeFileAtomically(const fs::path& path, const std::string& content) {
    // The rename replaces a link at the target's name, never the file it points at.
    struct stat st {};
    const bool replacing = ::lstat(path.c_str(), &st) == 0;
    auto fail = [&](int e, const std::string& temp) {
        if (!temp.empty())
            discardTempUnlessOnlyCopy(temp, path, replacing);
        throw fs::filesystem_error("cannot write", path, std::error_code(e, std::generic_category()));
    };
    std::string temp;
    const int fd = createTempBeside(path, temp);
    if (fd < 0)
        fail(errno, {});
    // Keep the permissions of the file replaced; a new one gets the usual ones.
    const mode_t mode = replacing && S_ISREG(st.st_mode) ? (st.st_mode & 07777) : 0644;
    const char* p = content.data();
    size_t left = content.size();
    while (left > 0) {
        const ssize_t w = ::write(fd, p, left);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            const int e = w < 0 ? errno : ENOSPC;
            ::close(fd);
            fail(e, temp);
        }
        p += w;
        left -= static_cast<size_t>(w);
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0) {
        const int e = errno;
        ::close(fd);
        fail(e, temp);
    }
    if (::close(fd) != 0)
        fail(errno, temp);
    if (renameRetryingBusy(temp, path) != 0)
        fail(errno, temp);
}

bool isTempBesideName(const std::string& name) {
    // mkostemp's six characters are letters and digits.
    constexpr size_t kRandom = 6;
    const size_t prefix = std::strlen(kTempPrefix);
    if (name.size() < prefix + kRandom || name.front() != '.')
        return false;
    const size_t tail = name.size() - kRandom;
    for (size_t i = tail; i < name.size(); ++i)
        if (!std::isalnum(static_cast<unsigned char>(name[i])))
            return false;
    // ".levora-XXXXXX" itself, or ".<name>.levora-XXXXXX".
    return name.compare(tail - prefix, prefix, kTempPrefix) == 0 && (tail == prefix || tail > prefix + 1);
}

} // namespace levora
