// Reading and writing single host files safely. Every reader checks that it reads a regular file
// (a FIFO would block for ever, a device such as /dev/zero never ends) and stops at a size bound;
// every writer that creates a file in place refuses a symbolic link at its name.
#pragma once

#include "FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace levora {

// Size bounds of the files Levora reads whole (docs/platform.md lists them).
constexpr std::size_t kMaxRegistryFileBytes = std::size_t{64} << 20;   // system.reg, an import file
constexpr std::size_t kMaxRecordFileBytes = std::size_t{64} << 20;     // the nightly record
constexpr std::size_t kMaxRecordingFileBytes = std::size_t{256} << 20; // a recording read into memory

// What stat says of a path (a link followed); exists=false when it names nothing.
FileStat statHostFile(const std::filesystem::path& path);

// The whole of a regular file of at most maxBytes bytes. Never blocks on a FIFO and never reads
// past the bound. Throws Error: 53 missing, 70 a folder or not readable, NotRegularFile for a FIFO,
// device or socket, FileTooLarge above the bound.
std::string readHostFile(const std::filesystem::path& path, std::size_t maxBytes);

// Opens a regular file for reading (close-on-exec) without ever waiting on a FIFO: its descriptor,
// and its size in *size. Throws as readHostFile does, less the bound.
int openRegularFile(const std::filesystem::path& path, std::uint64_t* size);

// Opens a file for writing without following a symbolic link at its name (O_NOFOLLOW and
// close-on-exec added to flags). -1 with errno set (ELOOP for a link).
int openNoFollow(const std::filesystem::path& path, int flags, unsigned mode = 0644);

// Writes all of text to a descriptor, going on after a signal or a short write. False on an error.
bool writeAllTo(int fd, std::string_view text);

// Appends text to a file, creating it when missing, without following a symbolic link at its name,
// and flushes it to the disk. False when not all of it could be written.
bool appendToHostFile(const std::filesystem::path& path, const std::string& text);

// rename(2), tried again a few times while it fails with EBUSY: a network file system may still
// hold a handle that was just closed. 0, or -1 with errno set.
int renameRetryingBusy(const std::filesystem::path& from, const std::filesystem::path& to);

// After a failed replacement: removes the temporary file unless it replaced a target that is gone
// now. A client that turns "rename over" into "delete the target, rename again" may have deleted
// the target already, and then the temporary file holds the only copy of the new content.
// True when the temporary file was removed.
bool discardTempUnlessOnlyCopy(const std::string& tempPath, const std::filesystem::path& target, bool replacing);

} // namespace levora
