#include "LinuxLocale.h"

#include "Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>

namespace levora {

namespace {

std::vector<std::string_view> splitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos)
            return fields;
        start = tab + 1;
    }
}

std::vector<LocaleRow> parseTable(std::string_view text) {
    std::vector<LocaleRow> rows;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        const auto f = splitTabs(line);
        if (f.size() < 5)
            continue;
        unsigned id = 0;
        const auto [ptr, ec] = std::from_chars(f[0].data(), f[0].data() + f[0].size(), id);
        if (ec != std::errc() || ptr != f[0].data() + f[0].size() || id == 0 || id > 0xFFFF)
            continue; // the header line, or a damaged row
        rows.push_back({static_cast<uint16_t>(id), std::string(f[2]), std::string(f[3]), std::string(f[4])});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.langId < b.langId; });
    return rows;
}

// Names that glibc still accepts but the table has under their current spelling.
std::string currentName(const std::string& lowerName) {
    if (lowerName == "no_no" || lowerName == "no")
        return "nb_no";
    if (lowerName == "iw_il")
        return "he_il";
    if (lowerName == "iw")
        return "he";
    return lowerName;
}

} // namespace

LinuxLocale::LinuxLocale()
    : LinuxLocale([](const std::string& name) -> std::optional<std::string> {
          const char* v = std::getenv(name.c_str());
          if (!v)
              return std::nullopt;
          return std::string(v);
      }) {}

LinuxLocale::LinuxLocale(EnvLookup env, std::string_view table) : m_env(std::move(env)), m_rows(parseTable(table)) {}

const LocaleRow* LinuxLocale::row(uint32_t lcid) const {
    const uint16_t id = static_cast<uint16_t>(lcid & 0xFFFF);
    auto it =
        std::lower_bound(m_rows.begin(), m_rows.end(), id, [](const LocaleRow& r, uint16_t v) { return r.langId < v; });
    return it != m_rows.end() && it->langId == id ? &*it : nullptr;
}

uint16_t LinuxLocale::langIdForPosix(const std::string& name) const {
    // language[_territory][.codeset][@modifier]
    std::string base = name, modifier;
    if (const size_t at = base.find('@'); at != std::string::npos) {
        modifier = base.substr(at);
        base.erase(at);
    }
    if (const size_t dot = base.find('.'); dot != std::string::npos)
        base.erase(dot);
    if (base == "C" || base == "POSIX")
        return 1033;
    base = currentName(lowerAscii(base));
    if (base.empty())
        return 0;
    const std::string withModifier = base + lowerAscii(modifier);
    for (const std::string& wanted : {withModifier, base})
        for (const LocaleRow& r : m_rows)
            if (!r.posix.empty() && lowerAscii(r.posix) == wanted)
                return r.langId;
    // Unknown region (or none given): the language's first row, which is its primary region.
    const std::string language = base.substr(0, base.find('_')) + "_";
    for (const LocaleRow& r : m_rows)
        if (lowerAscii(r.posix).starts_with(language) && r.posix.find('@') == std::string::npos)
            return r.langId;
    return 0;
}

uint16_t LinuxLocale::GetUserDefaultLangID() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const std::optional<std::string> value = m_env ? m_env(var) : std::nullopt;
        if (!value || value->empty())
            continue;
        const uint16_t id = langIdForPosix(*value);
        return id ? id : 1033;
    }
    return 1033;
}

int LinuxLocale::GetLocaleInfoA(uint32_t lcid, uint32_t lcType, std::string& out) {
    // LOCALE_NOUSEROVERRIDE and LOCALE_USE_CP_ACP change nothing here: there are no user overrides,
    // and the ANSI code page is UTF-8.
    const uint32_t type = lcType & ~0xC0000000u;
    const LocaleRow* r = row(lcid);
    if (!r)
        return 0;
    if (type == LOCALE_SABBREVLANGNAME) {
        out = r->abbrev;
    } else if (type == LOCALE_SNAME && !r->posix.empty()) {
        // "de_DE" -> "de-DE"; a POSIX modifier ("@latin") has no place in the tag.
        out = r->posix.substr(0, r->posix.find('@'));
        std::replace(out.begin(), out.end(), '_', '-');
    } else {
        return 0;
    }
    return static_cast<int>(out.size()) + 1;
}

int LinuxLocale::VerLanguageNameA(uint32_t langId, std::string& out) {
    const LocaleRow* r = row(langId);
    if (!r)
        return 0;
    out = r->englishName;
    return static_cast<int>(out.size());
}

} // namespace levora
