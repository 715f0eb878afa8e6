// The About window's rules without the window: its labelling order, its load (version text and
// language menu) and the language switch that re-labels every loaded window.
#pragma once

#include "i18n/modLocalize.h"
#include "platform/AppInfo.h"
#include "platform/Ui.h"

#include <cstdint>
#include <string>
#include <vector>

namespace levora {

// Mouse pointer values of the window (the platform's MousePointer numbers).
constexpr int vbDefault = 0;
constexpr int vbHourglass = 11;

// One item of mnuLanguageList.
struct LanguageMenuItem {
    std::string caption;
    std::string tag; // the language ID as decimal text
    bool operator==(const LanguageMenuItem&) const = default;
};

// A caption of the About window set by its labelling procedure.
struct AboutCaption {
    const char* control; // "frmAbout" stands for the window's own caption
    int32_t stringId;
};

// The captions in the order frmAbout_Auto_Init sets them (after SetFormFonts).
const std::vector<AboutCaption>& AboutCaptions();

// The About window as its logic sees it (the Qt window implements it; tests use a double).
class IAboutView {
public:
    virtual ~IAboutView() = default;
    virtual ILoadedWindow& window() = 0;
    virtual void setCaption(const std::string& control, const std::string& text) = 0;
    virtual void setVersionText(const std::string& text) = 0;
    // Replaces mnuLanguageList: element 0 always exists; further elements follow it.
    virtual void setLanguageItems(const std::vector<LanguageMenuItem>& items) = 0;
    virtual void setMousePointer(int pointer) = 0;
};

// " 1.0 Build 35": major and revision with the blank a non-negative number is printed with,
// the minor number bare, string 0 between them.
std::string AboutVersionText(const AppInfo& app, modLocalize& loc);

// The language menu for the codes of the last scan: one placeholder item (string 53, tag "1033")
// when no library was found, else one item per code in listing order.
std::vector<LanguageMenuItem> LanguageMenuItems(modLocalize& loc);

// The numeric value of a menu tag: leading blanks ignored, then an optional sign and digits,
// as a 32-bit integer. Throws Error 13 when no digit follows, Error 6 when it does not fit.
int32_t LanguageIdFromTag(const std::string& tag);

// frmAbout_Auto_Init: the window's fonts, then its captions in their order.
void frmAbout_Auto_Init(IAboutView& view, modLocalize& loc);

// The load of the window: labelling, then the version text, a fresh scan of the language
// libraries and the menu; a failing step shows string 15 followed by the failure's description
// and the next step runs.
void AboutFormLoad(IAboutView& view, modLocalize& loc, IMessageBox& msgbox, const AppInfo& app);

// The switch to the language of a menu item: hourglass, CurrentLanguageID from the tag, a new
// initialisation, then for every loaded window its fonts, its labelling procedure (called by
// name) and a refresh of its controls. Every failure is skipped silently; the pointer is
// restored in any case.
void SwitchLanguage(IAboutView& view, modLocalize& loc, IWindowList& windows, const std::string& tag);

} // namespace levora
