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
#include <utility>
#include <vector>

namespace levora {

// A control whose font the language can set (Qt windows implement it). Any of the three may
// throw; SetControlFont then skips that step and goes on with the next.
//
// What the Windows font facts mean on Qt, where a font has no character set:
// - setCharset: the script the control must be able to show. 128 (Shift-JIS) = Japanese,
//   129 (Hangul) = Korean, 134 (GB2312) = Simplified Chinese, 136 (Big5) = Traditional Chinese;
//   the control's font gets, after its face, the families that support that writing system
//   (QFontDatabase::families(writingSystem)) as fall-backs, so the text renders even when the
//   named Windows face is not installed. 1 (DEFAULT_CHARSET) and any other value clear that
//   hint: glyph fall-back is left to the system's font configuration.
// - setFaceName: the family of the control's font. A name that is not installed is kept last in
//   the family list, behind the writing-system fall-backs ("ＭＳ Ｐゴシック" ends up in
//   IPAPGothic or VL PGothic, faces compact enough for the 13-pixel labels). An
//   empty name restores the family the control had when its window was built (the window's
//   default family), as an empty face leaves the default font in charge on Windows. Size,
//   weight and style are never touched.
// - setFontName: the control's own face-name property; on Qt it is the same font family, so
//   it applies the same rule again (harmless when setFaceName already did it).
class IFontControl {
public:
    virtual ~IFontControl() = default;
    virtual void setCharset(int charset) = 0;
    virtual void setFaceName(const std::u16string& face) = 0;
    virtual void setFontName(const std::u16string& face) = 0;
};

// A loaded window as the language layer sees it.
class ILoadedWindow {
public:
    virtual ~ILoadedWindow() = default;
    virtual std::string windowName() const = 0;                                   // "frmMain"
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
    // Told the current language's locale name ("de-DE"; empty when it has none) at the end of
    // every InitalizeLanguages, so that the toolkit's own texts can follow the language.
    void setLanguageListener(std::function<void(const std::string&)> listener) {
        m_languageListener = std::move(listener);
    }

    void InitalizeLanguages();
    std::string mymyLoadString(int32_t id);
    std::string strGetLanguageCode(int32_t languageId);
    static int32_t GetLanguageIDFromCode(const std::string& code);
    std::string strGetLanguageName(int32_t languageId);
    std::string strGetLanguageNameFromCode(const std::string& code);
    void SetFormFonts(ILoadedWindow& window);
    void SetControlFont(IFontControl& control);
    static FontRow fontRowFor(int32_t languageId);

    // IDs 0 to 54 are the program's texts; 55 is the restore's completion message; 56 and 57 are the
    // level column's caption and the level report's menu item; 58 refuses an operation while another
    // process works on the machine; 59 names a damaged registry at start-up; 60 refuses a backup folder
    // among the host's folders; 61 to 63 are the level column's cell texts; 64, 65 and 70 ask for and
    // report a stop during a run; 66 refuses a network drive; 67 and 68 say how a run went; 69 is the
    // menu item that ticks the files outside the target band.
    static constexpr int32_t kStringCount = 71;
    // The built-in English (United States) text of an ID; empty when the table has none.
    static std::string builtInString(int32_t id);
    static bool hasBuiltInString(int32_t id);
    // The same as UTF-16: the program's own string resources (module 0 of IResources).
    static std::u16string builtInStringW(uint32_t id);

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
    std::function<void(const std::string&)> m_languageListener;
};

} // namespace levora
