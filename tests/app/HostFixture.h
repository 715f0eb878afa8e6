// A Talvio host in a fresh machine prefix, built by each test for itself: the registry values the
// start-up reads and the folders the file list walks.
#pragma once

#include "platform/AppInfo.h"
#include "platform/LinuxFileSystem.h"
#include "platform/Prefix.h"
#include "platform/Registry.h"
#include "platform/RegistryStore.h"
#include "platform/WinPath.h"
#include "support/TestSupport.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace levora::test {

inline const std::string kVersionKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane Systems\\Orvane Talvio";
inline const std::string kAgcFullKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization";
inline const std::string kSetupFullKey = "HKEY_LOCAL_MACHINE\\Software\\Quillon\\Vantor Setup\\1.0\\Properties";

inline std::vector<uint8_t> dword(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u >> 16),
            static_cast<uint8_t>(u >> 24)};
}

struct TestHost {
    TestHost() {
        app.programFolder = "C:\\Program Files\\Levora";
        app.exeBaseName = "Levora";
        std::filesystem::create_directories(prefix.driveC() / "Program Files" / "Levora");
        store.createKey(kAgcFullKey);
        store.createKey(kSetupFullKey);
    }

    void setVersion(int major, int minor, int release, int build) {
        store.setValue(kVersionKey, "MajorVersion", REG_DWORD, dword(major));
        store.setValue(kVersionKey, "MinorVersion", REG_DWORD, dword(minor));
        store.setValue(kVersionKey, "ReleaseVersion", REG_DWORD, dword(release));
        store.setValue(kVersionKey, "BuildVersion", REG_DWORD, dword(build));
    }
    void setAgc(const std::string& name, int32_t value) { store.setValue(kAgcFullKey, name, REG_DWORD, dword(value)); }
    void setRoot(const std::string& root) {
        std::vector<uint8_t> text(root.begin(), root.end());
        text.push_back(0);
        store.setValue(kSetupFullKey, "VantorRootPath", REG_SZ, text);
    }
    // Writes a file (and its folders) at a Windows path of the prefix.
    void file(const std::string& winPath, const std::string& bytes = "RIFF") { writeFile(ns.toHost(winPath), bytes); }
    void folder(const std::string& winPath) { std::filesystem::create_directories(ns.toHost(winPath)); }

    // 3.1(5), root C:\Talvio, one greeting.
    void standard() {
        setVersion(3, 1, 5, 0);
        setRoot("C:\\Talvio");
        file("C:\\Talvio\\Stream Files\\greeting1.wav");
    }

    TempDir tmp;
    MachinePrefix prefix{tmp.path() / "prefix"};
    PathNamespace ns{prefix};
    RegistryStore store{prefix.systemReg()};
    LinuxFileSystem fs{ns};
    AppInfo app;
};

// The registry as the program sees it, with every key it opens and every value it queries noted.
class RecordingRegistry : public IRegistry {
public:
    explicit RecordingRegistry(IRegistry& inner) : m_inner(inner) {}
    long RegOpenKeyExA(HKEY root, const std::string& subKey, uint32_t options, uint32_t sam, HKEY* result) override {
        opened.push_back(subKey);
        return m_inner.RegOpenKeyExA(root, subKey, options, sam, result);
    }
    long RegQueryValueExA(HKEY key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* cb) override {
        queried.push_back(name);
        return m_inner.RegQueryValueExA(key, name, type, data, cb);
    }
    long RegSetValueExA(HKEY key, const std::string& name, uint32_t type, const uint8_t* data, uint32_t cb) override {
        return m_inner.RegSetValueExA(key, name, type, data, cb);
    }
    long RegCloseKey(HKEY key) override { return m_inner.RegCloseKey(key); }
    std::optional<RegistryDamage> damage() override { return m_inner.damage(); }

    bool wasOpened(const std::string& subKey) const {
        for (const auto& k : opened)
            if (equalsNoCase(k, subKey))
                return true;
        return false;
    }

    std::vector<std::string> opened;
    std::vector<std::string> queried;

private:
    IRegistry& m_inner;
};

} // namespace levora::test
