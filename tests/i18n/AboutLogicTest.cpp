// The About window's logic: its load (version text, language menu), its labelling order and the
// language switch across every loaded window.
#include "i18n/AboutLogic.h"

#include "platform/Error.h"
#include "platform/Text.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <stdexcept>

namespace levora {
namespace {

// Language libraries by file name, each a table of strings; module 0 is the built-in table.
class FakeResources : public IResources {
public:
    void addLibrary(const std::string& fileName, std::map<uint32_t, std::u16string> strings) {
        m_libraries[lowerAscii(fileName)] = std::move(strings);
    }
    HMODULE LoadLibraryAsData(const std::string& path) override {
        loaded.push_back(path);
        std::string name = lowerAscii(path.substr(path.find_last_of("\\/") + 1));
        auto it = m_libraries.find(name);
        if (it == m_libraries.end())
            return 0;
        m_handles[++m_next] = &it->second;
        return m_next;
    }
    void FreeLibrary(HMODULE module) override { m_handles.erase(module); }
    int LoadStringW(HMODULE module, uint32_t id, std::u16string& buffer, int bufferChars) override {
        std::u16string text;
        if (module == 0) {
            text = modLocalize::builtInStringW(id);
        } else {
            auto h = m_handles.find(module);
            if (h == m_handles.end())
                return 0;
            auto s = h->second->find(id);
            if (s == h->second->end())
                return 0;
            text = s->second;
        }
        int n = std::min<int>(static_cast<int>(text.size()), bufferChars - 1);
        buffer.assign(static_cast<size_t>(bufferChars), u'\0');
        std::copy_n(text.begin(), n, buffer.begin());
        return n;
    }
    std::vector<std::string> loaded;

private:
    std::map<std::string, std::map<uint32_t, std::u16string>> m_libraries;
    std::map<HMODULE, std::map<uint32_t, std::u16string>*> m_handles;
    HMODULE m_next = 0;
};

struct FakeControl : IFontControl {
    void setCharset(int c) override { charset = c; }
    void setFaceName(const std::u16string& f) override { face = f; }
    void setFontName(const std::u16string& f) override { fontName = f; }
    int charset = -1;
    std::u16string face = u"unset";
    std::u16string fontName = u"unset";
};

struct FakeWindow : ILoadedWindow {
    explicit FakeWindow(std::string n) : name(std::move(n)) {}
    std::string windowName() const override { return name; }
    void forEachControl(const std::function<void(IFontControl*)>& f) override {
        ++fontPasses;
        for (auto& c : controls)
            f(&c);
        f(nullptr); // a menu item: no font
    }
    void refreshControls() override {
        ++refreshes;
        if (refreshThrows)
            throw Error(438, "Object doesn't support this property or method");
    }
    std::string name;
    FakeControl controls[2];
    int fontPasses = 0;
    int refreshes = 0;
    bool refreshThrows = false;
};

struct FakeAboutView : IAboutView {
    ILoadedWindow& window() override {
        events.push_back("fonts");
        return win;
    }
    void setCaption(const std::string& control, const std::string& text) override {
        events.push_back(control);
        captions[control] = text;
    }
    void setVersionText(const std::string& text) override {
        if (versionThrows)
            throw Error(err::Overflow);
        version = text;
    }
    void setLanguageItems(const std::vector<LanguageMenuItem>& i) override { items = i; }
    void setMousePointer(int p) override { pointers.push_back(p); }

    FakeWindow win{"frmAbout"};
    std::vector<std::string> events;
    std::map<std::string, std::string> captions;
    std::string version;
    std::vector<LanguageMenuItem> items;
    std::vector<int> pointers;
    bool versionThrows = false;
};

// The loaded windows and their labelling procedures, found by name in a table.
struct FakeWindowList : IWindowList {
    std::vector<ILoadedWindow*> loadedWindows() override { return windows; }
    bool callAutoInit(const std::string& procedure) override {
        calls.push_back(procedure);
        auto it = procedures.find(procedure);
        if (it == procedures.end())
            return false;
        it->second();
        return true;
    }
    std::vector<ILoadedWindow*> windows;
    std::map<std::string, std::function<void()>> procedures;
    std::vector<std::string> calls;
};

class AboutLogicTest : public test::ProgramFolderFixture {
protected:
    AboutLogicTest() {
        res.addLibrary("Levora_DEU.dll", {{10, u"Sprache ändern"}, {12, u"Bitte warten..."}, {41, u"Levora Pegel"}});
        res.addLibrary("Levora_JPN.dll", {{41, u"Levora レベル"}});
        loc.setWindowList(&windows);
    }
    void addFile(const std::string& name) { test::writeFile(folder() / name, "MZ"); }

    FakeResources res;
    modLocalize loc{res, locale, fs, msgbox, app};
    FakeWindowList windows;
    FakeAboutView view;
};

TEST_F(AboutLogicTest, LanguageMenuFollowsTheLibrariesBesideTheProgram) {
    struct Case {
        std::vector<std::string> files;
        std::vector<LanguageMenuItem> expected;
    };
    const std::vector<Case> cases{
        {{}, {{"no languages loaded", "1033"}}},
        {{"readme.txt", "Other_DEU.dll"}, {{"no languages loaded", "1033"}}},
        {{"Levora_DEU.dll"}, {{"German (Germany)", "1031"}}},
        // created out of order: the menu follows the folder listing
        {{"Levora_JPN.dll", "Levora_ENU.dll", "Levora_FRA.dll"},
         {{"English (United States)", "1033"}, {"French (France)", "1036"}, {"Japanese (Japan)", "1041"}}},
        {{"Levora_ENX.dll"}, {{"English (TDD/TTY)", "33801"}}},
        // a code outside the code table is listed under language 1033
        {{"Levora_KOR.dll"}, {{"English (United States)", "1033"}}},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(folder());
        std::filesystem::create_directories(folder());
        for (const auto& f : c.files)
            addFile(f);
        FakeAboutView v;
        AboutFormLoad(v, loc, msgbox, app);
        EXPECT_EQ(v.items, c.expected) << (c.files.empty() ? "no files" : c.files.front());
    }
    EXPECT_TRUE(msgbox.shown.empty());
}

TEST_F(AboutLogicTest, VersionTextCarriesTheSignBlanks) {
    EXPECT_EQ(AboutVersionText(app, loc), " 1.0 Build 35");
    AppInfo other = app;
    other.versionMajor = 2;
    other.versionMinor = 10;
    other.versionRevision = 7;
    EXPECT_EQ(AboutVersionText(other, loc), " 2.10 Build 7");
    AboutFormLoad(view, loc, msgbox, app);
    EXPECT_EQ(view.version, " 1.0 Build 35");
}

TEST_F(AboutLogicTest, LabellingSetsFontsFirstThenCaptionsInOrder) {
    loc.InitalizeLanguages();
    frmAbout_Auto_Init(view, loc);
    const std::vector<std::string> expected{"fonts",
                                            "frmAbout",
                                            "cmdOK",
                                            "lblOrvaneAddress2",
                                            "lblOrvaneAddress3",
                                            "lblChangeLanguage",
                                            "lblTrademark",
                                            "lblCopyright",
                                            "lblOrvaneAddress1",
                                            "lblVersionTitle(1)",
                                            "mnuSelectLanguage"};
    EXPECT_EQ(view.events, expected);
    EXPECT_EQ(view.win.fontPasses, 1);
    EXPECT_EQ(view.captions["frmAbout"], "Levora Level");
    EXPECT_EQ(view.captions["cmdOK"], "OK");
    EXPECT_EQ(view.captions["lblChangeLanguage"], "Change Language");
    EXPECT_EQ(view.captions["lblVersionTitle(1)"], "Version:");
    EXPECT_EQ(view.captions["mnuSelectLanguage"], "Select Language");
    for (const char* ours :
         {"lblOrvaneAddress1", "lblOrvaneAddress2", "lblOrvaneAddress3", "lblCopyright", "lblTrademark"})
        EXPECT_FALSE(view.captions[ours].empty()) << ours;
}

TEST_F(AboutLogicTest, AFailingLoadStepIsReportedAndTheLoadGoesOn) {
    addFile("Levora_DEU.dll");
    view.versionThrows = true;
    AboutFormLoad(view, loc, msgbox, app);
    ASSERT_EQ(msgbox.shown.size(), 1u);
    EXPECT_EQ(msgbox.shown[0].text, "Error in FormLoad routine:Overflow");
    EXPECT_EQ(msgbox.shown[0].buttons, vbOKOnly);
    // the steps after the failing one still ran
    ASSERT_EQ(view.items.size(), 1u);
    EXPECT_EQ(view.items[0].tag, "1031");
}

TEST(LanguageIdFromTag, ReadsTheTagsNumber) {
    EXPECT_EQ(LanguageIdFromTag("1033"), 1033);
    EXPECT_EQ(LanguageIdFromTag("  33801"), 33801);
    EXPECT_EQ(LanguageIdFromTag("1041 "), 1041);
    EXPECT_EQ(LanguageIdFromTag("-5"), -5);
    EXPECT_EQ(LanguageIdFromTag("2147483647"), 2147483647);
    EXPECT_EQ(LanguageIdFromTag("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", "   ", "abc", "-", "x1033"}) {
        try {
            LanguageIdFromTag(bad);
            ADD_FAILURE() << "no error for '" << bad << "'";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::TypeMismatch) << bad;
        }
    }
    for (const char* big : {"2147483648", "99999999999999999999", "-2147483649"}) {
        try {
            LanguageIdFromTag(big);
            ADD_FAILURE() << "no error for '" << big << "'";
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::Overflow) << big;
        }
    }
}

class SwitchTest : public AboutLogicTest {
protected:
    SwitchTest() {
        windows.windows = {&main, &view.win, &splash};
        windows.procedures["frmMain_Auto_Init"] = [this] {
            loc.SetFormFonts(main);
            mainCaption = loc.mymyLoadString(41);
        };
        windows.procedures["frmAbout_Auto_Init"] = [this] { frmAbout_Auto_Init(view, loc); };
        windows.procedures["frmSplashScreen_Auto_Init"] = [this] {
            loc.SetFormFonts(splash);
            splashLabel = loc.mymyLoadString(12);
        };
        loc.InitalizeLanguages(); // English at start
    }
    FakeWindow main{"frmMain"};
    FakeWindow splash{"frmSplashScreen"};
    std::string mainCaption;
    std::string splashLabel;
};

TEST_F(SwitchTest, GermanRelabelsEveryLoadedWindowIncludingAHiddenSplash) {
    addFile("Levora_DEU.dll");
    SwitchLanguage(view, loc, windows, "1031");
    EXPECT_EQ(loc.CurrentLanguageID, 1031);
    EXPECT_NE(loc.LanguageLibraryHandle, 0u);
    EXPECT_EQ(windows.calls,
              (std::vector<std::string>{"frmMain_Auto_Init", "frmAbout_Auto_Init", "frmSplashScreen_Auto_Init"}));
    EXPECT_EQ(mainCaption, "Levora Pegel");
    EXPECT_EQ(view.captions["lblChangeLanguage"], "Sprache ändern");
    EXPECT_EQ(view.captions["cmdOK"], "OK"); // missing from the library: English
    EXPECT_EQ(splashLabel, "Bitte warten...");
    for (FakeWindow* w : {&main, &view.win, &splash})
        EXPECT_EQ(w->refreshes, 1) << w->name;
    EXPECT_EQ(view.pointers, (std::vector<int>{vbHourglass, vbDefault}));
    EXPECT_TRUE(msgbox.shown.empty());
}

TEST_F(SwitchTest, JapaneseGivesEveryControlTheJapaneseFace) {
    SwitchLanguage(view, loc, windows, "1041");
    EXPECT_EQ(loc.CurrentLanguageID, 1041);
    EXPECT_EQ(mainCaption, "Levora レベル");
    const std::u16string face = u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF";
    for (FakeWindow* w : {&main, &view.win, &splash})
        for (const auto& c : w->controls) {
            EXPECT_EQ(c.charset, 128) << w->name;
            EXPECT_EQ(c.face, face) << w->name;
            EXPECT_EQ(c.fontName, face) << w->name;
        }
    // back to English: default character set, empty face
    SwitchLanguage(view, loc, windows, "1033");
    EXPECT_EQ(main.controls[0].charset, 1);
    EXPECT_EQ(main.controls[0].face, u"");
    EXPECT_EQ(mainCaption, "Levora Level");
}

TEST_F(SwitchTest, ALibraryOutsideTheCodeTableSwitchesToTheUsEnglishOne) {
    addFile("Levora_KOR.dll");
    res.addLibrary("Levora_KOR.dll", {{41, u"Korean caption"}});
    AboutFormLoad(view, loc, msgbox, app);
    ASSERT_EQ(view.items.size(), 1u);
    res.loaded.clear();
    SwitchLanguage(view, loc, windows, view.items[0].tag);
    EXPECT_EQ(loc.CurrentLanguageID, 1033);
    ASSERT_FALSE(res.loaded.empty());
    const std::string& path = res.loaded.back();
    EXPECT_EQ(path.substr(path.size() - 14), "Levora_ENU.dll") << path;
    EXPECT_EQ(mainCaption, "Levora Level");
}

TEST_F(SwitchTest, FailuresAreSkippedSilentlyAndThePointerComesBack) {
    addFile("Levora_DEU.dll");
    main.refreshThrows = true;
    windows.procedures["frmAbout_Auto_Init"] = [] { throw std::runtime_error("labelling failed"); };
    windows.procedures.erase("frmSplashScreen_Auto_Init"); // a window without its procedure
    SwitchLanguage(view, loc, windows, "1031");
    EXPECT_EQ(mainCaption, "Levora Pegel");
    EXPECT_EQ(splash.refreshes, 1); // still refreshed after its procedure was not found
    EXPECT_EQ(view.win.refreshes, 1);
    EXPECT_EQ(view.pointers, (std::vector<int>{vbHourglass, vbDefault}));
    EXPECT_TRUE(msgbox.shown.empty());
}

TEST_F(SwitchTest, AnUnreadableTagKeepsTheLanguageButStillRelabels) {
    SwitchLanguage(view, loc, windows, "not a number");
    EXPECT_EQ(loc.CurrentLanguageID, 1033);
    EXPECT_EQ(windows.calls.size(), 3u);
    EXPECT_EQ(view.pointers, (std::vector<int>{vbHourglass, vbDefault}));
    EXPECT_TRUE(msgbox.shown.empty());
}

} // namespace
} // namespace levora
