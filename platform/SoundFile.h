// A recording read whole through the file system and handed to libsndfile from memory (its
// virtual I/O), so that code which decodes sound never opens a host path itself.
#pragma once

#include "FileSystem.h"

#include <sndfile.h>

#include <cstddef>
#include <string>

namespace levora {

class MemorySoundFile {
public:
    // Reads path through files (a regular file of at most kMaxRecordingFileBytes) and opens it.
    // Throws Error: what IFileSystem::ReadFile throws, or PathFileAccess when libsndfile cannot
    // read it (the description says why).
    MemorySoundFile(IFileSystem& files, const std::string& path);
    // Opens bytes already in memory; name is for messages.
    MemorySoundFile(std::string bytes, const std::string& name);
    ~MemorySoundFile();
    MemorySoundFile(const MemorySoundFile&) = delete;
    MemorySoundFile& operator=(const MemorySoundFile&) = delete;

    SNDFILE* handle() const { return m_file; }
    const SF_INFO& info() const { return m_info; }
    const std::string& bytes() const { return m_bytes; }

    // The callbacks over a byte string and a read position (exposed for a reader of its own).
    struct Cursor {
        const std::string* bytes = nullptr;
        sf_count_t position = 0;
    };
    static SF_VIRTUAL_IO& callbacks();

private:
    void open(const std::string& name);

    std::string m_bytes;
    Cursor m_cursor;
    SF_INFO m_info{};
    SNDFILE* m_file = nullptr;
};

} // namespace levora
