// The pieces of replacing a host file in one step: the new content goes to a temporary file
// beside the one it replaces and is renamed over it.
#pragma once

#include <filesystem>
#include <string>

namespace levora {

// The file a replacement lands on: where a link points (the link itself stays), else the path.
std::filesystem::path replacementTarget(const std::filesystem::path& target);

// A new empty file (close-on-exec, owner-only) in the target's folder, hidden and named after it,
// for renaming over the target. Its descriptor, with its path in tempPath; -1 with errno set.
int createTempBeside(const std::filesystem::path& target, std::string& tempPath);

// Replaces a host file with the given content in one step (beside, flushed, renamed over it; a new
// file is readable by all, as a file the user saves is). The target is never half-written; the
// file beside it is removed on failure. Throws std::filesystem::filesystem_error with the errno.
void writeFileAtomically(const std::filesystem::path& target, const std::string& content);

} // namespace levora
