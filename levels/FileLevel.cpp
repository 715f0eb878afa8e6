#include "levels/FileLevel.h"

#include "speech/Audio.h"
#include "speech/Leveler.h"
#include "speech/ToolError.h"

#include "platform/HostFile.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <memory>

namespace levora {

namespace {

// Never throws for what the file holds: the reader's refusal becomes the problem shown.
template <class Open> FileLevel measureWith(Open&& open, std::size_t block) {
    FileLevel f;
    try {
        const std::unique_ptr<gainfix::SoundReader> in = open();
        const SF_INFO& info = in->info();
        f.format = gainfix::describeFormat(info);
        f.seconds = info.samplerate > 0 ? static_cast<double>(info.frames) / info.samplerate : 0.0;
        const gainfix::SpeechLevel level = gainfix::measure(*in, block == 0 ? 1 : block);
        f.audio = true;
        f.silent = level.silent;
        f.level = level.level;
        f.activity = level.activity;
    } catch (const std::exception& e) {
        f = FileLevel{};
        f.problem = e.what();
    }
    return f;
}

} // namespace

FileLevel measureFileLevel(const std::filesystem::path& hostPath, std::size_t block) {
    return measureWith([&] { return std::make_unique<gainfix::SoundReader>(hostPath); }, block);
}

FileLevel measureFileLevel(IFileSystem& files, const std::string& path, std::size_t block) {
    FileLevel f;
    std::string name;
    try {
        name = files.HostPath(path).string();
        const FileStat st = files.Stat(path);
        // Worded as the meter words them, so a row reads the same whichever refused the file.
        const char* why = !st.exists                         ? "source not found"
                          : st.folder                        ? "source is a folder, not a file"
                          : !st.regular                      ? "source is not a regular file"
                          : st.size == 0                     ? "source is empty"
                          : st.size > kMaxRecordingFileBytes ? "the file is too large to read"
                                                             : nullptr;
        if (why) {
            f.problem = name + ": " + why;
            return f;
        }
    } catch (const std::exception& e) { // a path that names no file of the machine
        f.problem = e.what();
        return f;
    }
    // Read whole through the file system and measured from memory: the meter opens no host path.
    return measureWith(
        [&] { return std::make_unique<gainfix::SoundReader>(files.ReadFile(path, kMaxRecordingFileBytes), name); },
        block);
}

std::string levelText(const FileLevel& level) {
    if (!level.audio)
        return "-";
    if (level.silent)
        return "silent";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", level.level);
    return buf;
}

std::string levelDetails(const FileLevel& level) {
    if (!level.audio)
        return level.problem.empty() ? "Not a recording" : level.problem;
    char buf[64];
    std::snprintf(buf, sizeof buf, "Active speech %.0f %%, %.1f s, ", level.activity * 100.0, level.seconds);
    return buf + level.format;
}

bool beyondReach(const FileLevel& level, double target, double maxChange) {
    return level.measured() && std::fabs(level.level - target) > maxChange + 1e-9;
}

} // namespace levora
