#include "PeResources.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <vector>

namespace levora {

namespace {

constexpr uint32_t RT_STRING = 6;
constexpr uint32_t kHighBit = 0x80000000u;

// Bounds-checked little-endian reads of a PE image, addressed by file offset or by RVA.
class PeImage {
public:
    explicit PeImage(std::string_view bytes) : m_bytes(bytes) {}

    std::optional<uint16_t> u16(uint64_t off) const {
        if (off > m_bytes.size() || m_bytes.size() - off < 2)
            return std::nullopt;
        return static_cast<uint16_t>(byte(off) | byte(off + 1) << 8);
    }
    std::optional<uint32_t> u32(uint64_t off) const {
        if (off > m_bytes.size() || m_bytes.size() - off < 4)
            return std::nullopt;
        return static_cast<uint32_t>(byte(off) | byte(off + 1) << 8 | byte(off + 2) << 16 |
                                     static_cast<uint32_t>(byte(off + 3)) << 24);
    }

    // Reads the headers and the section table; false when this is not a PE file.
    bool readHeaders() {
        if (m_bytes.size() < 0x40 || m_bytes[0] != 'M' || m_bytes[1] != 'Z')
            return false;
        const auto peOff = u32(0x3C);
        if (!peOff || m_bytes.substr(std::min<uint64_t>(*peOff, m_bytes.size()), 4) != std::string_view("PE\0\0", 4))
            return false;
        const uint64_t coff = uint64_t(*peOff) + 4;
        const auto sectionCount = u16(coff + 2);
        const auto optSize = u16(coff + 16);
        if (!sectionCount || !optSize)
            return false;
        const uint64_t opt = coff + 20;
        const auto magic = u16(opt);
        if (!magic)
            return false;
        uint64_t countOff = 0, dirOff = 0;
        if (*magic == 0x10B) { // PE32
            countOff = 92;
            dirOff = 96;
        } else if (*magic == 0x20B) { // PE32+
            countOff = 108;
            dirOff = 112;
        } else {
            return false;
        }
        // The resource directory is data directory 2; it must lie inside the optional header.
        const auto dirCount = u32(opt + countOff);
        if (!dirCount || *dirCount < 3 || dirOff + 3 * 8 > *optSize)
            return false;
        const auto rsrcRva = u32(opt + dirOff + 16);
        if (!rsrcRva || *rsrcRva == 0)
            return false;
        m_rsrcRva = *rsrcRva;

        const uint64_t sectionTable = opt + *optSize;
        for (uint32_t i = 0; i < *sectionCount; ++i) {
            const uint64_t s = sectionTable + uint64_t(i) * 40;
            const auto vsize = u32(s + 8), va = u32(s + 12), rawSize = u32(s + 16), rawPtr = u32(s + 20);
            if (!vsize || !va || !rawSize || !rawPtr)
                return false; // section table cut off
            // Only the bytes present in the file and inside the section's extent are mapped.
            uint32_t size = *vsize ? std::min(*vsize, *rawSize) : *rawSize;
            m_sections.push_back({*va, size, *rawPtr});
        }
        return true;
    }

    uint32_t rsrcRva() const { return m_rsrcRva; }

    // The file offset of [rva, rva+len), or nothing when any byte of it is not in the file.
    std::optional<uint64_t> offsetOf(uint64_t rva, uint64_t len) const {
        const uint64_t avail = available(rva);
        if (avail < len || avail == 0)
            return std::nullopt;
        return fileOffset(rva);
    }
    // The bytes at rva, at most len of them: fewer when the section or the file ends first.
    std::string_view bytesAt(uint64_t rva, uint64_t len) const {
        const uint64_t avail = available(rva);
        if (avail == 0)
            return {};
        return m_bytes.substr(fileOffset(rva), std::min(len, avail));
    }

    std::optional<uint16_t> u16At(uint64_t rva) const {
        auto off = offsetOf(rva, 2);
        return off ? u16(*off) : std::nullopt;
    }
    std::optional<uint32_t> u32At(uint64_t rva) const {
        auto off = offsetOf(rva, 4);
        return off ? u32(*off) : std::nullopt;
    }

private:
    struct Section {
        uint32_t va;
        uint32_t size;
        uint32_t rawPtr;
    };

    unsigned byte(uint64_t off) const { return static_cast<unsigned char>(m_bytes[off]); }

    const Section* sectionOf(uint64_t rva) const {
        for (const auto& s : m_sections)
            if (rva >= s.va && rva - s.va < s.size)
                return &s;
        return nullptr;
    }
    // How many bytes from rva on are both inside its section and inside the file.
    uint64_t available(uint64_t rva) const {
        const Section* s = sectionOf(rva);
        if (!s)
            return 0;
        const uint64_t delta = rva - s->va;
        const uint64_t off = uint64_t(s->rawPtr) + delta;
        if (off >= m_bytes.size())
            return 0;
        return std::min<uint64_t>(s->size - delta, m_bytes.size() - off);
    }
    uint64_t fileOffset(uint64_t rva) const {
        const Section* s = sectionOf(rva);
        return uint64_t(s->rawPtr) + (rva - s->va);
    }

    std::string_view m_bytes;
    uint32_t m_rsrcRva = 0;
    std::vector<Section> m_sections;
};

struct DirEntry {
    uint32_t id;
    bool isDirectory;
    uint32_t offset; // relative to the start of the resource section
};

// The ID entries of the resource directory at dirOff (relative to the resource section).
// Named entries are not used by string tables and are passed over.
std::vector<DirEntry> readDirectory(const PeImage& img, uint32_t dirOff) {
    std::vector<DirEntry> entries;
    const uint64_t base = uint64_t(img.rsrcRva()) + dirOff;
    const auto named = img.u16At(base + 12), ids = img.u16At(base + 14);
    if (!named || !ids)
        return entries;
    const uint32_t total = uint32_t(*named) + *ids;
    for (uint32_t i = 0; i < total; ++i) {
        const uint64_t e = base + 16 + uint64_t(i) * 8;
        const auto nameField = img.u32At(e), offField = img.u32At(e + 4);
        if (!nameField || !offField)
            break; // the directory runs off the end
        if (*nameField & kHighBit)
            continue;
        entries.push_back({*nameField & 0xFFFF, (*offField & kHighBit) != 0, *offField & ~kHighBit});
    }
    return entries;
}

void readBlock(std::string_view data, uint32_t blockId, StringTable& out) {
    size_t pos = 0;
    for (uint32_t i = 0; i < 16; ++i) {
        if (data.size() - pos < 2)
            return;
        const size_t count = static_cast<unsigned char>(data[pos]) | static_cast<unsigned char>(data[pos + 1]) << 8;
        pos += 2;
        if ((data.size() - pos) / 2 < count)
            return; // the string is cut off: it and the ones after it are lost
        std::u16string s(count, u'\0');
        for (size_t k = 0; k < count; ++k)
            s[k] = static_cast<char16_t>(static_cast<unsigned char>(data[pos + 2 * k]) |
                                         static_cast<unsigned char>(data[pos + 2 * k + 1]) << 8);
        pos += 2 * count;
        out.emplace(static_cast<uint16_t>((blockId - 1) * 16 + i), std::move(s));
    }
}

} // namespace

bool parsePeStringTable(std::string_view image, StringTable& out) {
    PeImage img(image);
    if (!img.readHeaders())
        return false;
    bool found = false;
    for (const DirEntry& type : readDirectory(img, 0)) {
        if (type.id != RT_STRING || !type.isDirectory)
            continue;
        found = true;
        for (const DirEntry& block : readDirectory(img, type.offset)) {
            // Block 0 does not exist and blocks above 4096 would hold IDs beyond 16 bits.
            if (!block.isDirectory || block.id == 0 || block.id > 4096)
                continue;
            const auto langs = readDirectory(img, block.offset);
            if (langs.empty() || langs.front().isDirectory)
                continue;
            const uint64_t entry = uint64_t(img.rsrcRva()) + langs.front().offset;
            const auto dataRva = img.u32At(entry), dataSize = img.u32At(entry + 4);
            if (!dataRva || !dataSize)
                continue;
            readBlock(img.bytesAt(*dataRva, *dataSize), block.id, out);
        }
        break;
    }
    return found;
}

PeResources::PeResources(OwnStrings ownStrings, PathMapper mapPath)
    : m_ownStrings(std::move(ownStrings)), m_mapPath(std::move(mapPath)) {}

HMODULE PeResources::LoadLibraryAsData(const std::string& path) {
    try {
        const std::filesystem::path host = m_mapPath ? m_mapPath(path) : std::filesystem::path(path);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(host, ec))
            return 0;
        const auto size = std::filesystem::file_size(host, ec);
        if (ec || size > kMaxFileSize)
            return 0;
        std::ifstream f(host, std::ios::binary);
        if (!f)
            return 0;
        std::string bytes(static_cast<size_t>(size), '\0');
        f.read(bytes.data(), static_cast<std::streamsize>(size));
        bytes.resize(static_cast<size_t>(f.gcount()));
        StringTable table;
        if (!parsePeStringTable(bytes, table))
            return 0;
        const HMODULE h = m_nextHandle++;
        m_modules.emplace(h, std::move(table));
        return h;
    } catch (...) {
        return 0; // an unmappable path, or no memory: the library simply is not there
    }
}

void PeResources::FreeLibrary(HMODULE module) {
    m_modules.erase(module);
}

int PeResources::LoadStringW(HMODULE module, uint32_t id, std::u16string& buffer, int bufferChars) {
    if (bufferChars <= 0)
        return 0;
    buffer.resize(static_cast<size_t>(bufferChars));
    buffer[0] = u'\0';
    if (id > 0xFFFF)
        return 0;
    std::u16string own;
    const std::u16string* text = nullptr;
    if (module == 0) {
        if (m_ownStrings)
            own = m_ownStrings(id);
        text = &own;
    } else {
        auto lib = m_modules.find(module);
        if (lib == m_modules.end())
            return 0;
        auto s = lib->second.find(static_cast<uint16_t>(id));
        if (s == lib->second.end())
            return 0;
        text = &s->second;
    }
    const size_t n = std::min(text->size(), static_cast<size_t>(bufferChars - 1));
    std::copy_n(text->begin(), n, buffer.begin());
    buffer[n] = u'\0';
    return static_cast<int>(n);
}

} // namespace levora
