#include "RegistryStore.h"

#include "RegistryFile.h"
#include "RegistryText.h"
#include "Utf16.h"

#include <cstring>

namespace fs = std::filesystem;

namespace levora {

namespace {

const char* const kMachine = "HKEY_LOCAL_MACHINE";
const char* const kClasses = "HKEY_LOCAL_MACHINE\\Software\\Classes";

bool isUtf16Type(uint32_t type) {
    return type == REG_EXPAND_SZ || type == 7 /* REG_MULTI_SZ */;
}

bool isPredefined(HKEY k) {
    return k >= 0x80000000u && k <= 0x80000006u;
}

} // namespace

struct RegistryStore::Impl {
    explicit Impl(fs::path file) : store(std::move(file)) {}

    RegistryFile store;
    mutable std::mutex mutex;

    struct Handle {
        std::string path;
        uint32_t access;
    };
    std::map<HKEY, Handle> handles;
    HKEY nextHandle = 0x1000;
    std::string lastError;

    RegHive& current() { return store.current(); }
    long modify(const std::function<long(RegHive&)>& change) {
        long rc = store.modify(change, lastError);
        if (rc == ERROR_SUCCESS)
            lastError.clear();
        return rc;
    }

    // The key a handle stands for; empty when the handle is unknown.
    bool resolve(HKEY key, std::string& path, uint32_t& access) const {
        if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) {
            path = key == HKEY_LOCAL_MACHINE ? kMachine : kClasses;
            access = ~0u;
            return true;
        }
        auto it = handles.find(key);
        if (it == handles.end())
            return false;
        path = it->second.path;
        access = it->second.access;
        return true;
    }

    // The path of an open key that was opened with `right`; otherwise the error the call returns.
    long openedWith(HKEY key, uint32_t right, std::string& path) const {
        uint32_t access = 0;
        if (!resolve(key, path, access))
            return ERROR_INVALID_HANDLE;
        return (access & right) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }

    // Normalizes an administration path; false (with lastError) for a root the store does not keep.
    bool adminPath(const std::string& full, std::string& path) {
        Root r = normalizeKey(full, path);
        if (r == Root::Machine)
            return true;
        lastError = r == Root::Invalid ? "not a valid key name (an empty part, a line break or more than " +
                                             std::to_string(kMaxKeyDepth) + " levels): " + excerpt(full)
                                       : "only HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT are kept here: " + full;
        return false;
    }
};

RegistryStore::RegistryStore(fs::path systemReg) : m_impl(std::make_unique<Impl>(std::move(systemReg))) {}

RegistryStore::~RegistryStore() = default;

long RegistryStore::RegOpenKeyExA(HKEY root, const std::string& subKey, uint32_t, uint32_t samDesired, HKEY* result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(m_impl->mutex);
    std::string base;
    uint32_t access = 0;
    if (isPredefined(root) && root != HKEY_LOCAL_MACHINE && root != HKEY_CLASSES_ROOT)
        return ERROR_FILE_NOT_FOUND; // only the machine's keys are kept
    if (!m_impl->resolve(root, base, access))
        return ERROR_INVALID_HANDLE;
    std::string path = base;
    if (!subKey.empty()) {
        if (subKey[0] == '\\')
            return ERROR_BAD_PATHNAME;
        std::string rest = subKey;
        if (rest.back() == '\\')
            rest.pop_back(); // "Software\Quillon\" opens "Software\Quillon"
        if (rest.empty() || rest.find("\\\\") != std::string::npos)
            return ERROR_BAD_PATHNAME;
        path += '\\' + rest;
    }
    RegHive& h = m_impl->current();
    bool isClassesRoot = path == kClasses && root == HKEY_CLASSES_ROOT;
    if (!h.exists(path) && !isClassesRoot)
        return ERROR_FILE_NOT_FOUND;
    HKEY k = m_impl->nextHandle;
    m_impl->nextHandle += 4;
    m_impl->handles[k] = {path, samDesired};
    *result = k;
    return ERROR_SUCCESS;
}

long RegistryStore::RegQueryValueExA(HKEY key, const std::string& valueName, uint32_t* type, uint8_t* data,
                                     uint32_t* cbData) {
    if (data && !cbData)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (long rc = m_impl->openedWith(key, KEY_QUERY_VALUE, path); rc != ERROR_SUCCESS)
        return rc;
    RegKey* k = m_impl->current().find(path);
    if (!k && path != kMachine && path != kClasses)
        return ERROR_KEY_DELETED; // deleted by another process since it was opened
    RegValue* v = k ? k->find(valueName) : nullptr;
    if (!v)
        return ERROR_FILE_NOT_FOUND;
    std::vector<uint8_t> bytes = v->data;
    if (isUtf16Type(v->type)) {
        std::string s = utf16leToUtf8(bytes.data(), bytes.size());
        bytes.assign(s.begin(), s.end());
    }
    if (type)
        *type = v->type;
    if (!cbData)
        return ERROR_SUCCESS;
    uint32_t size = static_cast<uint32_t>(bytes.size());
    if (data && *cbData < size) {
        *cbData = size;
        return ERROR_MORE_DATA;
    }
    if (data && size)
        std::memcpy(data, bytes.data(), size);
    *cbData = size;
    return ERROR_SUCCESS;
}

long RegistryStore::RegSetValueExA(HKEY key, const std::string& valueName, uint32_t type, const uint8_t* data,
                                   uint32_t cbData) {
    if (!data && cbData)
        return ERROR_INVALID_PARAMETER;
    if (valueName.find_first_of("\r\n") != std::string::npos)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (long rc = m_impl->openedWith(key, KEY_SET_VALUE, path); rc != ERROR_SUCCESS)
        return rc;
    RegValue v{valueName, type, std::vector<uint8_t>(data, data + cbData)};
    if (isUtf16Type(type))
        v.data = utf8ToUtf16le(v.data.data(), v.data.size(), BadUtf8::Latin1);
    return m_impl->modify([&](RegHive& h) -> long {
        if (!h.exists(path))
            return ERROR_KEY_DELETED; // removed since it was opened: never re-created by a set
        h.set(path, std::move(v));
        return ERROR_SUCCESS;
    });
}

long RegistryStore::RegCloseKey(HKEY key) {
    if (isPredefined(key))
        return ERROR_SUCCESS;
    std::lock_guard g(m_impl->mutex);
    return m_impl->handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

std::optional<RegistryDamage> RegistryStore::damage() {
    std::lock_guard g(m_impl->mutex);
    auto d = m_impl->store.damage();
    if (!d)
        return std::nullopt;
    return RegistryDamage{d->file, d->line, d->what};
}

bool RegistryStore::createKey(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    return m_impl->modify([&](RegHive& h) -> long {
        h.ensure(path);
        return ERROR_SUCCESS;
    }) == ERROR_SUCCESS;
}

bool RegistryStore::deleteKey(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    if (path.find('\\') == std::string::npos) {
        m_impl->lastError = "a root key cannot be deleted";
        return false;
    }
    return m_impl->modify([&](RegHive& h) -> long {
        if (!h.erase(path)) {
            m_impl->lastError = "the key does not exist: " + path;
            return ERROR_FILE_NOT_FOUND;
        }
        return ERROR_SUCCESS;
    }) == ERROR_SUCCESS;
}

bool RegistryStore::setValue(const std::string& fullKey, const std::string& name, uint32_t type,
                             const std::vector<uint8_t>& data) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    if (name.find_first_of("\r\n") != std::string::npos) {
        m_impl->lastError = "a value name cannot contain a line break";
        return false;
    }
    RegValue v{name, type, data};
    if (isUtf16Type(type))
        v.data = utf8ToUtf16le(data.data(), data.size(), BadUtf8::Latin1);
    return m_impl->modify([&](RegHive& h) -> long {
        h.set(path, std::move(v));
        return ERROR_SUCCESS;
    }) == ERROR_SUCCESS;
}

bool RegistryStore::deleteValue(const std::string& fullKey, const std::string& name) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    return m_impl->modify([&](RegHive& h) -> long {
        RegKey* k = h.find(path);
        RegValue* v = k ? k->find(name) : nullptr;
        if (!v) {
            m_impl->lastError = k ? "the value does not exist: " + (name.empty() ? "(Default)" : name)
                                  : "the key does not exist: " + path;
            return ERROR_FILE_NOT_FOUND;
        }
        k->erase(name);
        return ERROR_SUCCESS;
    }) == ERROR_SUCCESS;
}

bool RegistryStore::importFile(const fs::path& regFile, std::string* error) {
    std::lock_guard g(m_impl->mutex);
    auto failWith = [&](const std::string& why) {
        m_impl->lastError = why;
        if (error)
            *error = why;
        return false;
    };
    std::string bytes;
    int err = 0;
    if (readWholeFile(regFile, bytes, err) != ReadResult::Ok)
        return failWith("cannot read " + regFile.string() + ": " + std::strerror(err));
    RegText p = loadKeys(bytes, regFile.string(), false);
    if (!p.ok())
        return failWith(p.error.message());
    for (const auto& op : p.ops)
        if (op.root != Root::Machine)
            return failWith(regFile.string() + ": only HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT can be imported (" +
                            op.key + ")");
    long rc = m_impl->modify([&](RegHive& h) -> long {
        applyAll(h, p.ops);
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS)
        return failWith(m_impl->lastError);
    return true;
}

bool RegistryStore::exportKey(const std::string& fullKey, const fs::path& regFile) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    RegHive& h = m_impl->current();
    if (!h.find(path) && path != kMachine) {
        m_impl->lastError = "the key does not exist: " + path;
        return false;
    }
    if (!replaceFileWith(regFile, writeKeys(h, path), m_impl->lastError))
        return false;
    m_impl->lastError.clear();
    return true;
}

bool RegistryStore::keyExists(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (normalizeKey(fullKey, path) == Root::Invalid)
        return false;
    return m_impl->current().exists(path);
}

std::vector<std::string> RegistryStore::subKeys(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::vector<std::string> out;
    std::string path;
    if (normalizeKey(fullKey, path) == Root::Invalid)
        return out;
    for (const auto& name : m_impl->current().childNames(path))
        out.push_back(path + '\\' + name);
    return out;
}

std::vector<RegistryStore::ValueEntry> RegistryStore::values(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::vector<ValueEntry> out;
    std::string path;
    if (normalizeKey(fullKey, path) == Root::Invalid)
        return out;
    RegKey* k = m_impl->current().find(path);
    if (!k)
        return out;
    for (const auto& v : k->values()) {
        ValueEntry e{v.name, v.type, v.data};
        if (isUtf16Type(v.type)) {
            std::string s = utf16leToUtf8(v.data.data(), v.data.size());
            e.data.assign(s.begin(), s.end());
        }
        out.push_back(std::move(e));
    }
    return out;
}

std::string RegistryStore::lastError() const {
    std::lock_guard g(m_impl->mutex);
    return m_impl->lastError;
}

} // namespace levora
