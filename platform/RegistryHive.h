// The registry's keys in memory: a tree of keys, each with its values in creation order. Names
// compare without regard to case and keep the spelling they were created with. Finding or adding
// a key costs the length of its path, so a file's keys load in time linear in its size.
#pragma once

#include "Registry.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace levora {

struct RegValue {
    std::string name; // empty: the key's default value
    uint32_t type = REG_NONE;
    std::vector<uint8_t>
        data; // types 2 and 7 in UTF-16LE, as a version 5 file has them; the rest as the A calls see it
};

class RegKey {
public:
    explicit RegKey(std::string name = {}, RegKey* parent = nullptr) : m_name(std::move(name)), m_parent(parent) {}

    const std::string& name() const { return m_name; }
    const std::vector<RegValue>& values() const { return m_values; }
    bool hasChildren() const { return !m_children.empty(); }
    RegValue* find(const std::string& valueName);
    void set(RegValue v); // a value that exists keeps its name's spelling and its place
    bool erase(const std::string& valueName);

private:
    friend class RegHive;
    std::string m_name;
    RegKey* m_parent;
    std::vector<RegValue> m_values;
    std::unordered_map<std::string, size_t> m_index;           // upperForm(name) -> position in m_values
    std::map<std::string, std::unique_ptr<RegKey>> m_children; // by upperForm(name): tree order
};

class RegHive {
public:
    RegKey* find(const std::string& path);
    const RegKey* find(const std::string& path) const;
    // The key, or HKEY_LOCAL_MACHINE, which always exists.
    bool exists(const std::string& path) const;
    // The key, created with its missing parents.
    RegKey& ensure(const std::string& path);
    // Removes the key and everything below it; false if it was not there.
    bool erase(const std::string& path);
    void set(const std::string& path, RegValue v) { ensure(path).set(std::move(v)); }

    // Each key from `path` down (all keys when empty) in tree order, with its full path; a root
    // key is passed with `isRoot` set.
    using Visit = std::function<void(const std::string& path, const RegKey& key, bool isRoot)>;
    void forEach(const Visit& visit, const std::string& path = {}) const;
    // The names of a key's direct sub-keys in tree order.
    std::vector<std::string> childNames(const std::string& path) const;

private:
    // The root keys are its children; on the heap, so that their parent stays put when a hive moves.
    std::unique_ptr<RegKey> m_top = std::make_unique<RegKey>();
};

} // namespace levora
