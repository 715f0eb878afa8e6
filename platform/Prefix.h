// The machine prefix: one directory that stands for one Windows machine, laid out as Wine
// lays out its prefixes (system.reg, dosdevices/<letter>: links, drive_c/).
#pragma once

#include <filesystem>
#include <string>

namespace levora {

class MachinePrefix {
public:
    // LEVORA_PREFIX, else $HOME/.levora.
    static std::filesystem::path defaultRoot();
    enum class Layout { Create, OnlyInExistingRoot };
    // Creates the layout on demand: drive_c/, and with a new dosdevices/ the links
    // c: -> ../drive_c and z: -> / (a drive removed later stays removed). OnlyInExistingRoot makes
    // nothing when the root is missing: opening a machine must not make one.
    explicit MachinePrefix(std::filesystem::path root, Layout layout = Layout::Create);

    const std::filesystem::path& root() const { return m_root; }
    std::filesystem::path systemReg() const { return m_root / "system.reg"; }
    std::filesystem::path dosdevices() const { return m_root / "dosdevices"; }
    // Held while a leveling run, prompt leveling or restore works on this machine.
    std::filesystem::path runLockFile() const { return m_root / "levora.lock"; }
    std::filesystem::path driveC() const { return m_root / "drive_c"; }
    // Maps a drive letter to another host folder (creates or replaces the link).
    void mapDrive(char letter, const std::filesystem::path& target);

private:
    std::filesystem::path m_root;
};

} // namespace levora
