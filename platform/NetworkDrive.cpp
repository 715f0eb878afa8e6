#include "NetworkDrive.h"

#include "Error.h"

#include <sys/statfs.h>

namespace fs = std::filesystem;

namespace levora {

namespace {

// f_type values (linux/magic.h and the cifs, smb and nfs clients).
constexpr long kFuseMagic = 0x65735546;
constexpr long kSmbMagic = 0x517B;
constexpr long kCifsMagic = 0xFF534D42;
constexpr long kSmb2Magic = 0xFE534D42;
constexpr long kNfsMagic = 0x6969;

fs::path nearestExisting(fs::path p) {
    std::error_code ec;
    while (!p.empty() && !fs::exists(p, ec)) {
        const fs::path parent = p.parent_path();
        if (parent == p)
            break;
        p = parent;
    }
    return p;
}

} // namespace

std::optional<long> statfsType(const fs::path& path) {
    struct statfs st {};
    if (::statfs(path.c_str(), &st) != 0)
        return std::nullopt;
    return static_cast<long>(st.f_type);
}

MountKind mountKindOf(long type) {
    // f_type is a signed word on some ABIs: compare its low 32 bits.
    switch (static_cast<unsigned long>(type) & 0xFFFFFFFFul) {
    case kFuseMagic:
        return MountKind::Fuse;
    case kSmbMagic:
    case kCifsMagic:
    case kSmb2Magic:
        return MountKind::Smb;
    case kNfsMagic:
        return MountKind::Nfs;
    default:
        return MountKind::Local;
    }
}

std::string mountKindName(MountKind kind) {
    switch (kind) {
    case MountKind::Fuse:
        return "FUSE";
    case MountKind::Smb:
        return "SMB/CIFS";
    case MountKind::Nfs:
        return "NFS";
    case MountKind::Local:
        break;
    }
    return {};
}

bool onNetworkFileSystem(const fs::path& path, const FileSystemTypeProbe& probe) {
    const std::optional<long> type = probe(path);
    return type && mountKindOf(*type) != MountKind::Local;
}

std::vector<NetworkDrive> networkDrives(const PathNamespace& ns, const std::vector<std::string>& written,
                                        const FileSystemTypeProbe& probe) {
    std::vector<NetworkDrive> found;
    for (const std::string& path : written) {
        fs::path host;
        try {
            host = nearestExisting(ns.toHost(path));
        } catch (const Error&) {
            continue; // an unmapped drive is refused where it is used
        }
        const std::optional<long> type = probe(host);
        if (!type || mountKindOf(*type) == MountKind::Local)
            continue;
        found.push_back({path, host, mountKindOf(*type)});
    }
    return found;
}

void refuseNetworkDrives(const PathNamespace& ns, const std::vector<std::string>& written, bool allowNetworkDrive,
                         const FileSystemTypeProbe& probe) {
    if (allowNetworkDrive)
        return;
    const std::vector<NetworkDrive> found = networkDrives(ns, written, probe);
    if (found.empty())
        return;
    const NetworkDrive& first = found.front();
    throw Error(err::NetworkDrive, first.path + " (" + first.hostDir.string() + ") lies on a " +
                                       mountKindName(first.kind) +
                                       " file system. Attach a real host with levora-host attach, or give "
                                       "--allow-network-drive to level there anyway.");
}

} // namespace levora
