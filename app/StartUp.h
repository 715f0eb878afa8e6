// The start-up of Levora: the main window's load handler. It runs before the window is shown and
// may end the program instead (old host, remote session, no greeting found).
#pragma once

#include "app/MainForm.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "i18n/modLocalize.h"
#include "platform/AppInfo.h"
#include "platform/FileSystem.h"
#include "platform/NetworkDrive.h"
#include "platform/Session.h"
#include "platform/Ui.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace levora {

struct StartUpServices {
    IMainForm& form;
    modLocalize& localize;
    RegistryAPI& registry;
    TalvioVersion& version;
    ISession& session;
    IMessageBox& msgbox;
    IFileSystem& fs;
    const AppInfo& app;
    std::function<bool(uint32_t)> setProcessPriority; // mdlPriority.bSetProcessPriority
    std::function<void()> endProgram;                 // Module1.EndProgram; does not return in the program
    // The paths among the given Windows paths that lie on a network or FUSE file system (none
    // checked when empty).
    std::function<std::vector<NetworkDrive>(const std::vector<std::string>&)> networkDrives;
};

enum class LoadResult { Ready, Ended };

// The host's AGC defaults as start-up reads them (defaults when absent).
struct AgcDefaults {
    int32_t sampleSize = 8000;
    int32_t gainThreshold = 5;
    int32_t minimumThreshold = 45;
    int32_t targetDB = -26;
};

// "/SetPrompts" anywhere in the command line, in any letter case.
bool bHasSetPromptsSwitch(const std::string& commandLine);
// The switch that lets a run write to drives on network or FUSE file systems, in the window's
// command line and levora-level's alike.
constexpr const char* kAllowNetworkDriveSwitch = "--allow-network-drive";

// Ended: EndProgram was called (in the program it never returns; a test's hook does).
LoadResult frmMain_Load(StartUpServices& s);

} // namespace levora
