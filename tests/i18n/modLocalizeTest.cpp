// The language layer against real language libraries: built here by the same resource tools as
// the shipped ones, read by the platform's PE reader, named by the platform's locale table.
#include "i18n/modLocalize.h"
#include "platform/Utf16.h"

#include "platform/Error.h"
#include "platform/LinuxLocale.h"
#include "platform/PeResources.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

namespace levora {
namespace {

using test::ScriptedMessageBox;
using test::TempDir;

const char* const kProgramFolder = "C:\\Program Files\\Levora";

// The program folder "C:\Program Files\Levora" is a real temporary folder; everything else is
// outside what the language layer may touch.
class FolderFs : public IFileSystem {
public:
    explicit FolderFs(std::filesystem::path folder) : m_folder(std::move(folder)) {}

    std::filesystem::path HostPath(const std::string& path) override {
        const std::string prefix = std::string(kProgramFolder) + "\\";
        if (!path.starts_with(prefix))
            throw Error(err::PathNotFound);
        return m_folder / path.substr(prefix.size());
    }
    std::vector<std::string> FileNames(const std::string& folder) override {
        ++listings;
        if (folder != kProgramFolder || failListing)
            throw Error(err::PathNotFound);
        if (names)
            return *names;
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(m_folder))
            if (e.is_regular_file())
                out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    bool FileExists(const std::string&) override { return unexpected(); }
    bool FolderExists(const std::string&) override { return unexpected(); }
    std::vector<std::string> SubFolderNames(const std::string&) override {
        unexpected();
        return {};
    }
    void DeleteFile(const std::string&, bool) override { unexpected(); }
    void DeleteFolder(const std::string&, bool) override { unexpected(); }
    void CopyFile(const std::string&, const std::string&, bool) override { unexpected(); }
    void CopyFolder(const std::string&, const std::string&, bool) override { unexpected(); }
    void CreateFolder(const std::string&) override { unexpected(); }
    std::filesystem::file_time_type LastWriteTime(const std::string&) override {
        unexpected();
        return {};
    }
    bool IsReadOnly(const std::string&) override { return unexpected(); }
    FileHead ReadHead(const std::string&, size_t) override {
        unexpected();
        return {};
    }
    FileStat Stat(const std::string&) override {
        unexpected();
        return {};
    }
    std::string ReadFile(const std::string&, size_t) override {
        unexpected();
        return {};
    }
    std::unique_ptr<IOutputFile> OpenOutputFile(const std::string&, bool) override {
        unexpected();
        return nullptr;
    }

    std::optional<std::vector<std::string>> names; // a listing to report instead of the folder's
    bool failListing = false;
    int listings = 0;

private:
    bool unexpected() {
        ADD_FAILURE() << "the language layer used a file operation it has no business with";
        return false;
    }
    std::filesystem::path m_folder;
};

// Counts what the language layer asks of the resource service.
class SpyResources : public IResources {
public:
    explicit SpyResources(IResources& inner) : m_inner(inner) {}
    HMODULE LoadLibraryAsData(const std::string& path) override {
        loaded.push_back(path);
        return m_inner.LoadLibraryAsData(path);
    }
    void FreeLibrary(HMODULE module) override {
        freed.push_back(module);
        m_inner.FreeLibrary(module);
    }
    int LoadStringW(HMODULE module, uint32_t id, std::u16string& buffer, int chars) override {
        return m_inner.LoadStringW(module, id, buffer, chars);
    }
    std::vector<std::string> loaded;
    std::vector<HMODULE> freed;

private:
    IResources& m_inner;
};

struct FakeControl : IFontControl {
    void setCharset(int c) override {
        if (failCharset)
            throw Error(err::InvalidCall);
        charset = c;
    }
    void setFaceName(const std::u16string& f) override {
        if (failFace)
            throw std::runtime_error("no face on this control");
        face = f;
    }
    void setFontName(const std::u16string& f) override { fontName = f; }
    bool failCharset = false;
    bool failFace = false;
    int charset = -1;
    std::u16string face = u"unset";
    std::u16string fontName = u"unset";
};

struct FakeWindow : ILoadedWindow {
    std::string windowName() const override { return "frmFake"; }
    void forEachControl(const std::function<void(IFontControl*)>& f) override {
        for (IFontControl* c : controls)
            f(c);
    }
    void refreshControls() override {}
    std::vector<IFontControl*> controls;
};

struct FakeWindows : IWindowList {
    std::vector<ILoadedWindow*> loadedWindows() override { return windows; }
    bool callAutoInit(const std::string&) override { return false; }
    std::vector<ILoadedWindow*> windows;
};

// The rc text of one string: "" for a quote, \\ for a backslash.
std::string rcQuoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += "\"\"";
        else if (c == '\\')
            out += "\\\\";
        else
            out += c;
    }
    return out + "\"";
}

bool toolsPresent() {
    return std::filesystem::exists(LEVORA_WINDRES) && std::filesystem::exists(LEVORA_MINGW_LD);
}

// Builds dll from a UTF-8 string table with the tools and flags the build uses.
void buildLibrary(const std::filesystem::path& dll, int lang, int sublang, const std::map<int, std::string>& strings) {
    const std::filesystem::path work = dll.parent_path().parent_path() / ("rc-" + dll.stem().string());
    std::filesystem::create_directories(work);
    std::string rc = "#pragma code_page(65001)\nLANGUAGE " + std::to_string(lang) + ", " + std::to_string(sublang) +
                     "\nSTRINGTABLE\nBEGIN\n";
    for (const auto& [id, text] : strings)
        rc += "    " + std::to_string(id) + " " + rcQuoted(text) + "\n";
    rc += "END\n";
    test::writeFile(work / "lib.rc", rc);
    const std::string log = "'" + (work / "tools.log").string() + "'";
    const std::string windres = std::string("'") + LEVORA_WINDRES + "' --preprocessor=cpp -i '" +
                                (work / "lib.rc").string() + "' -o '" + (work / "lib.o").string() + "' -O coff";
    const std::string ld = std::string("'") + LEVORA_MINGW_LD + "' --dll -e 0 -s --no-insert-timestamp -o '" +
                           dll.string() + "' '" + (work / "lib.o").string() + "'";
    ASSERT_EQ(std::system((windres + " >" + log + " 2>&1").c_str()), 0) << test::readFile(work / "tools.log");
    ASSERT_EQ(std::system((ld + " >>" + log + " 2>&1").c_str()), 0) << test::readFile(work / "tools.log");
}

class Localize : public ::testing::Test {
protected:
    Localize()
        : m_folder(m_dir.path() / "program"), fs((std::filesystem::create_directories(m_folder), m_folder)),
          locale([this](const std::string& name) -> std::optional<std::string> {
              auto it = env.find(name);
              return it == env.end() ? std::nullopt : std::optional(it->second);
          }),
          pe(&modLocalize::builtInStringW, [this](const std::string& p) { return fs.HostPath(p); }), spy(pe),
          loc(spy, locale, fs, msgbox, app) {
        app.programFolder = kProgramFolder;
        app.exeBaseName = "Levora";
        loc.setWindowList(&windows);
    }

    std::filesystem::path programFile(const std::string& name) const { return m_folder / name; }

    std::vector<std::string> shownTexts() const {
        std::vector<std::string> out;
        for (const auto& s : msgbox.shown)
            out.push_back(s.text);
        return out;
    }

    TempDir m_dir;
    std::filesystem::path m_folder;

public:
    std::map<std::string, std::string> env;
    AppInfo app;
    FolderFs fs;
    LinuxLocale locale;
    PeResources pe;
    SpyResources spy;
    ScriptedMessageBox msgbox;
    FakeWindows windows;
    modLocalize loc;
};

// A German library with a translated, a missing, an empty and an over-long string.
std::map<int, std::string> germanStrings() {
    return {{0, " Build"},
            {18, "Beenden"},
            {29, "OK"},
            {30, ""},
            {31, "Vorhandene Dateien überschreiben?"},
            {36, std::string(1300, 'L')},
            {40, "Sprache auswählen \"Zitat\" C:\\Pfad"},
            {55, "Wiederherstellung abgeschlossen."}};
}

TEST_F(Localize, GermanLibraryOfTheUsersLanguageIsUsedWithEnglishFallback) {
    if (!toolsPresent())
        GTEST_SKIP() << "x86_64-w64-mingw32-windres/ld not installed";
    buildLibrary(programFile("Levora_DEU.dll"), 7, 1, germanStrings());
    env = {{"LANG", "de_DE.UTF-8"}};

    loc.InitalizeLanguages();
    EXPECT_EQ(loc.CurrentLanguageID, 1031);
    EXPECT_NE(loc.LanguageLibraryHandle, 0u);
    EXPECT_EQ(spy.loaded, std::vector<std::string>{"C:\\Program Files\\Levora\\Levora_DEU.dll"});
    EXPECT_EQ(loc.FoundLanguageCodes, std::vector<std::string>{"DEU"});

    EXPECT_EQ(loc.mymyLoadString(18), "Beenden");
    EXPECT_EQ(loc.mymyLoadString(31), "Vorhandene Dateien überschreiben?");
    EXPECT_EQ(loc.mymyLoadString(40), "Sprache auswählen \"Zitat\" C:\\Pfad");
    EXPECT_EQ(loc.mymyLoadString(55), "Wiederherstellung abgeschlossen.");
    EXPECT_EQ(loc.mymyLoadString(19), "File") << "an ID the library lacks";
    EXPECT_EQ(loc.mymyLoadString(30), "Options") << "an ID the library holds empty";
    EXPECT_EQ(loc.mymyLoadString(36), std::string(1199, 'L')) << "cut to 1199 characters";
    EXPECT_TRUE(msgbox.shown.empty());
}

TEST_F(Localize, WithoutAnyLibraryEverythingIsEnglish) {
    env = {{"LANG", "de_DE.UTF-8"}};
    test::writeFile(programFile("Levora"), "program");
    test::writeFile(programFile("Levora_DEU.txt"), "not a library");
    loc.InitalizeLanguages();
    EXPECT_EQ(loc.CurrentLanguageID, 1031);
    EXPECT_EQ(loc.LanguageLibraryHandle, 0u);
    EXPECT_EQ(loc.FoundLanguageCodes, std::vector<std::string>{""});
    for (int32_t id = 0; id < modLocalize::kStringCount; ++id) {
        if (!modLocalize::hasBuiltInString(id))
            continue;
        EXPECT_EQ(loc.mymyLoadString(id), modLocalize::builtInString(id)) << id;
    }
    EXPECT_TRUE(msgbox.shown.empty()) << "a missing library is not reported";
}

TEST_F(Localize, BuiltInTableHoldsEveryIdWithItsExactText) {
    // Every id up to the table's end has a text.
    for (int32_t id = 0; id < modLocalize::kStringCount; ++id)
        EXPECT_FALSE(modLocalize::builtInString(id).empty()) << id;
    // The texts are matched by what they say; a few with their own spacing and spelling.
    EXPECT_EQ(modLocalize::builtInString(0), " Build");
    EXPECT_EQ(modLocalize::builtInString(15), "Error in FormLoad routine:");
    EXPECT_EQ(modLocalize::builtInString(17), "Error in form load procedure: ");
    EXPECT_EQ(modLocalize::builtInString(22), "Max dB adjustement:");
    EXPECT_EQ(modLocalize::builtInString(37), "Save original files  to:");
    EXPECT_EQ(modLocalize::builtInString(42),
              "Syncronization between SQL and the directory failed.  Check log for details.");
    EXPECT_EQ(modLocalize::builtInString(53), "no languages loaded");
    EXPECT_EQ(modLocalize::builtInString(54), "File Name");
    EXPECT_EQ(modLocalize::builtInString(55),
              "Restore finished.  The greetings and voice names were copied back from the backup.");
    EXPECT_NE(modLocalize::builtInString(11).find("Orvane"), std::string::npos);
    EXPECT_NE(modLocalize::builtInString(13).find("1999"), std::string::npos);
    EXPECT_NE(modLocalize::builtInString(13).find("2003"), std::string::npos);
    EXPECT_NE(modLocalize::builtInString(50).find("Talvio"), std::string::npos);
    EXPECT_EQ(modLocalize::builtInString(56), "Level (dBov)");
    EXPECT_EQ(modLocalize::builtInString(-1), "");
    EXPECT_EQ(modLocalize::builtInStringW(13), toUtf16(modLocalize::builtInString(13), BadUtf8::Replace));
}

TEST_F(Localize, AnIdNeitherTableHoldsIsReportedAndGivesNoText) {
    for (int32_t id : {modLocalize::kStringCount, 1000, -1}) {
        msgbox.shown.clear();
        EXPECT_EQ(loc.mymyLoadString(id), "") << id;
        ASSERT_EQ(msgbox.shown.size(), 1u) << id;
        EXPECT_EQ(msgbox.shown[0].text,
                  "error in mymyLoadString: Resource with identifier '" + std::to_string(id) + "' not found");
        EXPECT_EQ(msgbox.shown[0].buttons, vbOKOnly);
    }
}

TEST_F(Localize, ScanListsQualifyingFilesInListingOrder) {
    fs.names = std::vector<std::string>{
        "Levora",         "LEVORA_deu.DLL", "Levora_ENUxdll", "Levora_FRA.dll.bak", "Other_JPN.dll",
        "Levora_JPN.dll", "LevoraJPN.dll",  "levora_ÄÖÜ.dll", "Levora_DEU.txt",     "Levora_ENX.Dll",
    };
    env = {{"LANG", "en_US.UTF-8"}};
    loc.InitalizeLanguages();
    EXPECT_EQ(loc.FoundLanguageCodes, (std::vector<std::string>{"deu", "ENU", "JPN", "ÄÖÜ", "ENX"}));
    EXPECT_TRUE(msgbox.shown.empty());
    // The code table is compared with regard to case: a lower-case code is not German.
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode("deu"), 1033);
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode("DEU"), 1031);
}

TEST_F(Localize, ARescanReplacesTheEarlierList) {
    fs.names = std::vector<std::string>{"Levora_DEU.dll", "Levora_FRA.dll"};
    loc.InitalizeLanguages();
    EXPECT_EQ(loc.FoundLanguageCodes, (std::vector<std::string>{"DEU", "FRA"}));
    fs.names = std::vector<std::string>{"Levora_JPN.dll"};
    loc.InitalizeLanguages();
    EXPECT_EQ(loc.FoundLanguageCodes, std::vector<std::string>{"JPN"});
    fs.names = std::vector<std::string>{};
    loc.InitalizeLanguages();
    EXPECT_EQ(loc.FoundLanguageCodes, std::vector<std::string>{""});
}

TEST_F(Localize, ANameTooShortForACodeIsReportedAndSkipped) {
    app.exeBaseName = "L";
    fs.names = std::vector<std::string>{"L_dll", "L_DEU.dll"};
    loc.InitalizeLanguages();
    EXPECT_EQ(shownTexts(),
              std::vector<std::string>{"Error in InitalizeLanguages: Invalid procedure call or argument"});
    EXPECT_EQ(loc.FoundLanguageCodes, std::vector<std::string>{"DEU"});
}

TEST_F(Localize, TheScanCounterIsSixteenBit) {
    std::vector<std::string> names;
    for (int i = 0; i < 32769; ++i)
        names.push_back("Levora_" + std::to_string(100 + i % 900) + ".dll");
    names.back() = "Levora_ZZZ.dll";
    fs.names = names;
    loc.InitalizeLanguages();
    // The 32768th file fills the last element and overflows the counter; the next one overwrites it.
    EXPECT_EQ(loc.FoundLanguageCodes.size(), 32768u);
    EXPECT_EQ(loc.FoundLanguageCodes.back(), "ZZZ");
    EXPECT_EQ(shownTexts(), std::vector<std::string>(2, "Error in InitalizeLanguages: Overflow"));
}

TEST_F(Localize, AFolderThatCannotBeListedIsReportedAndTheRestStillRuns) {
    fs.failListing = true;
    FakeControl control;
    FakeWindow window;
    window.controls = {&control};
    windows.windows = {&window};
    env = {{"LANG", "ja_JP.UTF-8"}};
    loc.InitalizeLanguages();
    EXPECT_EQ(shownTexts(), std::vector<std::string>{"Error in InitalizeLanguages: Path not found"});
    EXPECT_EQ(loc.FoundLanguageCodes, std::vector<std::string>{""});
    EXPECT_EQ(spy.loaded, std::vector<std::string>{"C:\\Program Files\\Levora\\Levora_JPN.dll"});
    EXPECT_EQ(control.charset, 128) << "fonts are still applied after the failed scan";
}

TEST_F(Localize, TheLibraryLoadedFollowsTheCurrentLanguageAndTheOldOneIsReleased) {
    if (!toolsPresent())
        GTEST_SKIP() << "x86_64-w64-mingw32-windres/ld not installed";
    buildLibrary(programFile("Levora_DEU.dll"), 7, 1, {{18, "Beenden"}});
    buildLibrary(programFile("Levora_FRA.dll"), 12, 1, {{18, "Quitter"}});
    env = {{"LANG", "de_DE.UTF-8"}};
    loc.CurrentLanguageID = 1036; // chosen in the About window: the user's default no longer counts
    loc.InitalizeLanguages();
    EXPECT_EQ(loc.mymyLoadString(18), "Quitter");
    const HMODULE french = loc.LanguageLibraryHandle;

    loc.CurrentLanguageID = 1031;
    loc.InitalizeLanguages();
    EXPECT_EQ(spy.freed, std::vector<HMODULE>{french});
    EXPECT_EQ(loc.mymyLoadString(18), "Beenden");

    loc.CurrentLanguageID = 1033; // no Levora_ENU.dll here
    loc.InitalizeLanguages();
    EXPECT_EQ(loc.LanguageLibraryHandle, 0u);
    EXPECT_EQ(loc.mymyLoadString(18), "Exit");
    EXPECT_EQ(loc.FoundLanguageCodes, (std::vector<std::string>{"DEU", "FRA"}));
}

TEST_F(Localize, DamagedLibrariesFallBackToEnglishWithoutACrash) {
    if (!toolsPresent())
        GTEST_SKIP() << "x86_64-w64-mingw32-windres/ld not installed";
    std::map<int, std::string> strings;
    for (int id = 0; id < modLocalize::kStringCount; ++id)
        strings[id] = "DE " + std::to_string(id);
    const auto good = m_dir.path() / "good" / "Levora_DEU.dll";
    std::filesystem::create_directories(good.parent_path());
    buildLibrary(good, 7, 1, strings);
    const std::string image = test::readFile(good);
    ASSERT_GT(image.size(), 512u);

    env = {{"LANG", "de_DE.UTF-8"}};
    std::mt19937 rng(4711);
    std::vector<std::string> variants = {"", "MZ", std::string(4096, '\xFF'), image.substr(0, 64),
                                         image.substr(0, 300)};
    for (int i = 0; i < 12; ++i)
        variants.push_back(image.substr(0, std::uniform_int_distribution<size_t>(0, image.size() - 1)(rng)));
    for (const std::string& bytes : variants) {
        SCOPED_TRACE("library of " + std::to_string(bytes.size()) + " bytes");
        test::writeFile(programFile("Levora_DEU.dll"), bytes);
        loc.InitalizeLanguages();
        for (int32_t id = 0; id < modLocalize::kStringCount; ++id) {
            if (!modLocalize::hasBuiltInString(id))
                continue;
            const std::string s = loc.mymyLoadString(id);
            // Either the library's own text for that ID, or the English one: never another ID's text.
            EXPECT_TRUE(s == strings[id] || s == modLocalize::builtInString(id)) << id << ": " << s;
        }
    }
    EXPECT_TRUE(msgbox.shown.empty());
    EXPECT_EQ(loc.FoundLanguageCodes, std::vector<std::string>{"DEU"});
}

TEST_F(Localize, LanguageCodesAndNames) {
    struct Case {
        int32_t id;
        const char* code;
        const char* name;
    };
    const std::vector<Case> cases = {
        {33801, "ENX", "English (TDD/TTY)"},
        {1033, "ENU", "English (United States)"},
        {1031, "DEU", "German (Germany)"},
        {1042, "KOR", "Korean (Korea)"},
        {0x10407, "DEU", "German (Germany)"},
        {12345, "ERR", "(error)"},
        {-1, "ERR", "(error)"},
        {0, "ERR", "(error)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(loc.strGetLanguageCode(c.id), c.code) << c.id;
        EXPECT_EQ(loc.strGetLanguageName(c.id), c.name) << c.id;
    }
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode("ENX"), 33801);
    EXPECT_EQ(loc.strGetLanguageNameFromCode("ENX"), "English (TDD/TTY)");
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode("KOR"), 1033);
    EXPECT_EQ(loc.strGetLanguageNameFromCode("KOR"), "English (United States)");
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode("ESF"), 1033);
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode(""), 1033);
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode("ERR"), 1033);
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode("Deu"), 1033);
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode("ZHT"), 3076);
    EXPECT_EQ(modLocalize::GetLanguageIDFromCode("ZHI"), 4100);
    EXPECT_TRUE(msgbox.shown.empty()) << "failed queries are not reported";
}

TEST_F(Localize, EveryCodeOfTheTableComesBackFromTheLocaleQuery) {
    // The code table and the platform's locale facts must agree, or a library listed under a
    // language would not be the one loaded for it.
    const std::vector<std::pair<std::string, int32_t>> table = {
        {"ENU", 1033},  {"ENG", 2057},  {"ENA", 3081},  {"ENC", 4105},  {"ENZ", 5129}, {"ENI", 6153}, {"DEU", 1031},
        {"DES", 2055},  {"DEA", 3079},  {"DEL", 4103},  {"DEC", 5127},  {"ESP", 1034}, {"ESM", 2058}, {"ESN", 3082},
        {"ESG", 4106},  {"ESC", 5130},  {"ESA", 6154},  {"ESD", 7178},  {"ESV", 8202}, {"ESO", 9226}, {"ESR", 10250},
        {"ESS", 11274}, {"ESH", 18442}, {"ESI", 19466}, {"ESU", 20490}, {"FRA", 1036}, {"FRB", 2060}, {"FRC", 3084},
        {"FRS", 4108},  {"FRL", 5132},  {"ITA", 1040},  {"ITS", 2064},  {"JPN", 1041}, {"NLD", 1043}, {"NLB", 2067},
        {"NOR", 1044},  {"NON", 2068},  {"PTB", 1046},  {"PTG", 2070},  {"CHT", 1028}, {"ZHT", 3076}, {"CHS", 2052},
        {"ZHI", 4100},
    };
    for (const auto& [code, id] : table) {
        EXPECT_EQ(modLocalize::GetLanguageIDFromCode(code), id) << code;
        EXPECT_EQ(loc.strGetLanguageCode(id), code) << id;
        EXPECT_NE(loc.strGetLanguageName(id), "(error)") << id;
    }
}

TEST_F(Localize, LocaleValuesAreTakenAsTheirFirstThreeCharactersTrimmed) {
    struct OddLocale : ILocale {
        uint16_t GetUserDefaultLangID() override { return 1031; }
        int GetLocaleInfoA(uint32_t lcid, uint32_t, std::string& out) override {
            static const std::map<uint32_t, std::string> values = {
                {1, " DE"}, {2, "DEUTSCH"}, {3, "D"}, {4, std::string("D\0X", 3)}};
            if (lcid == 5)
                throw std::runtime_error("locale service gone");
            out = values.at(lcid);
            return static_cast<int>(out.size()) + 1;
        }
        int VerLanguageNameA(uint32_t, std::string& out) override {
            out = std::string(300, 'n');
            return 300;
        }
    } odd;
    modLocalize l(spy, odd, fs, msgbox, app);
    EXPECT_EQ(l.strGetLanguageCode(1), "DE");
    EXPECT_EQ(l.strGetLanguageCode(2), "DEU");
    EXPECT_EQ(l.strGetLanguageCode(3), "D");
    EXPECT_EQ(l.strGetLanguageCode(4), "D");
    EXPECT_EQ(l.strGetLanguageCode(5), "ERR");
    EXPECT_EQ(l.strGetLanguageName(7), std::string(255, 'n'));
}

TEST_F(Localize, FontRowOfTheLanguageGoesToEveryControlOfEveryLoadedWindow) {
    FakeControl a, b, noCharset, noFace;
    noCharset.failCharset = true;
    noFace.failFace = true;
    FakeWindow main, about;
    main.controls = {&a, nullptr, &noCharset};
    about.controls = {&b, &noFace};
    windows.windows = {&main, &about};

    const std::u16string gothic = u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF";
    EXPECT_EQ(toUtf8(gothic), "ＭＳ Ｐゴシック");
    loc.CurrentLanguageID = 1041;
    loc.InitalizeLanguages();
    for (FakeControl* c : {&a, &b}) {
        EXPECT_EQ(c->charset, 128);
        EXPECT_EQ(c->face, gothic);
        EXPECT_EQ(c->fontName, gothic);
    }
    // A step that fails is skipped; the others still run.
    EXPECT_EQ(noCharset.charset, -1);
    EXPECT_EQ(noCharset.face, gothic);
    EXPECT_EQ(noCharset.fontName, gothic);
    EXPECT_EQ(noFace.charset, 128);
    EXPECT_EQ(noFace.face, u"unset");
    EXPECT_EQ(noFace.fontName, gothic);
    EXPECT_TRUE(msgbox.shown.empty()) << "font failures are silent";

    loc.CurrentLanguageID = 33801; // English (TDD/TTY): default fonts
    loc.SetFormFonts(main);
    EXPECT_EQ(a.charset, 1);
    EXPECT_EQ(a.face, u"");
    EXPECT_EQ(b.charset, 128) << "only the window asked for";
}

TEST(FontTable, RowsByLanguage) {
    struct Case {
        int32_t id;
        int charset;
        std::string face;
    };
    const std::vector<Case> cases = {
        {1041, 128, "ＭＳ Ｐゴシック"},
        {1042, 129, "굴림"},
        {1028, 136, "新細明體"},
        {2052, 134, "宋体"},
        {1033, 1, ""},
        {3076, 1, ""},
        {33801, 1, ""},
        {0, 1, ""},
    };
    for (const Case& c : cases) {
        const FontRow row = modLocalize::fontRowFor(c.id);
        EXPECT_EQ(row.charset, c.charset) << c.id;
        EXPECT_EQ(toUtf8(row.face), c.face) << c.id;
    }
}

TEST(ShippedLibraries, EachHoldsEveryString) {
    const std::filesystem::path bin = test::binDir();
    if (!std::filesystem::exists(bin / "Levora_ENU.dll"))
        GTEST_SKIP() << "no language libraries were built (resource tools missing)";
    PeResources pe(&modLocalize::builtInStringW);
    std::map<std::string, std::vector<std::string>> texts;
    for (const char* code : {"ENU", "DEU", "FRA", "JPN"}) {
        SCOPED_TRACE(code);
        const HMODULE h = pe.LoadLibraryAsData((bin / (std::string("Levora_") + code + ".dll")).string());
        ASSERT_NE(h, 0u);
        for (uint32_t id = 0; id < static_cast<uint32_t>(modLocalize::kStringCount); ++id) {
            std::u16string buffer(1200, u'\0');
            const int n = pe.LoadStringW(h, id, buffer, 1200);
            EXPECT_EQ(n > 0, modLocalize::hasBuiltInString(static_cast<int32_t>(id))) << "ID " << id;
            texts[code].push_back(toUtf8(std::u16string_view(buffer).substr(0, static_cast<size_t>(std::max(n, 0)))));
        }
        std::u16string buffer(16, u'\0');
        EXPECT_EQ(pe.LoadStringW(h, modLocalize::kStringCount, buffer, 16), 0) << "no IDs beyond the table";
    }
    // The English library is the built-in table, so switching back to English changes nothing.
    for (int32_t id = 0; id < modLocalize::kStringCount; ++id)
        EXPECT_EQ(texts["ENU"][static_cast<size_t>(id)], modLocalize::builtInString(id)) << id;
    // Translations, not copies: the menu words differ; the product name and the address do not.
    for (const char* code : {"DEU", "FRA", "JPN"}) {
        for (int id : {18, 19, 21, 53, 55, 58, 59})
            EXPECT_NE(texts[code][static_cast<size_t>(id)], texts["ENU"][static_cast<size_t>(id)]) << code << " " << id;
        EXPECT_EQ(texts[code][41], "Levora Level") << code;
        EXPECT_EQ(texts[code][35], texts["ENU"][35]) << code;
        // Message prefixes keep their trailing blank, as the description follows directly.
        for (int id : {14, 17})
            EXPECT_EQ(texts[code][static_cast<size_t>(id)].back(), ' ') << code << " " << id;
    }
    EXPECT_EQ(texts["DEU"][18], "Beenden");
    EXPECT_EQ(texts["FRA"][18], "Quitter");
    EXPECT_EQ(texts["JPN"][18], "終了");
}

} // namespace
} // namespace levora
