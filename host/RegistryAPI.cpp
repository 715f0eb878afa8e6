#include "RegistryAPI.h"

#include "platform/Error.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace levora {

namespace {

constexpr uint32_t kTextBuffer = 1024;
constexpr uint32_t kBinaryBuffer = 4096;

// Closes the key on every way out, errors included.
class OpenKey {
public:
    OpenKey(IRegistry& reg, HKEY root, const std::string& subKey, uint32_t access) : m_reg(reg) {
        m_open = reg.RegOpenKeyExA(root, subKey, 0, access, &m_key) == ERROR_SUCCESS;
    }
    ~OpenKey() { close(); }
    OpenKey(const OpenKey&) = delete;
    OpenKey& operator=(const OpenKey&) = delete;
    bool isOpen() const { return m_open; }
    HKEY key() const { return m_key; }
    void close() {
        if (m_open)
            m_reg.RegCloseKey(m_key);
        m_open = false;
    }

private:
    IRegistry& m_reg;
    HKEY m_key = 0;
    bool m_open = false;
};

// Round to the nearest integer, halves to the even neighbour.
double roundHalfEven(double x) {
    double f = std::floor(x);
    double diff = x - f;
    if (diff > 0.5)
        return f + 1;
    if (diff < 0.5)
        return f;
    return std::fmod(f, 2.0) == 0 ? f : f + 1;
}

int32_t doubleToLong(double d) {
    if (std::isnan(d))
        raiseError(err::Overflow);
    double r = roundHalfEven(d);
    if (r < static_cast<double>(std::numeric_limits<int32_t>::min()) ||
        r > static_cast<double>(std::numeric_limits<int32_t>::max()))
        raiseError(err::Overflow);
    return static_cast<int32_t>(r);
}

// A numeric text: optional blanks, sign, digits with an optional fraction, an optional exponent
// (E or D), optional blanks. Anything else is not a number.
bool parseNumericText(const std::string& s, double& out) {
    size_t i = 0, n = s.size();
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (i < n && blank(s[i]))
        ++i;
    std::string norm;
    if (i < n && (s[i] == '+' || s[i] == '-'))
        norm += s[i++];
    size_t digits = 0;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i])))
        norm += s[i++], ++digits;
    if (i < n && s[i] == '.') {
        norm += s[i++];
        while (i < n && std::isdigit(static_cast<unsigned char>(s[i])))
            norm += s[i++], ++digits;
    }
    if (digits == 0)
        return false;
    if (i < n && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        norm += 'e';
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-'))
            norm += s[i++];
        size_t expDigits = 0;
        while (i < n && std::isdigit(static_cast<unsigned char>(s[i])))
            norm += s[i++], ++expDigits;
        if (expDigits == 0)
            return false;
    }
    while (i < n && blank(s[i]))
        ++i;
    if (i != n)
        return false;
    out = std::strtod(norm.c_str(), nullptr); // huge values become inf and overflow later
    return true;
}

// The value as a 32-bit signed integer, as the runtime's conversion to Long does it.
int32_t toLong(const Variant& v) {
    if (std::holds_alternative<Empty>(v))
        return 0;
    if (auto p = std::get_if<int16_t>(&v))
        return *p;
    if (auto p = std::get_if<int32_t>(&v))
        return *p;
    if (auto p = std::get_if<double>(&v))
        return doubleToLong(*p);
    if (auto p = std::get_if<bool>(&v))
        return *p ? -1 : 0;
    if (auto p = std::get_if<std::string>(&v)) {
        double d = 0;
        if (!parseNumericText(*p, d))
            raiseError(err::TypeMismatch);
        return doubleToLong(d);
    }
    raiseError(err::TypeMismatch); // a byte array is not a number
}

// The value as text, as the runtime's conversion to String does it.
std::string toText(const Variant& v) {
    if (std::holds_alternative<Empty>(v))
        return {};
    if (auto p = std::get_if<int16_t>(&v))
        return std::to_string(*p);
    if (auto p = std::get_if<int32_t>(&v))
        return std::to_string(*p);
    if (auto p = std::get_if<double>(&v)) {
        char buf[40];
        std::snprintf(buf, sizeof buf, "%.15G", *p);
        return buf;
    }
    if (auto p = std::get_if<bool>(&v))
        return *p ? "True" : "False";
    if (auto p = std::get_if<std::string>(&v))
        return *p;
    raiseError(err::TypeMismatch);
}

} // namespace

bool RegistryAPI::bKeyExists(HKEY root, const std::string& subKey) {
    OpenKey k(m_registry, root, subKey, KEY_READ);
    return k.isOpen();
}

Variant RegistryAPI::getRegValue(HKEY root, const std::string& subKey, const std::string& valueName, int16_t typeCode,
                                 const Variant& defaultValue) {
    Variant result = defaultValue;
    OpenKey k(m_registry, root, subKey, KEY_READ);
    if (!k.isOpen())
        return result;
    uint32_t stored = 0;
    switch (typeCode) {
    case REG_SZ: {
        std::vector<uint8_t> buf(kTextBuffer, 0);
        uint32_t size = kTextBuffer;
        if (m_registry.RegQueryValueExA(k.key(), valueName, &stored, buf.data(), &size) == ERROR_SUCCESS) {
            // The size counts the terminating NUL; text stored without one (or with no data at all)
            // is taken whole rather than losing its last character.
            if (size > 0 && buf[size - 1] == 0)
                --size;
            result = std::string(buf.begin(), buf.begin() + size);
        }
        break;
    }
    case REG_BINARY: {
        std::vector<uint8_t> buf(kBinaryBuffer, 0);
        uint32_t size = kBinaryBuffer;
        if (m_registry.RegQueryValueExA(k.key(), valueName, &stored, buf.data(), &size) == ERROR_SUCCESS) {
            buf.resize(size);
            result = std::move(buf);
        }
        break;
    }
    case REG_DWORD: {
        uint8_t buf[4] = {0, 0, 0, 0};
        uint32_t size = sizeof buf;
        if (m_registry.RegQueryValueExA(k.key(), valueName, &stored, buf, &size) == ERROR_SUCCESS) {
            uint32_t u = buf[0] | (buf[1] << 8) | (buf[2] << 16) | (static_cast<uint32_t>(buf[3]) << 24);
            result = static_cast<int32_t>(u);
        }
        break;
    }
    default:
        k.close(); // the caller gets the error with the key already closed
        raiseError(err::UnsupportedValueType, "Unsupported value type");
    }
    return result;
}

void RegistryAPI::setRegValue(HKEY root, const std::string& subKey, const std::string& valueName, int16_t typeCode,
                              const Variant& value) {
    OpenKey k(m_registry, root, subKey, KEY_WRITE);
    if (!k.isOpen())
        return;
    std::vector<uint8_t> bytes;
    uint32_t type = 0;
    // Conversion errors leave through here with the key closed and nothing written.
    switch (typeCode) {
    case REG_SZ: {
        std::string text = toText(value);
        bytes.assign(text.begin(), text.end());
        bytes.push_back(0);
        type = REG_SZ;
        break;
    }
    case REG_BINARY: {
        auto p = std::get_if<std::vector<uint8_t>>(&value);
        if (!p)
            raiseError(err::TypeMismatch);
        bytes = *p;
        type = REG_BINARY;
        break;
    }
    case REG_DWORD: {
        auto u = static_cast<uint32_t>(toLong(value));
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
        type = REG_DWORD;
        break;
    }
    default:
        return;
    }
    m_registry.RegSetValueExA(k.key(), valueName, type, bytes.data(), static_cast<uint32_t>(bytes.size()));
}

} // namespace levora
