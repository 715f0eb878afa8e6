// An output file that appears under its name only when complete: written beside the
// destination, flushed to disk when it replaces a file, then renamed over it. Until commit() the destination is
// untouched.
#pragma once

#include <filesystem>

namespace gainfix {

class PendingFile {
public:
    // Throws ToolError(Destination) when no file can be created beside the destination.
    explicit PendingFile(std::filesystem::path destination);
    ~PendingFile(); // removes the temporary file unless committed
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    int fd() const { return m_fd; }
    // Where it is written until commit(), to read it back.
    const std::filesystem::path& path() const { return m_temp; }
    // fsync (when replacing), rename over the destination. Throws ToolError(Destination).
    void commit();

private:
    std::filesystem::path m_destination;
    std::filesystem::path m_temp;
    int m_fd = -1;
    bool m_committed = false;
};

// Byte-for-byte copy through a PendingFile.
void copyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& destination);

} // namespace gainfix
