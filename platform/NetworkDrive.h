// Drives on network and FUSE file systems. Levora's safety rests on the local disk's promises (an
// atomic rename over a file, flock, folder times that change with their content, a flush that
// reaches the disk); a FUSE, SMB/CIFS or NFS mount keeps none of them reliably, so a run refuses to
// write there unless the user insists.
#pragma once

#include "WinPath.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace levora {

enum class MountKind { Local, Fuse, Smb, Nfs };

// The file-system type (statfs f_type) of the file system a path lies on; nothing when it cannot
// be told. Injectable for tests.
using FileSystemTypeProbe = std::function<std::optional<long>(const std::filesystem::path&)>;
std::optional<long> statfsType(const std::filesystem::path& path);

MountKind mountKindOf(long fileSystemType);
// "FUSE", "SMB/CIFS", "NFS"; empty for a local one.
std::string mountKindName(MountKind kind);
bool onNetworkFileSystem(const std::filesystem::path& path, const FileSystemTypeProbe& probe = statfsType);

struct NetworkDrive {
    std::string path;              // the Windows path checked ("C:\Talvio\Stream Files")
    std::filesystem::path hostDir; // the existing host folder it was decided by
    MountKind kind = MountKind::Local;
};

// The paths among `written` that lie on a network or FUSE file system, each decided by its nearest
// existing folder (a path that does not exist yet lands where its parent is).
std::vector<NetworkDrive> networkDrives(const PathNamespace& ns, const std::vector<std::string>& written,
                                        const FileSystemTypeProbe& probe = statfsType);

// At the start of a run or a restore: throws Error(NetworkDrive) naming the first such path and the
// way to level a real host (levora-host attach), unless allowNetworkDrive.
void refuseNetworkDrives(const PathNamespace& ns, const std::vector<std::string>& written, bool allowNetworkDrive,
                         const FileSystemTypeProbe& probe = statfsType);

} // namespace levora
