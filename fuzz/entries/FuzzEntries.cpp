#include "FuzzEntries.h"

#include "app/AviReader.h"
#include "platform/CommandLine.h"
#include "platform/Error.h"
#include "platform/LinuxProcesses.h"
#include "platform/PeResources.h"
#include "platform/Prefix.h"
#include "platform/RegistryHive.h"
#include "platform/RegistryText.h"
#include "platform/WinPath.h"

#include "speech/Audio.h"
#include "speech/Leveler.h"
#include "speech/ToolError.h"

#include <cstdlib>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace levora::fuzz {

namespace {

std::string unexpected(const std::exception& e) {
    return std::string("unexpected exception: ") + e.what();
}

void writeBytes(const fs::path& p, std::string_view bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush())
        throw std::runtime_error("cannot write " + p.string());
}

void makeProgram(const fs::path& p) {
    fs::create_directories(p.parent_path());
    writeBytes(p, "#!/bin/sh\nexit 0\n"); // never started: the resolver only looks
    fs::permissions(p, fs::perms::owner_all);
}

std::string describe(const std::vector<std::string>& args) {
    std::string s;
    for (const auto& a : args)
        s += "[" + a + "]";
    return s;
}

// What the store writes back after reading `text` and changing nothing; nullopt when it would
// refuse the text as damaged.
std::optional<std::string> rewriteRegistryText(std::string_view text, std::string* error = nullptr) {
    RegText parsed = loadKeys(text, "fuzz.reg", true);
    if (!parsed.ok()) {
        if (error)
            *error = parsed.error.message();
        return std::nullopt;
    }
    RegHive hive;
    applyAll(hive, parsed.ops);
    return writeStoreKeys(hive);
}

} // namespace

std::string registryText(std::string_view input) {
    const auto once = rewriteRegistryText(input);
    if (!once)
        return {};
    std::string why;
    const auto twice = rewriteRegistryText(*once, &why);
    if (!twice)
        return "the store cannot read its own text: " + why;
    if (*twice != *once)
        return "the store's own text changes when it is read and written again";
    return {};
}

std::string peStrings(std::string_view input) {
    StringTable table;
    parsePeStringTable(input, table);
    for (const auto& [id, s] : table)
        if (s.size() > input.size() / 2)
            return "string " + std::to_string(id) + " is longer than the image";
    return {};
}

std::string aviClip(std::string_view input) {
    try {
        const AviVideo video = parseAvi(input);
        if (video.frames.empty())
            return "a clip without frames was accepted";
        uint64_t pixels = 0;
        const AviImage* previous = nullptr;
        for (const auto& f : video.frames) {
            if (f->width <= 0 || f->height <= 0 || f->pixels.size() != size_t(f->width) * size_t(f->height))
                return "a frame's pixels do not match its size";
            if (f.get() != previous)
                pixels += f->pixels.size();
            previous = f.get();
        }
        if (pixels > kMaxAviPixels)
            return "the frames hold more pixels than the reader allows";
    } catch (const Error& e) {
        if (e.number() != err::PathFileAccess)
            return "error " + std::to_string(e.number()) + " instead of 75";
    } catch (const std::exception& e) {
        return unexpected(e);
    }
    return {};
}

std::string gainfixWav(std::string_view input, const fs::path& scratch) {
    const fs::path in = scratch / "in.wav";
    const fs::path out = scratch / "out.wav";
    std::error_code ec;
    fs::remove(out, ec);
    writeBytes(in, input);
    try {
        gainfix::measureFile(in, 37); // an odd block size: every cut of the signal must work
        gainfix::Options options;
        options.block = 1000;
        gainfix::levelFile(in, out, options);
        gainfix::SoundReader source(in);
        gainfix::SoundReader levelled(out);
        if (levelled.info().format != source.info().format || levelled.info().channels != source.info().channels ||
            levelled.info().samplerate != source.info().samplerate)
            return "the output's format differs from the input's";
        if (levelled.info().frames != source.info().frames)
            return "the output holds " + std::to_string(levelled.info().frames) + " frames instead of " +
                   std::to_string(source.info().frames);
    } catch (const gainfix::ToolError&) {
        // a refused input (or an encoding that cannot be written back): a reported failure
    } catch (const std::exception& e) {
        return unexpected(e);
    }
    return {};
}

struct CommandLineWorld::Parts {
    explicit Parts(const fs::path& root) : prefix(root), ns(prefix), processes(ns, "C:\\Levora") {}
    MachinePrefix prefix;
    PathNamespace ns;
    LinuxProcesses processes;
};

CommandLineWorld::CommandLineWorld(const fs::path& root) {
    m_parts = std::make_unique<Parts>(root);
    MachinePrefix& prefix = m_parts->prefix;
    // Z: would be the host's root: keep every lookup inside the prefix.
    fs::create_directories(root / "drive_z");
    prefix.mapDrive('z', root / "drive_z");
    const fs::path c = prefix.driveC();
    makeProgram(c / "Levora" / "gainfix.exe");
    makeProgram(c / "Levora" / "levora-reg");
    makeProgram(c / "Windows" / "System32" / "cmd.exe");
    makeProgram(c / "Windows" / "notepad.exe");
    makeProgram(c / "Program Files" / "Tool Box" / "tool.exe");
    makeProgram(c / "Program Files" / "Tool Box" / "Tool");
    fs::create_directories(c / "Program Files" / "Tool Box" / "folder.exe");
    fs::create_directories(c / "program files");
    m_parts->ns.setCurrentDirectory("C:\\Levora");
}

CommandLineWorld::~CommandLineWorld() = default;

std::string commandLine(std::string_view input, const CommandLineWorld& world) {
    const std::string line(input.substr(0, input.find('\0'))); // a command line is a C string
    const ProgramToken program = programToken(line);
    if (program.rest.size() > line.size() ||
        line.compare(line.size() - program.rest.size(), program.rest.size(), program.rest) != 0)
        return "the text after the program name is not the end of the line: [" + program.rest + "]";
    textViewerFile(line);
    const auto args = splitArguments(line);
    const auto again = splitArguments(quoteArguments(args));
    if (again != args)
        return "quoted arguments split differently: " + describe(args) + " became " + describe(again);
    try {
        const LinuxProcesses::Resolved r = world.parts().processes.resolve(line);
        if (r.rest.size() > line.size() || line.compare(line.size() - r.rest.size(), r.rest.size(), r.rest) != 0)
            return "the rest of the command line is not its end: [" + r.rest + "]";
        if (!fs::is_regular_file(r.program))
            return "the resolved program is not a file: " + r.program.string();
    } catch (const Error&) {
        // no such program, or a name that is ambiguous in letter case
    } catch (const std::exception& e) {
        return unexpected(e);
    }
    return {};
}

fs::path processScratch() {
    struct Folder {
        Folder() {
            const char* tmp = std::getenv("TMPDIR");
            std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/levora-fuzz-XXXXXX";
            if (!::mkdtemp(templ.data()))
                throw std::runtime_error("mkdtemp failed");
            path = templ;
        }
        ~Folder() {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
        fs::path path;
    };
    static Folder folder;
    return folder.path;
}

} // namespace levora::fuzz
