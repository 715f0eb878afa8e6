// Language state, string loading, language codes and names, and fonts.
#pragma once

#include "platform/AppInfo.h"
#include "platform/FileSystem.h"
#include "platform/Locale.h"
#include "platform/Resources.h"
#include "platform/Ui.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace levora {

// A control whose font the language can set (Qt windows implement it).
class IFontControl {
public:
    virtual ~IFontControl() = default;
    virtual void setCharset(int charset) = 0;            // may throw: the step is skipped
    virtual void setFaceName(const std::u16string& face) = 0;
    virtual void setFontName(const std::u16string& face) = 0;
};

// A loaded window as the language layer sees it.
class ILoadedWindow {
public:
    virtual ~ILoadedWindow() = default;
    virtual std::string windowName() const = 0;                 // "frmMain"
    virtual void forEachControl(const std::function<void(IFontControl*)>& f) = 0; // null: control without a font
    virtual void refreshControls() = 0;
};

// The windows loaded at this moment, and each one's labelling procedure by name.
class IWindowList {
public:
    virtual ~IWindowList() = default;
    virtual std::vector<ILoadedWindow*> loadedWindows() = 0;
    // Calls "<name>_Auto_Init"; false when no window of that name is loaded.
    virtual bool callAutoInit(const std::string& procedureName) = 0;
};

struct FontRow {
    int charset;
    std::u16string face;
};

class modLocalize {
public:
    modLocalize(IResources& resources, ILocale& locale, IFileSystem& fs, IMessageBox& msgbox, const AppInfo& app);

    void setWindowList(IWindowList* windows) { m_windows = windows; }

    void InitalizeLanguages();
    std::string mymyLoadString(int32_t id);
    std::string strGetLanguageCode(int32_t languageId);
    static int32_t GetLanguageIDFromCode(const std::string& code);
    std::string strGetLanguageName(int32_t languageId);
    std::string strGetLanguageNameFromCode(const std::string& code);
    void SetFormFonts(ILoadedWindow& window);
    void SetControlFont(IFontControl& control);
    static FontRow fontRowFor(int32_t languageId);

    // The built-in English (United States) text of an ID; empty when the table has none.
    static std::string builtInString(int32_t id);

    int32_t CurrentLanguageID = 0;
    HMODULE LanguageLibraryHandle = 0;
    std::vector<std::string> FoundLanguageCodes{""};

private:
    IResources& m_resources;
    ILocale& m_locale;
    IFileSystem& m_fs;
    IMessageBox& m_msgbox;
    const AppInfo& m_app;
    IWindowList* m_windows = nullptr;
};

} // namespace levora
