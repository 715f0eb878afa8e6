// The installed host release, read once at start-up from either key layout.
#pragma once

#include "host/RegistryAPI.h"
#include "platform/Ui.h"

#include <cstdint>

namespace levora {

struct HostVersion {
    int16_t Major = 0;
    int16_t Minor = 0;
    int16_t Release = 0;
    int16_t Build = 0;
    bool operator==(const HostVersion&) const = default;
};

class TalvioVersion {
public:
    TalvioVersion(RegistryAPI& registry, IMessageBox& msgbox) : m_registry(registry), m_msgbox(msgbox) {}

    HostVersion getVersion();
    // The program-wide record that every version test reads.
    void setLoaded(const HostVersion& v) { m_loaded = v; }
    const HostVersion& loaded() const { return m_loaded; }
    bool bIsVersionGreaterThanOrEqualTo(int16_t major, int16_t minor, int16_t release, int16_t build) const;

private:
    RegistryAPI& m_registry;
    IMessageBox& m_msgbox;
    HostVersion m_loaded;
};

} // namespace levora
