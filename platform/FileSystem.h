// The file-system service object: every path is a Windows path, resolved through the
// machine prefix only at the moment of the operation. Failures throw levora::Error with
// the runtime's numbers (53 File not found, 76 Path not found, 70 Permission denied,
// 58 File already exists, ...).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace levora {

struct FileHead {
    std::vector<uint8_t> bytes; // the start of the file
    uint64_t size = 0;          // the whole file's size
};

// What a path names, with its modification time to the nanosecond (what a record compares).
struct FileStat {
    bool exists = false;
    bool regular = false; // a regular file (not a folder, FIFO, device or socket)
    bool folder = false;
    uint64_t size = 0;
    int64_t writeTimeNs = 0; // nanoseconds since 1970
};

// A file open for writing at its end, as the run log keeps one: what is written goes straight to
// the file; letting go of it flushes it to the disk and closes it.
class IOutputFile {
public:
    virtual ~IOutputFile() = default;
    // False when not all of the text could be written.
    virtual bool Write(const std::string& text) = 0;
};

class IFileSystem {
public:
    virtual ~IFileSystem() = default;

    virtual bool FileExists(const std::string& path) = 0;
    virtual bool FolderExists(const std::string& path) = 0;

    // Names only (no folder), in the order NTFS lists them. Throws 76 when the folder is missing.
    virtual std::vector<std::string> SubFolderNames(const std::string& folder) = 0;
    virtual std::vector<std::string> FileNames(const std::string& folder) = 0;

    // force: delete read-only files too. Throws 53 when missing, 70 when read-only without force.
    virtual void DeleteFile(const std::string& path, bool force) = 0;
    virtual void DeleteFolder(const std::string& path, bool force) = 0;

    // Replaces the destination atomically (write beside, flush, rename). overwrite=false and an
    // existing destination throws 58; a read-only destination throws 70.
    virtual void CopyFile(const std::string& source, const std::string& destination, bool overwrite) = 0;
    // Copies every file and sub-folder below source to the same relative place below destination,
    // creating what is missing; nothing is deleted first.
    virtual void CopyFolder(const std::string& source, const std::string& destination, bool overwrite) = 0;
    // Throws 58 when the folder exists, 76 when its parent is missing.
    virtual void CreateFolder(const std::string& path) = 0;

    // Modification time of a file, for "was it written after the tool started".
    virtual std::filesystem::file_time_type LastWriteTime(const std::string& path) = 0;
    virtual bool IsReadOnly(const std::string& path) = 0;
    // The first maxBytes bytes of a file (all of a shorter one). Throws 53 when it is missing.
    virtual FileHead ReadHead(const std::string& path, size_t maxBytes) = 0;
    // What the path names, a link followed; exists=false when nothing (throws only CaseClash).
    virtual FileStat Stat(const std::string& path) = 0;
    // The whole of a regular file of at most maxBytes bytes (the bounds are in HostFile.h). Throws
    // 53 when missing, NotRegularFile for a FIFO or device (never waited on), FileTooLarge above it.
    virtual std::string ReadFile(const std::string& path, size_t maxBytes) = 0;

    // Opens a file for output or for append. For output a fresh empty file replaces the old one in
    // one step (made beside it and renamed over it, keeping its permissions), so a reader sees the
    // old file or the new one, never a half-truncated one; for append a missing file is created.
    // A folder or a read-only file throws 70, as Windows refuses to open it for writing.
    virtual std::unique_ptr<IOutputFile> OpenOutputFile(const std::string& path, bool append) = 0;

    // The host path a Windows path stands for (for code that opens streams itself, such as the log).
    virtual std::filesystem::path HostPath(const std::string& path) = 0;
};

} // namespace levora
