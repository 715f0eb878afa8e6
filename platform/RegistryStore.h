// HKEY_LOCAL_MACHINE kept in the machine prefix's system.reg (regedit's export text).
// HKEY_CLASSES_ROOT is HKLM\Software\Classes. Reads never fail loudly; every write locks the
// store, re-reads it, applies the one change and atomically replaces the file.
#pragma once

#include "Registry.h"
#include "RegistryFile.h"

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace levora {

// Further Windows error codes that the store returns.
constexpr long ERROR_BAD_PATHNAME = 161;
constexpr long ERROR_KEY_DELETED = 1018;

constexpr uint32_t KEY_QUERY_VALUE = 0x0001;
constexpr uint32_t KEY_SET_VALUE = 0x0002;

class RegistryStore : public IRegistry {
public:
    explicit RegistryStore(std::filesystem::path systemReg);
    ~RegistryStore() override;

    long RegOpenKeyExA(HKEY root, const std::string& subKey, uint32_t options, uint32_t samDesired,
                       HKEY* result) override;
    long RegQueryValueExA(HKEY key, const std::string& valueName, uint32_t* type, uint8_t* data,
                          uint32_t* cbData) override;
    long RegSetValueExA(HKEY key, const std::string& valueName, uint32_t type, const uint8_t* data,
                        uint32_t cbData) override;
    long RegCloseKey(HKEY key) override;
    std::optional<RegistryDamage> damage() override;

    // Administration (levora-reg, demohost, tests): full key paths such as
    // "HKEY_LOCAL_MACHINE\SOFTWARE\Quillon". These create keys as needed.
    bool createKey(const std::string& fullKey);
    bool deleteKey(const std::string& fullKey);
    bool setValue(const std::string& fullKey, const std::string& name, uint32_t type, const std::vector<uint8_t>& data);
    bool deleteValue(const std::string& fullKey, const std::string& name);
    // Imports a .reg file (UTF-8, UTF-16LE with BOM, or REGEDIT4). Returns false with a message on error.
    bool importFile(const std::filesystem::path& regFile, std::string* error = nullptr);
    bool exportKey(const std::string& fullKey, const std::filesystem::path& regFile);

    // Reading for administration. Values come as RegQueryValueExA would return them.
    struct ValueEntry {
        std::string name; // empty: the default value
        uint32_t type = REG_NONE;
        std::vector<uint8_t> data;
    };
    bool keyExists(const std::string& fullKey);
    // Full paths of the direct sub-keys, in the order regedit lists them.
    std::vector<std::string> subKeys(const std::string& fullKey);
    std::vector<ValueEntry> values(const std::string& fullKey);
    // Why the last administration call failed (empty after a success).
    std::string lastError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace levora
