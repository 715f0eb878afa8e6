// The registry, shaped after the 8-bit advapi32 entry points so that a Windows build can
// call the real ones. The Linux implementation keeps HKEY_LOCAL_MACHINE in the machine
// prefix's system.reg (see RegistryStore.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace levora {

using HKEY = uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;

constexpr uint32_t KEY_READ = 0x20019;
constexpr uint32_t KEY_WRITE = 0x20006;

constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;

constexpr long ERROR_SUCCESS = 0;
constexpr long ERROR_FILE_NOT_FOUND = 2;
constexpr long ERROR_ACCESS_DENIED = 5;
constexpr long ERROR_INVALID_HANDLE = 6;
constexpr long ERROR_INVALID_PARAMETER = 87;
constexpr long ERROR_MORE_DATA = 234;

// Where a registry kept in a file cannot be parsed: it then reads as empty and refuses writes.
struct RegistryDamage {
    std::string file;
    size_t line = 0; // 1-based
    std::string what;
};

class IRegistry {
public:
    virtual ~IRegistry() = default;
    virtual long RegOpenKeyExA(HKEY root, const std::string& subKey, uint32_t options, uint32_t samDesired,
                               HKEY* result) = 0;
    // data may be null to ask for the size; *cbData is the buffer size in, the data size out.
    virtual long RegQueryValueExA(HKEY key, const std::string& valueName, uint32_t* type, uint8_t* data,
                                  uint32_t* cbData) = 0;
    virtual long RegSetValueExA(HKEY key, const std::string& valueName, uint32_t type, const uint8_t* data,
                                uint32_t cbData) = 0;
    virtual long RegCloseKey(HKEY key) = 0;
    // Not an advapi32 call: a registry of our own that is damaged says where; Windows' never is.
    virtual std::optional<RegistryDamage> damage() { return std::nullopt; }
};

} // namespace levora
