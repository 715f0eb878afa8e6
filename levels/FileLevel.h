// One file's active speech level, measured in this process with the gain tool's own meter, so a
// level shown or reported is the level the tool acts on.
#pragma once

#include "platform/FileSystem.h"

#include <cstddef>
#include <filesystem>
#include <string>

namespace levora {

struct FileLevel {
    bool audio = false;    // false: not a recording the gain tool reads (see problem)
    bool silent = true;    // no active speech: level and activity say nothing
    double level = 0.0;    // active speech level, dBov
    double activity = 0.0; // share of the samples counted as active, 0..1
    double seconds = 0.0;
    std::string format;  // "WAV mu-law 8000 Hz mono"
    std::string problem; // why it is not audio, as the tool would say it

    // A level that means something: audio with active speech.
    bool measured() const { return audio && !silent; }
};

// Reads the whole file (a host path). Never throws for what the file holds: a missing, unreadable
// or damaged file, or one that is not a WAV, comes back as not audio.
FileLevel measureFileLevel(const std::filesystem::path& hostPath, std::size_t block = 8000);
// The same for a Windows path of the machine, opened through the file system: a path that names no
// regular file of at most kMaxRecordingFileBytes is not audio, without the meter ever opening it.
FileLevel measureFileLevel(IFileSystem& files, const std::string& path, std::size_t block = 8000);

// "-26.3", "silent" or "-" (not audio): how a level is shown, to one decimal.
std::string levelText(const FileLevel& level);
// "Active speech 62 %, 10.0 s, WAV mu-law 8000 Hz mono", or why the file is not audio.
std::string levelDetails(const FileLevel& level);
// A measured level further from the target than the largest change: a run cannot bring it all the way.
bool beyondReach(const FileLevel& level, double target, double maxChange);

} // namespace levora
