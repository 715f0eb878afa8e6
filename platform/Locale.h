// Locale facts: the user's default language and the names of language IDs.
#pragma once

#include <cstdint>
#include <string>

namespace levora {

constexpr uint32_t LOCALE_SABBREVLANGNAME = 3;
constexpr uint32_t LOCALE_SNAME = 0x5C; // "de-DE"

class ILocale {
public:
    virtual ~ILocale() = default;
    virtual uint16_t GetUserDefaultLangID() = 0;
    // Like GetLocaleInfoA: writes the value into out, returns its length + 1, or 0 on failure.
    virtual int GetLocaleInfoA(uint32_t lcid, uint32_t lcType, std::string& out) = 0;
    // Like VerLanguageNameA: writes the name into out, returns its length, 0 on failure.
    virtual int VerLanguageNameA(uint32_t langId, std::string& out) = 0;
};

} // namespace levora
