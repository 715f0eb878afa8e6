// Typed registry access: key test, reader with a default, writer. Each call opens and closes
// its key.
#pragma once

#include "platform/Registry.h"
#include "platform/Variant.h"

#include <cstdint>
#include <string>

namespace levora {

class RegistryAPI {
public:
    explicit RegistryAPI(IRegistry& registry) : m_registry(registry) {}

    bool bKeyExists(HKEY root, const std::string& subKey);
    // Type codes 1 (REG_SZ -> std::string), 3 (REG_BINARY -> vector<uint8_t>), 4 (REG_DWORD -> int32_t).
    // Any failure returns the default unchanged; another type code throws Error 1001.
    Variant getRegValue(HKEY root, const std::string& subKey, const std::string& valueName, int16_t typeCode,
                        const Variant& defaultValue);
    // Writes into an existing key only. Throws 13 / 6 when the value cannot be converted.
    void setRegValue(HKEY root, const std::string& subKey, const std::string& valueName, int16_t typeCode,
                     const Variant& value);
    // Where the registry is damaged, if it is (see IRegistry::damage).
    std::optional<RegistryDamage> damage() { return m_registry.damage(); }

private:
    IRegistry& m_registry;
};

} // namespace levora
