// The windows loaded at this moment, in load order, and a table of their labelling procedures
// by name ("frmMain_Auto_Init"), so the language switch can call each one by name.
#pragma once

#include "i18n/modLocalize.h"

#include <functional>
#include <string>
#include <vector>

namespace levora {

class WindowList : public IWindowList {
public:
    // A window registers itself when it loads; its procedure is filed as "<windowName>_Auto_Init".
    void add(ILoadedWindow* window, std::function<void()> autoInit);
    // When it unloads.
    void remove(ILoadedWindow* window);
    bool isLoaded(const std::string& windowName) const;

    std::vector<ILoadedWindow*> loadedWindows() override;
    bool callAutoInit(const std::string& procedureName) override;

private:
    struct Entry {
        ILoadedWindow* window;
        std::string procedure;
        std::function<void()> autoInit;
    };
    const Entry* find(const std::string& procedureName) const;
    std::vector<Entry> m_entries;
};

} // namespace levora
