#include "app/StartUp.h"

#include "app/FileGrid.h"
#include "app/OptionFields.h"
#include "leveling/RunContext.h"
#include "platform/HostKeys.h"
#include "platform/Process.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <cmath>
#include <variant>

namespace levora {

namespace {

constexpr int kStrLoadError = 17; // "Error in form load procedure: "
constexpr int kStrTooOld = 47;
constexpr int kStrRemote = 45;
constexpr int kStrNoFiles = 28;
constexpr int kStrDamagedRegistry = 59; // %1 the file, %2 the line
constexpr int kStrNetworkDrive = 66;    // %1 the path, %2 the kind of file system

std::string replaceOnce(std::string text, const std::string& mark, const std::string& by) {
    if (size_t at = text.find(mark); at != std::string::npos)
        text.replace(at, mark.size(), by);
    return text;
}

// A registry value or its 16-bit default, as a 32-bit integer.
int32_t toLong(const Variant& v) {
    if (auto* i = std::get_if<int32_t>(&v))
        return *i;
    if (auto* s = std::get_if<int16_t>(&v))
        return *s;
    if (auto* b = std::get_if<bool>(&v))
        return *b ? -1 : 0;
    if (auto* d = std::get_if<double>(&v)) {
        if (!(std::fabs(*d) < 2147483648.5))
            throw Error(err::Overflow);
        return static_cast<int32_t>(std::nearbyint(*d));
    }
    throw Error(err::TypeMismatch);
}

// The folder the file list is read from, empty when not set.
std::string readVantorRoot(RegistryAPI& registry) {
    Variant v = registry.getRegValue(HKEY_LOCAL_MACHINE, kVantorSetupKey, kVantorRootValue, REG_SZ, std::string{});
    const auto* s = std::get_if<std::string>(&v);
    return s ? *s : std::string();
}

} // namespace

bool bHasSetPromptsSwitch(const std::string& commandLine) {
    return upperForm(commandLine).find("/SETPROMPTS") != std::string::npos;
}

LoadResult frmMain_Load(StartUpServices& s) {
    StepRunner trap(
        [&](const Error& e) { s.msgbox.MsgBox(s.localize.mymyLoadString(kStrLoadError) + e.description()); });
    // Shows the message of a failed check; EndProgram follows outside the trap.
    auto endWithText = [&](const std::function<std::string()>& text) {
        trap.step([&] { s.msgbox.MsgBox(text()); });
        s.endProgram();
        return LoadResult::Ended;
    };
    auto endWith = [&](int stringId) { return endWithText([&] { return s.localize.mymyLoadString(stringId); }); };

    trap.step([&] { s.setProcessPriority(BELOW_NORMAL_PRIORITY_CLASS); });
    trap.step([&] { s.localize.InitalizeLanguages(); });
    trap.step([&] { s.form.frmMain_Auto_Init(); });
    trap.step([&] {
        if (bHasSetPromptsSwitch(s.app.commandLine))
            s.form.setPromptsMenuVisible(true);
    });

    // A damaged registry reads as empty, which would look like an old host: name the file instead.
    std::optional<RegistryDamage> damage;
    trap.step([&] { damage = s.registry.damage(); });
    if (damage)
        return endWithText([&] {
            std::string text =
                replaceOnce(s.localize.mymyLoadString(kStrDamagedRegistry), "%2", std::to_string(damage->line));
            return replaceOnce(text, "%1", damage->file);
        });

    trap.step([&] { s.version.setLoaded(s.version.getVersion()); });
    bool tooOld = false;
    trap.step([&] { tooOld = !s.version.bIsVersionGreaterThanOrEqualTo(3, 1, 1, 0); });
    if (tooOld)
        return endWith(kStrTooOld);

    trap.step([&] { SetSecondaryOptionsEnabled(s.form, s.version.bIsVersionGreaterThanOrEqualTo(3, 1, 4, 0)); });

    bool remote = false;
    trap.step([&] { remote = s.session.GetSystemMetrics(SM_REMOTESESSION) != 0; });
    if (remote)
        return endWith(kStrRemote);

    // A run replaces files by rename, locks with flock and trusts folder times: none of it holds on
    // a network or FUSE mount, so the folders a run writes (the host's, and C:\ for the log and the
    // scratch file) must be local unless the user insists.
    std::vector<NetworkDrive> network;
    trap.step([&] {
        if (!s.networkDrives || s.app.commandLine.find(kAllowNetworkDriveSwitch) != std::string::npos)
            return;
        // The run's root ("Root Path") and the one the file list is read from, then C:.
        std::vector<std::string> written;
        for (const std::string& root : {readHostRoot(s.registry), readVantorRoot(s.registry), std::string("C:\\")}) {
            if (!root.empty() && std::find(written.begin(), written.end(), root) == written.end())
                written.push_back(root);
        }
        network = s.networkDrives(written);
    });
    if (!network.empty())
        return endWithText([&] {
            std::string text =
                replaceOnce(s.localize.mymyLoadString(kStrNetworkDrive), "%2", mountKindName(network.front().kind));
            return replaceOnce(text, "%1", network.front().path);
        });

    AgcDefaults agc;
    auto read = [&](const char* name, int16_t fallback, int32_t& into) {
        trap.step(
            [&] { into = toLong(s.registry.getRegValue(HKEY_LOCAL_MACHINE, kAgcKey, name, REG_DWORD, fallback)); });
    };
    read(hostkeys::kAgcSampleSizeValue, 8000, agc.sampleSize);
    read(hostkeys::kAgcGainThresholdValue, 5, agc.gainThreshold);
    read(hostkeys::kAgcMinimumThresholdValue, 45, agc.minimumThreshold);
    read(hostkeys::kAgcTargetDbValue, -26, agc.targetDB);

    auto fill = [&](OptionFieldId id, const OptionList& list, int32_t value) {
        trap.step([&] { FillOptionField(s.form.optionField(id), list, value); });
    };
    fill(OptionFieldId::TargetDB, kTargetDBList, agc.targetDB);
    fill(OptionFieldId::GainThreshold, kGainThresholdList, agc.gainThreshold);
    fill(OptionFieldId::SampleSize, kSampleSizeList, agc.sampleSize);
    fill(OptionFieldId::MindBLevel, kMindBLevelList, agc.minimumThreshold);

    FillGrid(s.form.fileGrid(), s.registry, s.fs, trap);

    bool empty = false;
    trap.step([&] { empty = s.form.fileGrid().Rows() < 2; });
    if (empty)
        return endWith(kStrNoFiles);
    return LoadResult::Ready;
}

} // namespace levora
