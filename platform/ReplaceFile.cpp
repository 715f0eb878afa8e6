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
    tempPath = (folder / ("." + target.filename().string() + ".levora-XXXXXX")).string();
    return ::mkostemp(tempPath.data(), O_CLOEXEC);
}

} // namespace levora
