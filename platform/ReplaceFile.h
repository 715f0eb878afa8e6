// The pieces of replacing a host file in one step: the new content goes to a temporary file
// beside the one it replaces and is renamed over it.
#pragma once

#include <filesystem>
#include <string>

namespace levora {

// The file a replacement lands on: where a link points (the link itself stays), else the path.
std::filesystem::path replacementTarget(const std::filesystem::path& target);

// A new empty file (close-on-exec, owner-only) in the target's folder, for renaming over the target.
// Its name is short and of fixed length (".levora-" and six letters or digits), so that a target name
// of up to 255 bytes still has a temporary file beside it. Its descriptor, with its path in
// tempPath; -1 with errno set.
int createTempBeside(const std::filesystem::path& target, std::string& tempPath);

// Replaces a host file with the given content in one step (beside, flushed, renamed over it; a new
// file is readable by all, as a file the user saves is). The target is never half-written; a link
// at its name is replaced, not followed. The file beside it is removed on failure, unless the
// target it replaced has gone (then it is the only copy). Throws std::filesystem::filesystem_error
// with the errno.
void writeFileAtomically(const std::filesystem::path& target, const std::string& content);

// True for the name of a temporary file of createTempBeside, also in the longer form of earlier
// versions (".<target name>.levora-" and six letters or digits): what a killed process leaves.
bool isTempBesideName(const std::string& name);

} // namespace levora
