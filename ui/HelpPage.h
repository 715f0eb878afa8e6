// The help window's rules without the window: which page it opens, where a location given as
// text lies on the host, and how the browser follows the window's size.
#pragma once

#include "i18n/modLocalize.h"
#include "platform/AppInfo.h"
#include "platform/FileSystem.h"

#include <filesystem>
#include <string>

namespace levora {

// The location browserHelp navigates to for the current language: the language page
// "<folder>\<exe>_<code>.htm" as a plain path when it exists, else "file://" + the fallback
// page "<folder>\<exe>.htm" (not tested for existence).
std::string HelpPageLocation(modLocalize& loc, IFileSystem& fs, const AppInfo& app);

// The host file a location stands for: a Windows path, or "file://" followed by one (any letter
// case of the scheme; "file:///C:/..." is accepted too). Resolved through the machine prefix.
std::filesystem::path HelpLocationToHost(const std::string& location, IFileSystem& fs);

// Sizes in twips.
struct TwipRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const TwipRect&) const = default;
};

constexpr int kHelpMinWidth = 2500;
constexpr int kHelpMinHeight = 2400;
constexpr int kHelpClientWidth = 9405; // client area when the window opens
constexpr int kHelpClientHeight = 8040;

struct HelpLayout {
    int outerWidth; // the window's outer size after the minimum-size rule
    int outerHeight;
    TwipRect browser; // browserHelp, from that outer size
};

// The resize rule: the outer size held to at least 2500 x 2400 twips, the browser at (100, 1)
// with width - 200 and height - 400.
HelpLayout HelpResize(int outerWidth, int outerHeight);

} // namespace levora
