#include "RegistryHive.h"

#include "WinPath.h"

namespace levora {

namespace {

const char* const kMachine = "HKEY_LOCAL_MACHINE";

// Calls `each` with every backslash-separated component of `path`; stops when it returns false.
template <typename F> bool eachComponent(const std::string& path, F each) {
    size_t start = 0;
    for (;;) {
        size_t bs = path.find('\\', start);
        if (!each(path.substr(start, bs == std::string::npos ? std::string::npos : bs - start)))
            return false;
        if (bs == std::string::npos)
            return true;
        start = bs + 1;
    }
}

void visit(const RegKey& key, std::string& path, bool isRoot, const RegHive::Visit& f,
           const std::map<std::string, std::unique_ptr<RegKey>>& (*children)(const RegKey&)) {
    f(path, key, isRoot);
    for (const auto& [fold, child] : children(key)) {
        size_t keep = path.size();
        path += '\\';
        path += child->name();
        visit(*child, path, false, f, children);
        path.resize(keep);
    }
}

} // namespace

RegValue* RegKey::find(const std::string& valueName) {
    auto it = m_index.find(upperForm(valueName));
    return it == m_index.end() ? nullptr : &m_values[it->second];
}

void RegKey::set(RegValue v) {
    auto [it, added] = m_index.try_emplace(upperForm(v.name), m_values.size());
    if (added) {
        m_values.push_back(std::move(v));
    } else {
        m_values[it->second].type = v.type;
        m_values[it->second].data = std::move(v.data);
    }
}

bool RegKey::erase(const std::string& valueName) {
    auto it = m_index.find(upperForm(valueName));
    if (it == m_index.end())
        return false;
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(it->second));
    m_index.clear();
    for (size_t i = 0; i < m_values.size(); ++i)
        m_index.emplace(upperForm(m_values[i].name), i);
    return true;
}

const RegKey* RegHive::find(const std::string& path) const {
    const RegKey* k = m_top.get();
    bool found = eachComponent(path, [&](const std::string& part) {
        auto it = k->m_children.find(upperForm(part));
        if (it == k->m_children.end())
            return false;
        k = it->second.get();
        return true;
    });
    return found ? k : nullptr;
}

RegKey* RegHive::find(const std::string& path) {
    return const_cast<RegKey*>(static_cast<const RegHive*>(this)->find(path));
}

bool RegHive::exists(const std::string& path) const {
    return find(path) || upperForm(path) == kMachine;
}

RegKey& RegHive::ensure(const std::string& path) {
    RegKey* k = m_top.get();
    eachComponent(path, [&](const std::string& part) {
        auto [it, added] = k->m_children.try_emplace(upperForm(part));
        if (added)
            it->second = std::make_unique<RegKey>(part, k);
        k = it->second.get();
        return true;
    });
    return *k;
}

bool RegHive::erase(const std::string& path) {
    RegKey* k = find(path);
    if (!k)
        return false;
    k->m_parent->m_children.erase(upperForm(k->m_name));
    return true;
}

void RegHive::forEach(const Visit& f, const std::string& path) const {
    auto children = [](const RegKey& k) -> const std::map<std::string, std::unique_ptr<RegKey>>& {
        return k.m_children;
    };
    if (path.empty()) {
        for (const auto& [fold, root] : m_top->m_children) {
            std::string p = root->name();
            visit(*root, p, true, f, children);
        }
        return;
    }
    if (const RegKey* k = find(path)) {
        std::string p = k->name(); // the spelling the keys were created with
        for (const RegKey* up = k->m_parent; up != m_top.get(); up = up->m_parent)
            p = up->name() + '\\' + p;
        visit(*k, p, k->m_parent == m_top.get(), f, children);
    }
}

std::vector<std::string> RegHive::childNames(const std::string& path) const {
    std::vector<std::string> out;
    if (const RegKey* k = find(path))
        for (const auto& [fold, child] : k->m_children)
            out.push_back(child->name());
    return out;
}

} // namespace levora
