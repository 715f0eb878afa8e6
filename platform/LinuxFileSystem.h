// The file-system service object over a machine prefix's Windows path namespace.
#pragma once

#include "FileSystem.h"
#include "WinPath.h"

namespace levora {

class LinuxFileSystem : public IFileSystem {
public:
    explicit LinuxFileSystem(const PathNamespace& ns) : m_ns(ns) {}

    bool FileExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    std::vector<std::string> SubFolderNames(const std::string& folder) override;
    std::vector<std::string> FileNames(const std::string& folder) override;
    void DeleteFile(const std::string& path, bool force) override;
    void DeleteFolder(const std::string& path, bool force) override;
    void CopyFile(const std::string& source, const std::string& destination, bool overwrite) override;
    void CopyFolder(const std::string& source, const std::string& destination, bool overwrite) override;
    void CreateFolder(const std::string& path) override;
    std::filesystem::file_time_type LastWriteTime(const std::string& path) override;
    bool IsReadOnly(const std::string& path) override;
    FileHead ReadHead(const std::string& path, size_t maxBytes) override;
    FileStat Stat(const std::string& path) override;
    std::string ReadFile(const std::string& path, size_t maxBytes) override;
    std::unique_ptr<IOutputFile> OpenOutputFile(const std::string& path, bool append) override;
    std::filesystem::path HostPath(const std::string& path) override;

    // Replaces host file dst with a copy of host file src: written beside dst, flushed, renamed
    // over it. A replaced file keeps its permissions (and owner where allowed); a new one takes the
    // source's. The modification time is carried over, as Windows' copy does. flush=false leaves the
    // flush to the caller (a folder copy flushes everything it wrote once, at its end).
    static void copyHostFile(const std::filesystem::path& src, const std::filesystem::path& dst, bool flush = true);
    // Windows' read-only attribute: no write permission for the owner.
    static bool hostReadOnly(const std::filesystem::path& p);

private:
    const PathNamespace& m_ns;
};

} // namespace levora
