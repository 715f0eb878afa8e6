// The host's registry keys and values, as the host's own setup writes them: one list that Levora
// reads and writes through and the simulated host (demohost, its directory bridge) creates.
// Key names are relative to HKEY_LOCAL_MACHINE.
#pragma once

#include <string>

namespace levora::hostkeys {

// A newer host release's version, in four DWORD values.
inline constexpr const char* kNewerVersionKey = "SOFTWARE\\Orvane Systems\\Orvane Talvio";
// An older release's version; read with its trailing backslash, as the host documents it.
inline constexpr const char* kOlderVersionKey = "Software\\Quillon\\";
inline constexpr const char* kOlderVersionValue = "Version Number";
inline constexpr const char* kOlderBuildValue = "Build Number";

// The installation folder ("C:\Talvio\", ending in a backslash).
inline constexpr const char* kRootKey = "SOFTWARE\\Quillon\\Vantor\\1.0";
inline constexpr const char* kRootPathValue = "Root Path";
// The same folder as the setup recorded it (no trailing backslash).
inline constexpr const char* kSetupKey = "Software\\Quillon\\Vantor Setup\\1.0\\Properties";
inline constexpr const char* kVantorRootValue = "VantorRootPath";

// The leveling defaults the host's own AGC uses.
inline constexpr const char* kAgcKey = "SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization";
inline constexpr const char* kAgcSampleSizeValue = "AGCsampleSize";
inline constexpr const char* kAgcGainThresholdValue = "AGCgainThreshold";
inline constexpr const char* kAgcMinimumThresholdValue = "AGCminimumThreshold";
inline constexpr const char* kAgcTargetDbValue = "AGCTargetDB";

// "HKEY_LOCAL_MACHINE\<key>", the full name a .reg file and the store's setValue use.
inline std::string machineKey(const char* key) {
    return std::string("HKEY_LOCAL_MACHINE\\") + key;
}

} // namespace levora::hostkeys
