#include "i18n/AboutLogic.h"

#include "platform/Error.h"

#include <limits>

namespace levora {

namespace {

constexpr int32_t kBuildWord = 0;       // " Build"
constexpr int32_t kFormLoadPrefix = 15; // "Error in FormLoad routine:"
constexpr int32_t kNoLanguages = 53;    // "no languages loaded"
constexpr const char* kPlaceholderTag = "1033";

// A non-negative number is printed with a leading blank where its sign would stand.
std::string signedText(int n) {
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) on "x" + std::string inlined at -O3.
    std::string text = n >= 0 ? " " : "";
    text += std::to_string(n);
    return text;
}

} // namespace

const std::vector<AboutCaption>& AboutCaptions() {
    static const std::vector<AboutCaption> captions{
        {"frmAbout", 41},           {"cmdOK", 29},
        {"lblOrvaneAddress2", 35},  {"lblOrvaneAddress3", 48},
        {"lblChangeLanguage", 10},  {"lblTrademark", 50},
        {"lblCopyright", 13},       {"lblOrvaneAddress1", 11},
        {"lblVersionTitle(1)", 51}, {"mnuSelectLanguage", 40},
    };
    return captions;
}

std::string AboutVersionText(const AppInfo& app, modLocalize& loc) {
    return signedText(app.versionMajor) + "." + std::to_string(app.versionMinor) + loc.mymyLoadString(kBuildWord) +
           signedText(app.versionRevision);
}

std::vector<LanguageMenuItem> LanguageMenuItems(modLocalize& loc) {
    const auto& codes = loc.FoundLanguageCodes;
    if (codes.empty() || (codes.size() == 1 && codes.front().empty()))
        return {{loc.mymyLoadString(kNoLanguages), kPlaceholderTag}};
    std::vector<LanguageMenuItem> items;
    items.reserve(codes.size());
    for (const auto& code : codes)
        items.push_back(
            {loc.strGetLanguageNameFromCode(code), std::to_string(modLocalize::GetLanguageIDFromCode(code))});
    return items;
}

int32_t LanguageIdFromTag(const std::string& tag) {
    size_t i = 0;
    while (i < tag.size() && (tag[i] == ' ' || tag[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < tag.size() && (tag[i] == '-' || tag[i] == '+'))
        negative = tag[i++] == '-';
    if (i >= tag.size() || tag[i] < '0' || tag[i] > '9')
        raiseError(err::TypeMismatch);
    int64_t value = 0;
    for (; i < tag.size() && tag[i] >= '0' && tag[i] <= '9'; ++i) {
        value = value * 10 + (tag[i] - '0');
        if (value > int64_t{std::numeric_limits<int32_t>::max()} + 1)
            raiseError(err::Overflow);
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int32_t>::max() || value < std::numeric_limits<int32_t>::min())
        raiseError(err::Overflow);
    return static_cast<int32_t>(value);
}

void frmAbout_Auto_Init(IAboutView& view, modLocalize& loc) {
    loc.SetFormFonts(view.window());
    for (const auto& c : AboutCaptions())
        view.setCaption(c.control, loc.mymyLoadString(c.stringId));
}

void AboutFormLoad(IAboutView& view, modLocalize& loc, IMessageBox& msgbox, const AppInfo& app) {
    StepRunner run(
        [&](const Error& e) { msgbox.MsgBox(loc.mymyLoadString(kFormLoadPrefix) + e.description(), vbOKOnly); });
    run.step([&] { frmAbout_Auto_Init(view, loc); });
    run.step([&] { view.setVersionText(AboutVersionText(app, loc)); });
    run.step([&] { loc.InitalizeLanguages(); });
    run.step([&] { view.setLanguageItems(LanguageMenuItems(loc)); });
}

void SwitchLanguage(IAboutView& view, modLocalize& loc, IWindowList& windows, const std::string& tag) {
    StepRunner quiet(nullptr);
    quiet.step([&] { view.setMousePointer(vbHourglass); });
    quiet.step([&] { loc.CurrentLanguageID = LanguageIdFromTag(tag); });
    quiet.step([&] { loc.InitalizeLanguages(); });
    std::vector<ILoadedWindow*> loaded;
    quiet.step([&] { loaded = windows.loadedWindows(); });
    for (ILoadedWindow* w : loaded) {
        if (!w)
            continue;
        std::string name;
        quiet.step([&] { name = w->windowName(); });
        quiet.step([&] { loc.SetFormFonts(*w); });
        quiet.step([&] { windows.callAutoInit(name + "_Auto_Init"); });
        quiet.step([&] { w->refreshControls(); });
    }
    quiet.step([&] { view.setMousePointer(vbDefault); });
}

} // namespace levora
