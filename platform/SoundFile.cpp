#include "SoundFile.h"

#include "Error.h"
#include "HostFile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace levora {

namespace {

using Cursor = MemorySoundFile::Cursor;

Cursor& cursorOf(void* user) {
    return *static_cast<Cursor*>(user);
}

sf_count_t length(void* user) {
    return static_cast<sf_count_t>(cursorOf(user).bytes->size());
}

sf_count_t seek(sf_count_t offset, int whence, void* user) {
    Cursor& c = cursorOf(user);
    const sf_count_t base = whence == SEEK_CUR ? c.position : whence == SEEK_END ? length(user) : 0;
    const sf_count_t to = base + offset;
    if (to < 0)
        return -1;
    c.position = to;
    return to;
}

sf_count_t read(void* out, sf_count_t count, void* user) {
    Cursor& c = cursorOf(user);
    const sf_count_t left = std::max<sf_count_t>(0, length(user) - c.position);
    const sf_count_t n = std::min(std::max<sf_count_t>(count, 0), left);
    if (n > 0)
        std::memcpy(out, c.bytes->data() + c.position, static_cast<std::size_t>(n));
    c.position += n;
    return n;
}

sf_count_t write(const void*, sf_count_t, void*) {
    return 0; // read only
}

sf_count_t tell(void* user) {
    return cursorOf(user).position;
}

} // namespace

SF_VIRTUAL_IO& MemorySoundFile::callbacks() {
    static SF_VIRTUAL_IO io{length, seek, read, write, tell};
    return io;
}

MemorySoundFile::MemorySoundFile(IFileSystem& files, const std::string& path)
    : m_bytes(files.ReadFile(path, kMaxRecordingFileBytes)) {
    open(path);
}

MemorySoundFile::MemorySoundFile(std::string bytes, const std::string& name) : m_bytes(std::move(bytes)) {
    open(name);
}

MemorySoundFile::~MemorySoundFile() {
    if (m_file)
        sf_close(m_file);
}

void MemorySoundFile::open(const std::string& name) {
    m_cursor.bytes = &m_bytes;
    m_file = sf_open_virtual(&callbacks(), SFM_READ, &m_info, &m_cursor);
    if (!m_file)
        throw Error(err::PathFileAccess,
                    "not a readable sound file (" + std::string(sf_strerror(nullptr)) + "): " + name);
}

} // namespace levora
