#include "ReplaceFile.h"

#include <fcntl.h>
#include <stdlib.h>

namespace fs = std::filesystem;

namespace levora {

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
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "." + std::string inlined at -O3.
    std::string name = ".";
    name += target.filename().string();
    name += ".levora-XXXXXX";
    tempPath = (folder / name).string();
    return ::mkostemp(tempPath.data(), O_CLOEXEC);
}

} // namespace levora
