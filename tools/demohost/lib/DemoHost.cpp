#include "DemoHost.h"

#include "GreetingDatabase.h"
#include "Level.h"
#include "Rng.h"
#include "platform/Error.h"
#include "platform/Prefix.h"
#include "platform/RegistryStore.h"
#include "platform/WinPath.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <sstream>

namespace levora::demohost {
namespace {

namespace fs = std::filesystem;

constexpr int kSampleRate = 8000;

std::vector<uint8_t> dword(uint32_t v) {
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}
std::vector<uint8_t> sz(const std::string& s) {
    std::vector<uint8_t> b(s.begin(), s.end());
    b.push_back(0);
    return b;
}

// '\' separated path below the root folder to a host path.
fs::path below(const fs::path& base, const std::string& winRelative) {
    fs::path p = base;
    std::string part;
    std::istringstream in(winRelative);
    while (std::getline(in, part, '\\'))
        if (!part.empty())
            p /= part;
    return p;
}

PlannedFile audioFile(std::string path, double seconds, double level, Encoding enc, Talker talker, uint64_t seed) {
    PlannedFile f;
    f.path = std::move(path);
    f.seconds = seconds;
    f.level = level;
    f.encoding = enc;
    f.talker = talker;
    f.seed = seed;
    return f;
}

PlannedFile textFile(std::string path, std::string text) {
    PlannedFile f;
    f.path = std::move(path);
    f.audio = false;
    f.text = std::move(text);
    return f;
}

double typicalLevel(Rng& rng) {
    return rng.uniform(-30.5, -21.5);
}

void streamFiles(const CreateOptions& o, Rng master, HostPlan& plan) {
    const int n = std::max(0, o.greetings);
    Rng pick = master.fork(1), levels = master.fork(2), kinds = master.fork(3), seeds = master.fork(4);

    // A few files far from the target show the clamp of the largest gain change.
    std::vector<int> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    for (int i = n - 1; i > 0; --i)
        std::swap(order[static_cast<size_t>(i)], order[static_cast<size_t>(pick.below(i + 1))]);
    const int far = n >= 2 ? std::max(2, n / 6) : 0;
    std::vector<double> level(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        level[static_cast<size_t>(i)] = typicalLevel(levels);
    for (int k = 0; k < far; ++k)
        level[static_cast<size_t>(order[static_cast<size_t>(k)])] =
            k % 2 == 0 ? levels.uniform(-41, -39) : levels.uniform(-15, -13);

    std::vector<Encoding> enc(static_cast<size_t>(n));
    for (auto& e : enc)
        e = kinds.chance(0.5) ? Encoding::MuLaw : Encoding::Pcm16;
    if (n >= 2 && std::all_of(enc.begin(), enc.end(), [&](Encoding e) { return e == enc[0]; }))
        enc[1] = enc[0] == Encoding::MuLaw ? Encoding::Pcm16 : Encoding::MuLaw;

    static const char* const greetingKinds[] = {"std", "busy", "ext"};
    std::string index = "; mailbox index of the stream files\r\n";
    Talker talker = Talker::Low;
    for (int i = 0; i < n; ++i) {
        const int mailbox = 1001 + i / 2;
        const bool voiceName = i % 2 == 1;
        if (!voiceName)
            talker = kinds.chance(0.5) ? Talker::High : Talker::Low;
        const std::string name =
            voiceName ? "voicename_" + std::to_string(mailbox) + ".wav"
                      : "greeting_" + std::to_string(mailbox) + "_" + greetingKinds[(i / 2) % 3] + ".wav";
        const double seconds = voiceName ? std::min(o.seconds, kinds.uniform(1.4, 2.2))
                                         : std::max(0.5, o.seconds * kinds.uniform(0.85, 1.15));
        plan.files.push_back(audioFile("Stream Files\\" + name, seconds, level[static_cast<size_t>(i)],
                                       enc[static_cast<size_t>(i)], talker, seeds.next()));
        if (!voiceName)
            index += std::to_string(mailbox) + "=" + name + "\r\n";
    }
    // Not every file in the folder is a recording.
    plan.files.push_back(textFile("Stream Files\\streamfiles.idx", index));
}

void defaultConfiguration(const CreateOptions& o, Rng master, HostPlan& plan) {
    Rng rng = master.fork(5);
    const std::string base = "Localize\\DefaultConfiguration\\";
    const double length = std::min(o.seconds, 3.0);
    auto wav = [&](const std::string& path) {
        const Encoding e = rng.chance(0.5) ? Encoding::MuLaw : Encoding::Pcm16;
        const Talker t = rng.chance(0.5) ? Talker::High : Talker::Low;
        plan.files.push_back(
            audioFile(base + path, length * rng.uniform(0.8, 1.0), typicalLevel(rng), e, t, rng.next()));
    };
    for (const std::string& lang : host::kLanguages) {
        wav(lang + "\\DefaultGreeting.wav");
        // Upper-case extensions occur on real hosts; the file list accepts them.
        wav(lang + (lang == "DEU" ? "\\DefaultBusyGreeting.WAV" : "\\DefaultBusyGreeting.wav"));
    }
    // Not listed by the file list: a file beside the language folders, one two levels down,
    // and a file that is not a recording.
    wav("DefaultTemplate.wav");
    wav("ENU\\Archive\\DefaultGreeting_v1.wav");
    plan.files.push_back(textFile(base + "ENU\\readme.txt", "Default greetings for new mailboxes.\r\n"));
    plan.emptyFolders.push_back(base + "ESN");
}

void prompts(const CreateOptions& o, Rng master, HostPlan& plan) {
    Rng rng = master.fork(6);
    const std::string base = "Localize\\Prompts\\";
    auto wav = [&](const std::string& path) {
        const Encoding e = rng.chance(0.5) ? Encoding::MuLaw : Encoding::Pcm16;
        plan.files.push_back(audioFile(base + path, std::min(o.seconds, rng.uniform(1.2, 2.2)), typicalLevel(rng), e,
                                       Talker::High, rng.next()));
    };
    wav("ENU\\Main\\welcome.wav");
    wav("ENU\\Main\\goodbye.wav");
    wav("ENU\\Mailbox\\newmessages.wav");
    wav("DEU\\Main\\welcome.wav");
    wav("FRA\\Main\\welcome.wav");
    plan.files.push_back(textFile(base + "ENU\\Main\\welcome.wav.bak", "superseded recording\r\n"));
    plan.files.push_back(textFile(base + "readme.txt", "System prompts by language.\r\n"));
}

void writeAudio(const fs::path& file, const PlannedFile& f) {
    SpeechParams params;
    params.seconds = f.seconds;
    params.sampleRate = kSampleRate;
    params.seed = f.seed;
    params.talker = f.talker;
    const std::vector<double> raw = synthesizeSpeech(params);
    const auto store = [&](const std::vector<double>& y) { return encodeWav(toPcm16(y), kSampleRate, f.encoding); };
    const Channel channel = [&](const std::vector<double>& y) {
        auto decoded = decodeAudio(store(y));
        return decoded ? decoded->samples : std::vector<double>{};
    };
    const auto gain = gainForLevel(raw, kSampleRate, f.level, channel);
    if (!gain)
        throw std::runtime_error(f.path + ": the generated signal holds no speech");
    writeFileAtomic(file, store(applyGain(raw, *gain)));
}

void writeRegistry(RegistryStore& reg, const CreateOptions& o, const std::string& bridgeCommand) {
    const auto set = [&](const std::string& key, const std::string& name, uint32_t type, std::vector<uint8_t> data) {
        if (!reg.setValue(key, name, type, data))
            throw std::runtime_error("registry: " + key + "\\" + name + ": " + reg.lastError());
    };
    const std::string oldKey = host::kOldVersionKey.substr(0, host::kOldVersionKey.size() - 1);
    if (o.layout == Layout::New) {
        set(host::kNewVersionKey, "MajorVersion", REG_DWORD, dword(static_cast<uint32_t>(o.version.major)));
        set(host::kNewVersionKey, "MinorVersion", REG_DWORD, dword(static_cast<uint32_t>(o.version.minor)));
        set(host::kNewVersionKey, "ReleaseVersion", REG_DWORD, dword(static_cast<uint32_t>(o.version.release)));
        set(host::kNewVersionKey, "BuildVersion", REG_DWORD, dword(static_cast<uint32_t>(o.version.build)));
    } else {
        const auto packed = packOldLayout(o.version);
        if (!packed)
            throw std::runtime_error("version " + formatRelease(o.version) + " cannot be stored in the old layout");
        set(oldKey, "Version Number", REG_DWORD, dword(packed->versionNumber));
        set(oldKey, "Build Number", REG_DWORD, dword(packed->buildNumber));
    }
    set(host::kRootKey, hostkeys::kRootPathValue, REG_SZ, sz(host::kRootPath));
    set(host::kSetupKey, hostkeys::kVantorRootValue, REG_SZ, sz(host::kVantorRootPath));
    set(host::kAgcKey, hostkeys::kAgcSampleSizeValue, REG_DWORD, dword(8000));
    set(host::kAgcKey, hostkeys::kAgcGainThresholdValue, REG_DWORD, dword(5));
    set(host::kAgcKey, hostkeys::kAgcMinimumThresholdValue, REG_DWORD, dword(45));
    set(host::kAgcKey, hostkeys::kAgcTargetDbValue, REG_DWORD, dword(static_cast<uint32_t>(-26)));

    const std::string classes = host::kClassesKey;
    set(classes + "\\" + host::kProgId, "", REG_SZ, sz("Talvio SQL directory bridge"));
    set(classes + "\\" + host::kProgId + "\\CLSID", "", REG_SZ, sz(host::kClsid));
    set(classes + "\\CLSID\\" + host::kClsid, "", REG_SZ, sz("Talvio SQL directory bridge"));
    set(classes + "\\CLSID\\" + host::kClsid + "\\ProgID", "", REG_SZ, sz(host::kProgId));
    set(classes + "\\CLSID\\" + host::kClsid + "\\LocalServer32", "", REG_SZ, sz(bridgeCommand));
}

// A forced re-creation starts from nothing, so values of another layout do not linger.
void removeHostKeys(RegistryStore& reg) {
    const std::string classes = host::kClassesKey;
    for (const std::string& key :
         {std::string(host::kNewVersionKey), host::kOldVersionKey.substr(0, host::kOldVersionKey.size() - 1),
          classes + "\\" + host::kProgId, classes + "\\CLSID\\" + host::kClsid})
        if (reg.keyExists(key))
            reg.deleteKey(key);
}

// A folder that is missing lists nothing, as in the program's file list.
std::vector<std::string> listOrNothing(const fs::path& folder, bool folders) {
    try {
        return PathNamespace::listSorted(folder, folders);
    } catch (const Error&) {
        return {};
    }
}

std::string regString(RegistryStore& reg, const std::string& key, const std::string& name) {
    for (const auto& v : reg.values(key))
        if (equalsNoCase(v.name, name) && v.type == REG_SZ) {
            std::string s(v.data.begin(), v.data.end());
            while (!s.empty() && s.back() == '\0')
                s.pop_back();
            return s;
        }
    return {};
}

} // namespace

HostPlan planHost(const CreateOptions& options) {
    HostPlan plan;
    Rng master(options.seed);
    streamFiles(options, master.fork(11), plan);
    defaultConfiguration(options, master.fork(12), plan);
    prompts(options, master.fork(13), plan);
    return plan;
}

std::string bridgeCommandLine(const fs::path& prefixRoot, const fs::path& program) {
    MachinePrefix prefix(prefixRoot);
    PathNamespace ns(prefix);
    const std::string win = ns.toWindows(fs::absolute(program));
    if (win.empty())
        throw std::runtime_error("the synchronisation component " + program.string() +
                                 " lies outside every drive of the prefix");
    // Named as on the host; the process layer finds the program without the extension too.
    return "\"" + win + ".exe\"";
}

void createHost(const fs::path& prefixRoot, const CreateOptions& options,
                const std::function<void(const std::string&)>& progress) {
    const auto say = [&](const std::string& s) {
        if (progress)
            progress(s);
    };
    if (!options.force &&
        (fs::exists(prefixRoot / "system.reg") || fs::exists(prefixRoot / "drive_c" / host::kRootFolder)))
        throw Refused(prefixRoot.string() + " already holds a host (system.reg or drive_c/Talvio); use --force to "
                                            "replace it");
    if (options.greetings < 0 || !(options.seconds > 0) || options.seconds > 3600)
        throw std::runtime_error("greetings must be 0 or more and seconds between 0 and 3600");
    if (options.layout == Layout::Old && !packOldLayout(options.version))
        throw std::runtime_error("version " + formatRelease(options.version) + " cannot be stored in the old layout");
    if (!fs::is_regular_file(options.bridgeProgram))
        throw std::runtime_error("the synchronisation component is missing: " + options.bridgeProgram.string());

    MachinePrefix prefix(prefixRoot);
    PathNamespace ns(prefix);
    // Through the namespace: drive C: may have been mapped elsewhere.
    const fs::path talvio = ns.toHost(std::string("C:\\") + host::kRootFolder);
    RegistryStore reg(prefix.systemReg());
    if (options.force) {
        fs::remove_all(talvio);
        removeHostKeys(reg);
    }

    const HostPlan plan = planHost(options);
    int audio = 0;
    for (const PlannedFile& f : plan.files) {
        const fs::path file = below(talvio, f.path);
        fs::create_directories(file.parent_path());
        if (f.audio) {
            writeAudio(file, f);
            ++audio;
        } else {
            writeFileAtomic(file, f.text);
        }
    }
    for (const std::string& folder : plan.emptyFolders)
        fs::create_directories(below(talvio, folder));
    say("files: " + std::to_string(audio) + " recordings, " + std::to_string(plan.files.size() - audio) +
        " other files under C:\\Talvio");

    const std::string command = bridgeCommandLine(prefixRoot, options.bridgeProgram);
    writeRegistry(reg, options, command);
    say("registry: host " + formatRelease(options.version) + (options.layout == Layout::New ? " (new" : " (old") +
        " layout), folders, AGC defaults, " + host::kProgId + " -> " + command);

    const fs::path db = below(talvio, host::kDatabase);
    fs::create_directories(db.parent_path());
    GreetingDatabase database(db, 5000);
    const SyncOutcome r = database.sync(talvio / "Stream Files", std::string(host::kRootPath) + "Stream Files\\");
    if (r.status != SyncOutcome::Status::Done)
        throw std::runtime_error("database: " + r.message);
    say("database: C:\\Talvio\\" + std::string(host::kDatabase) + ", " + std::to_string(r.counts.rows()) + " rows");
}

std::vector<LevelRow> measureGreetings(const fs::path& prefixRoot) {
    MachinePrefix prefix(prefixRoot);
    PathNamespace ns(prefix);
    RegistryStore reg(prefix.systemReg());
    // The folders the program's file list reads, found the way it finds them.
    std::string root = regString(reg, host::kSetupKey, hostkeys::kVantorRootValue);
    if (root.empty())
        root = host::kVantorRootPath;

    std::vector<LevelRow> rows;
    const auto add = [&](const std::string& winPath) {
        LevelRow row;
        row.path = winPath;
        std::string error;
        if (const auto a = readAudio(ns.toHost(winPath), &error)) {
            row.audio = true;
            row.format = a->format;
            row.seconds = a->seconds();
            const Measured m = measureSpeech(a->samples, a->sampleRate);
            row.silent = m.silent;
            row.level = m.level;
            row.activity = m.activity;
        }
        rows.push_back(row);
    };
    const std::string stream = root + "\\Stream Files\\";
    for (const std::string& name : listOrNothing(ns.toHost(stream), false))
        add(stream + name);
    const std::string defaults = root + "\\localize\\defaultconfiguration";
    const fs::path defaultsHost = ns.toHost(defaults);
    for (const std::string& sub : listOrNothing(defaultsHost, true)) {
        for (const std::string& name : listOrNothing(defaultsHost / sub, false)) {
            const auto dot = name.rfind('.');
            if (dot != std::string::npos && upperForm(name.substr(dot + 1)) == "WAV")
                add(ns.toWindows(defaultsHost / sub / name));
        }
    }
    return rows;
}

std::string formatLevelTable(const std::vector<LevelRow>& rows) {
    size_t width = 4;
    for (const auto& r : rows)
        width = std::max(width, r.path.size());
    std::string out;
    char line[64];
    out += "File" + std::string(width - 4, ' ') + "  Format     Seconds  Level dBov  Activity\n";
    for (const auto& r : rows) {
        out += r.path + std::string(width - r.path.size(), ' ') + "  ";
        if (!r.audio) {
            out += "(not audio)\n";
            continue;
        }
        std::string format = r.format.substr(0, 9);
        out += format + std::string(9 - format.size(), ' ');
        if (r.silent)
            std::snprintf(line, sizeof line, "  %7.2f  %10s  %7.1f%%\n", r.seconds, "silent", 0.0);
        else
            std::snprintf(line, sizeof line, "  %7.2f  %10.2f  %7.1f%%\n", r.seconds, r.level, 100.0 * r.activity);
        out += line;
    }
    return out;
}

} // namespace levora::demohost
