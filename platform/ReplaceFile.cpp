#include "ReplaceFile.h"

#include <cctype>
#include <cstring>
#include <fcntl.h>
#include <stdlib.h>

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
