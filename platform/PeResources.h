// Resource-only language libraries read as data: the string tables of Windows PE files
// (PE32 and PE32+), found without the Windows loader.
//
// A string table is stored as RT_STRING resources, one per block of 16 IDs; block n holds the
// IDs (n-1)*16 .. (n-1)*16+15 as 16 counted UTF-16LE strings. A file that is not a valid PE
// file, or has no string table, "cannot be loaded" (handle 0). Everything read from the file is
// bounds-checked: a truncated or hostile file loses strings, never crashes the program.
#pragma once

#include "Resources.h"

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace levora {

// The strings of one library, by ID (IDs are 16-bit; empty strings are kept as empty).
using StringTable = std::map<uint16_t, std::u16string>;

// Parses the string table of a PE image held in memory. Returns false when the image is not
// a PE file or holds no RT_STRING resource. Blocks that are damaged are skipped (only the
// strings that lie wholly inside the file are kept). When a block comes in several languages,
// the first language listed is used.
bool parsePeStringTable(std::string_view image, StringTable& out);

class PeResources : public IResources {
public:
    // The program's own string for an ID (module 0); empty when it has none.
    using OwnStrings = std::function<std::u16string(uint32_t id)>;
    // Maps the path a caller gives (a Windows path of the machine prefix) to a host path.
    using PathMapper = std::function<std::filesystem::path(const std::string&)>;

    explicit PeResources(OwnStrings ownStrings, PathMapper mapPath = {});

    HMODULE LoadLibraryAsData(const std::string& path) override;
    void FreeLibrary(HMODULE module) override;
    int LoadStringW(HMODULE module, uint32_t id, std::u16string& buffer, int bufferChars) override;

    // A language library is a few kilobytes; anything larger than this is refused unread.
    static constexpr std::uintmax_t kMaxFileSize = 64u * 1024 * 1024;

private:
    OwnStrings m_ownStrings;
    PathMapper m_mapPath;
    std::map<HMODULE, StringTable> m_modules;
    HMODULE m_nextHandle = 1;
};

} // namespace levora
