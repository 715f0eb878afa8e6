// Locale facts on Linux: the Windows locale table (language ID, three-letter abbreviation,
// English name, POSIX locale name) compiled in from windows-locales.tsv, and the user's default
// language taken from LC_ALL, LC_MESSAGES and LANG, in that order.
#pragma once

#include "Locale.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace levora {

struct LocaleRow {
    uint16_t langId;
    std::string abbrev;      // LOCALE_SABBREVLANGNAME ("DEU")
    std::string englishName; // what VerLanguageName gives ("German (Germany)")
    std::string posix;       // "de_DE"; empty when no POSIX name stands for the ID
};

// The text of windows-locales.tsv as it was at build time.
std::string_view embeddedLocaleTable();

class LinuxLocale : public ILocale {
public:
    // A variable of the process environment; nothing when it is unset.
    using EnvLookup = std::function<std::optional<std::string>(const std::string& name)>;

    // The process environment and the compiled-in table.
    LinuxLocale();
    // For tests: another environment and, if given, another table text.
    explicit LinuxLocale(EnvLookup env, std::string_view table = embeddedLocaleTable());

    // The first of LC_ALL, LC_MESSAGES, LANG that is set and not empty; unset, C, POSIX or a
    // name no row knows gives 1033.
    uint16_t GetUserDefaultLangID() override;
    int GetLocaleInfoA(uint32_t lcid, uint32_t lcType, std::string& out) override;
    int VerLanguageNameA(uint32_t langId, std::string& out) override;

    // The language ID a POSIX locale name stands for ("de_DE.UTF-8" -> 1031); 0 when none.
    // The code set is ignored; a modifier is matched when a row carries it ("sr_RS@latin"),
    // else dropped; a name whose region no row knows gets its language's first row.
    uint16_t langIdForPosix(const std::string& name) const;
    // The row of a language ID (an LCID is masked to its low 16 bits); null when unknown.
    const LocaleRow* row(uint32_t lcid) const;
    const std::vector<LocaleRow>& rows() const { return m_rows; }

private:
    EnvLookup m_env;
    std::vector<LocaleRow> m_rows; // sorted by language ID, as the table is
};

} // namespace levora
