#include "TalvioVersion.h"

#include "platform/Error.h"
#include "platform/HostKeys.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace levora {

namespace {

const char* const kNewerKey = hostkeys::kNewerVersionKey;
const char* const kOlderKey = hostkeys::kOlderVersionKey;

int32_t asLong(const Variant& v) {
    if (auto p = std::get_if<int32_t>(&v))
        return *p;
    if (auto p = std::get_if<int16_t>(&v))
        return *p;
    return 0; // empty: the value was missing
}

int16_t toInteger(double d) {
    if (!(d >= -32768.5 && d <= 32767.5))
        raiseError(err::Overflow);
    double r = std::nearbyint(d);
    if (r < -32768 || r > 32767)
        raiseError(err::Overflow);
    return static_cast<int16_t>(r);
}

// Eight upper-case hexadecimal digits of v (a negative v fills all eight by itself).
std::string hex8(int32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<uint32_t>(v));
    return buf;
}

// Reads the group as a decimal number: leading digits, then an E or D exponent if digits follow it.
// The host packs decimal digits as hexadecimal ones, so "0010" means ten and "1E02" a hundred.
double decimalReading(const std::string& group) {
    size_t i = 0;
    double mantissa = 0;
    while (i < group.size() && group[i] >= '0' && group[i] <= '9')
        mantissa = mantissa * 10 + (group[i++] - '0');
    if (i == 0)
        return 0;
    if (i + 1 < group.size() && (group[i] == 'E' || group[i] == 'D') && group[i + 1] >= '0' && group[i + 1] <= '9') {
        ++i;
        int exponent = 0;
        while (i < group.size() && group[i] >= '0' && group[i] <= '9')
            exponent = exponent * 10 + (group[i++] - '0');
        return mantissa * std::pow(10.0, exponent);
    }
    return mantissa;
}

int16_t hexReading(const std::string& group) {
    return static_cast<int16_t>(static_cast<uint16_t>(std::stoul(group, nullptr, 16)));
}

} // namespace

HostVersion TalvioVersion::getVersion() {
    HostVersion v;
    StepRunner run([this](const Error& e) {
        m_msgbox.MsgBox(formatProcedureError(e, "getVersion", "Module", "TalvioVersion"), vbOKOnly);
    });
    const Variant zero = int16_t{0};

    bool newer = false;
    run.step([&] {
        newer = m_registry.bKeyExists(HKEY_LOCAL_MACHINE, kNewerKey) &&
                asLong(m_registry.getRegValue(HKEY_LOCAL_MACHINE, kNewerKey, "MajorVersion", REG_DWORD, zero)) > 0;
    });
    if (newer) {
        auto field = [&](const char* name) {
            return toInteger(asLong(m_registry.getRegValue(HKEY_LOCAL_MACHINE, kNewerKey, name, REG_DWORD, zero)));
        };
        run.step([&] { v.Major = field("MajorVersion"); });
        run.step([&] { v.Minor = field("MinorVersion"); });
        run.step([&] { v.Build = field("BuildVersion"); });
        run.step([&] { v.Release = field("ReleaseVersion"); });
        return v;
    }

    bool older = false;
    run.step([&] { older = m_registry.bKeyExists(HKEY_LOCAL_MACHINE, kOlderKey); });
    if (!older)
        return v;

    std::string version = hex8(0), build = hex8(0);
    run.step([&] {
        version = hex8(
            asLong(m_registry.getRegValue(HKEY_LOCAL_MACHINE, kOlderKey, hostkeys::kOlderVersionValue, REG_DWORD, {})));
    });
    run.step([&] {
        build = hex8(
            asLong(m_registry.getRegValue(HKEY_LOCAL_MACHINE, kOlderKey, hostkeys::kOlderBuildValue, REG_DWORD, {})));
    });
    run.step([&] { v.Major = toInteger(decimalReading(version.substr(0, 4))); });
    run.step([&] { v.Minor = toInteger(decimalReading(version.substr(4, 4))); });
    run.step([&] { v.Release = toInteger(decimalReading(build.substr(0, 4))); });
    run.step([&] { v.Build = hexReading(build.substr(4, 4)); });
    return v;
}

bool TalvioVersion::bIsVersionGreaterThanOrEqualTo(int16_t major, int16_t minor, int16_t release, int16_t build) const {
    const HostVersion& m = m_loaded;
    if (m.Major != major)
        return m.Major > major;
    if (m.Minor != minor)
        return m.Minor > minor;
    if (m.Release != release)
        return m.Release > release;
    return m.Build >= build;
}

} // namespace levora
