// A simulated Talvio host in a machine prefix: the registry values the program reads, the
// folders with greetings, voice names, default greetings and prompts, the greeting database
// and the registration of the synchronisation component.
#pragma once

#include "HostVersionText.h"
#include "SpeechSynth.h"
#include "WavFiles.h"
#include "platform/HostKeys.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace levora::demohost {

enum class Layout { New, Old };

struct CreateOptions {
    ReleaseNumber version{3, 1, 5, 0};
    Layout layout = Layout::New;
    int greetings = 12;   // files in "Stream Files": greetings and voice names
    double seconds = 6.0; // length of a greeting; voice names and prompts are shorter
    uint64_t seed = 1;
    bool force = false;
    // The synchronisation component's program on this machine; registered by its Windows path.
    std::filesystem::path bridgeProgram;
};

// Fixed facts of the simulated installation.
namespace host {
inline constexpr const char* kRootFolder = "Talvio"; // below drive C:
inline constexpr const char* kRootPath = "C:\\Talvio\\";
inline constexpr const char* kVantorRootPath = "C:\\Talvio";
inline constexpr const char* kDatabase = "Data\\talvio.db"; // below the root
inline constexpr const char* kProgId = "SqlDirBridge.dbBridge.1";
inline constexpr const char* kClsid = "{6C1F0E5A-3B7D-4E92-A1C4-58D2F0B7E913}";
inline const std::string kNewVersionKey = hostkeys::machineKey(hostkeys::kNewerVersionKey);
inline const std::string kOldVersionKey = hostkeys::machineKey(hostkeys::kOlderVersionKey);
inline const std::string kRootKey = hostkeys::machineKey(hostkeys::kRootKey);
inline const std::string kSetupKey = hostkeys::machineKey(hostkeys::kSetupKey);
inline const std::string kAgcKey = hostkeys::machineKey(hostkeys::kAgcKey);
inline constexpr const char* kClassesKey = "HKEY_LOCAL_MACHINE\\Software\\Classes";
inline const std::vector<std::string> kLanguages{"ENU", "DEU", "FRA"};
} // namespace host

// One file of the host as it is planned, before it is written.
struct PlannedFile {
    std::string path; // below the root folder, '\' separated as the host names it
    bool audio = true;
    // audio files
    double seconds = 0;
    double level = 0; // intended active level, dBov
    Encoding encoding = Encoding::Pcm16;
    Talker talker = Talker::Low;
    uint64_t seed = 0;
    // other files
    std::string text;
};
struct HostPlan {
    std::vector<PlannedFile> files;
    std::vector<std::string> emptyFolders; // below the root folder
};

// What a given set of options will produce: the same options give the same plan.
HostPlan planHost(const CreateOptions& options);

class Refused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Builds the host in the prefix. Throws Refused when the prefix already holds a host (system.reg
// or drive_c/Talvio) and options.force is false; std::runtime_error for any other failure.
// progress receives one line per step (may be empty).
void createHost(const std::filesystem::path& prefixRoot, const CreateOptions& options,
                const std::function<void(const std::string&)>& progress = {});

// The Windows command line registered for the synchronisation component.
std::string bridgeCommandLine(const std::filesystem::path& prefixRoot, const std::filesystem::path& program);

struct LevelRow {
    std::string path; // Windows path as the file list shows it
    std::string format;
    double seconds = 0;
    bool audio = false;
    bool silent = true;
    double level = 0;
    double activity = 0;
};
// The greetings and voice names ("Stream Files") and the default greetings
// ("Localize\DefaultConfiguration\<sub-folder>\*.wav") measured as the gain tool measures them.
std::vector<LevelRow> measureGreetings(const std::filesystem::path& prefixRoot);
std::string formatLevelTable(const std::vector<LevelRow>& rows);

} // namespace levora::demohost
