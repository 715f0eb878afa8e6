// User-interface services that the Qt-free logic calls. The Qt windows implement them; tests
// use scripted doubles (see tests/support).
#pragma once

#include <string>
#include <vector>

namespace levora {

// Buttons and answers, as the platform's MsgBox numbers them.
constexpr int vbOKOnly = 0;
constexpr int vbOKCancel = 1;
constexpr int vbYesNo = 4;
constexpr int vbOK = 1;
constexpr int vbCancel = 2;
constexpr int vbYes = 6;
constexpr int vbNo = 7;

class IMessageBox {
public:
    virtual ~IMessageBox() = default;
    // An empty title shows the application title "Levora".
    virtual int MsgBox(const std::string& text, int buttons = vbOKOnly, const std::string& title = {}) = 0;
};

class IEventPump {
public:
    virtual ~IEventPump() = default;
    // Lets every pending window event run, then returns.
    virtual void DoEvents() = 0;
    // Waits up to maxMs for window events, handling each as it comes.
    virtual void WaitEvents(int maxMs) = 0;
};

class IClock {
public:
    virtual ~IClock() = default;
    // Seconds on a monotonic clock.
    virtual double Now() = 0;
};

// Where a folder browser starts and the places its side bar offers, as host folders.
struct FolderBrowse {
    struct Place {
        std::string label; // "C:"
        std::string folder;
    };
    std::string start; // empty: the browser's own choice
    std::vector<Place> places;
};

class IFolderDialog {
public:
    virtual ~IFolderDialog() = default;
    // The host path of the chosen folder, empty on cancel.
    virtual std::string ChooseFolder(const FolderBrowse& where) = 0;
};

} // namespace levora
