#include "WindowList.h"

#include "platform/WinPath.h"

#include <algorithm>

namespace levora {

void WindowList::add(ILoadedWindow* window, std::function<void()> autoInit) {
    remove(window);
    m_entries.push_back({window, window->windowName() + "_Auto_Init", std::move(autoInit)});
}

void WindowList::remove(ILoadedWindow* window) {
    std::erase_if(m_entries, [window](const Entry& e) { return e.window == window; });
}

bool WindowList::isLoaded(const std::string& windowName) const {
    return find(windowName + "_Auto_Init") != nullptr;
}

std::vector<ILoadedWindow*> WindowList::loadedWindows() {
    std::vector<ILoadedWindow*> out;
    out.reserve(m_entries.size());
    for (const auto& e : m_entries)
        out.push_back(e.window);
    return out;
}

const WindowList::Entry* WindowList::find(const std::string& procedureName) const {
    // Procedure names compare as the runtime compares them: without regard to case.
    auto it = std::find_if(m_entries.begin(), m_entries.end(),
                           [&](const Entry& e) { return equalsNoCase(e.procedure, procedureName); });
    return it == m_entries.end() ? nullptr : &*it;
}

bool WindowList::callAutoInit(const std::string& procedureName) {
    const Entry* e = find(procedureName);
    if (!e || !e->autoInit)
        return false;
    // Copy: the procedure may load or unload windows and so change the table.
    auto fn = e->autoInit;
    fn();
    return true;
}

} // namespace levora
