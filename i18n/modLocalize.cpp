#include "modLocalize.h"

#include "platform/Error.h"
#include "platform/Text.h"
#include "platform/Utf16.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

namespace levora {

namespace {

constexpr int32_t kTddTtyLanguageID = 33801; // private ID, no locale data behind it
constexpr int kLoadStringChars = 1200;

// Error 326, as the runtime reports a string ID that the program's resources lack.
constexpr int32_t kResourceNotFound = 326;

struct CodeRow {
    const char* code;
    int32_t languageId;
};

// The codes the language menu knows, compared in this order.
constexpr std::array<CodeRow, 44> kCodeTable = {{
    {"ENX", 33801}, {"ENU", 1033},  {"ENG", 2057},  {"ENA", 3081},  {"ENC", 4105},  {"ENZ", 5129}, {"ENI", 6153},
    {"DEU", 1031},  {"DES", 2055},  {"DEA", 3079},  {"DEL", 4103},  {"DEC", 5127},  {"ESP", 1034}, {"ESM", 2058},
    {"ESN", 3082},  {"ESG", 4106},  {"ESC", 5130},  {"ESA", 6154},  {"ESD", 7178},  {"ESV", 8202}, {"ESO", 9226},
    {"ESR", 10250}, {"ESS", 11274}, {"ESH", 18442}, {"ESI", 19466}, {"ESU", 20490}, {"FRA", 1036}, {"FRB", 2060},
    {"FRC", 3084},  {"FRS", 4108},  {"FRL", 5132},  {"ITA", 1040},  {"ITS", 2064},  {"JPN", 1041}, {"NLD", 1043},
    {"NLB", 2067},  {"NOR", 1044},  {"NON", 2068},  {"PTB", 1046},  {"PTG", 2070},  {"CHT", 1028}, {"ZHT", 3076},
    {"CHS", 2052},  {"ZHI", 4100},
}};

} // namespace

modLocalize::modLocalize(IResources& resources, ILocale& locale, IFileSystem& fs, IMessageBox& msgbox,
                         const AppInfo& app)
    : m_resources(resources), m_locale(locale), m_fs(fs), m_msgbox(msgbox), m_app(app) {}

void modLocalize::InitalizeLanguages() {
    StepRunner run([this](const Error& e) { m_msgbox.MsgBox("Error in InitalizeLanguages: " + e.description()); });

    run.step([&] {
        if (CurrentLanguageID == 0)
            CurrentLanguageID = m_locale.GetUserDefaultLangID();
    });
    run.step([&] {
        if (LanguageLibraryHandle != 0) {
            // Forget the handle before releasing it: should a later step fail, no lookup may
            // go to a library that is gone.
            const HMODULE old = LanguageLibraryHandle;
            LanguageLibraryHandle = 0;
            m_resources.FreeLibrary(old);
        }
    });
    std::string code;
    run.step([&] { code = strGetLanguageCode(CurrentLanguageID); });
    run.step([&] {
        const std::string path = m_app.programFolder + "\\" + m_app.exeBaseName + "_" + code + ".dll";
        LanguageLibraryHandle = m_resources.LoadLibraryAsData(path);
    });

    // List the libraries present, in the order the folder lists them.
    std::vector<std::string> found;
    int16_t counter = 0;
    std::vector<std::string> names;
    run.step([&] { names = m_fs.FileNames(m_app.programFolder); });
    const std::string prefix = upperForm(m_app.exeBaseName + "_");
    for (const std::string& name : names) {
        run.step([&] {
            if (!upperForm(name).starts_with(prefix))
                return;
            const std::u16string wide = toUtf16(name, BadUtf8::Replace);
            if (wide.size() < 3 || upperForm(toUtf8(wide.substr(wide.size() - 3))) != "DLL")
                return;
            // The three characters before the last four: "ENU" of "Levora_ENU.dll".
            if (wide.size() < 7)
                raiseError(err::InvalidCall);
            const std::string fileCode = toUtf8(wide.substr(wide.size() - 7, 3));
            found.resize(static_cast<size_t>(counter) + 1);
            found[static_cast<size_t>(counter)] = fileCode;
            if (counter == std::numeric_limits<int16_t>::max())
                raiseError(err::Overflow);
            ++counter;
        });
    }
    if (counter == 0)
        found.assign(1, std::string());
    FoundLanguageCodes = std::move(found);

    if (m_windows) {
        std::vector<ILoadedWindow*> windows;
        run.step([&] { windows = m_windows->loadedWindows(); });
        for (ILoadedWindow* w : windows)
            run.step([&] {
                if (w)
                    SetFormFonts(*w);
            });
    }

    if (m_languageListener) {
        // The toolkit's own texts follow; a language without a locale name leaves them English.
        std::string name;
        try {
            if (m_locale.GetLocaleInfoA(static_cast<uint32_t>(CurrentLanguageID), LOCALE_SNAME, name) <= 0)
                name.clear();
            m_languageListener(name);
        } catch (...) {
        }
    }
}

std::string modLocalize::mymyLoadString(int32_t id) {
    StepRunner run([this](const Error& e) { m_msgbox.MsgBox("error in mymyLoadString: " + e.description()); });
    std::string result;
    std::u16string buffer(kLoadStringChars, u'\0');
    int n = 0;
    run.step([&] {
        n = m_resources.LoadStringW(LanguageLibraryHandle, static_cast<uint32_t>(id), buffer, kLoadStringChars);
    });
    run.step([&] {
        if (n >= 1) {
            const size_t count = std::min({static_cast<size_t>(n), buffer.size(), size_t(kLoadStringChars - 1)});
            result = toUtf8(std::u16string_view(buffer).substr(0, count));
        } else {
            if (!hasBuiltInString(id))
                raiseError(kResourceNotFound, "Resource with identifier '" + std::to_string(id) + "' not found");
            result = builtInString(id);
        }
    });
    return result;
}

std::string modLocalize::strGetLanguageCode(int32_t languageId) {
    if (languageId == kTddTtyLanguageID)
        return "ENX";
    try {
        std::string value;
        if (m_locale.GetLocaleInfoA(static_cast<uint32_t>(languageId), LOCALE_SABBREVLANGNAME, value) <= 0)
            return "ERR";
        // The value stands in a buffer of blanks, ended by a NUL: take its first three characters.
        std::string first = value.substr(0, 3);
        first = first.substr(0, first.find('\0'));
        return trim(first, " ");
    } catch (...) {
        return "ERR";
    }
}

int32_t modLocalize::GetLanguageIDFromCode(const std::string& code) {
    for (const CodeRow& row : kCodeTable)
        if (code == row.code)
            return row.languageId;
    return 1033;
}

std::string modLocalize::strGetLanguageName(int32_t languageId) {
    if (languageId == kTddTtyLanguageID)
        return "English (TDD/TTY)";
    try {
        std::string name;
        const int n = m_locale.VerLanguageNameA(static_cast<uint32_t>(languageId), name);
        if (n <= 0)
            return "(error)";
        // A buffer of 256 holds at most 255 characters and the NUL.
        return name.substr(0, std::min<size_t>(static_cast<size_t>(n), 255));
    } catch (...) {
        return "(error)";
    }
}

std::string modLocalize::strGetLanguageNameFromCode(const std::string& code) {
    return strGetLanguageName(GetLanguageIDFromCode(code));
}

void modLocalize::SetFormFonts(ILoadedWindow& window) {
    try {
        window.forEachControl([this](IFontControl* control) {
            if (control)
                SetControlFont(*control);
        });
    } catch (...) {
        // Font assignments that fail are ignored.
    }
}

void modLocalize::SetControlFont(IFontControl& control) {
    const FontRow row = fontRowFor(CurrentLanguageID);
    try {
        control.setCharset(row.charset);
    } catch (...) {
    }
    try {
        control.setFaceName(row.face);
    } catch (...) {
    }
    try {
        control.setFontName(row.face);
    } catch (...) {
    }
}

FontRow modLocalize::fontRowFor(int32_t languageId) {
    switch (languageId) {
    case 1041:
        return {128, u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF"}; // MS P Gothic
    case 1042:
        return {129, u"\uAD74\uB9BC"}; // Gulim
    case 1028:
        return {136, u"\u65B0\u7D30\u660E\u9AD4"}; // PMingLiU
    case 2052:
        return {134, u"\u5B8B\u4F53"}; // SimSun
    default:
        return {1, u""};
    }
}

} // namespace levora
