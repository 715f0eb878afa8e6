// The entry functions of the fuzz targets: plain C++, called by the libFuzzer programs (fuzz/*.cpp)
// and by the test that replays the seed corpora and every input a fuzzer ever found.
//
// Each takes one input and returns an empty string, or a description of the property the code
// under test broke. Crashes, leaks and undefined behaviour are left for the sanitizers to report.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace levora::fuzz {

// The registry store's text: reading it as the store does, writing it back, and reading that
// again must give the same text.
std::string registryText(std::string_view input);

// The string tables of a PE image.
std::string peStrings(std::string_view input);

// The AVI reader of the animation player.
std::string aviClip(std::string_view input);

// gainfix's reading, metering and levelling of a WAV file. The input and the output are written
// in `scratch`, an existing folder. A levelled output must read back in the input's format with
// the input's number of frames.
std::string gainfixWav(std::string_view input, const std::filesystem::path& scratch);

// A machine prefix with a few programs in it, for resolving command lines.
class CommandLineWorld {
public:
    // Lays out the prefix in `root`, an empty folder that outlives the world.
    explicit CommandLineWorld(const std::filesystem::path& root);
    ~CommandLineWorld();
    CommandLineWorld(const CommandLineWorld&) = delete;
    CommandLineWorld& operator=(const CommandLineWorld&) = delete;

    struct Parts;
    const Parts& parts() const { return *m_parts; }

private:
    std::unique_ptr<Parts> m_parts;
};

// Reading a Windows command line (program name, arguments, text viewer) and finding the program it
// starts. Quoting the split arguments and splitting again gives them back.
std::string commandLine(std::string_view input, const CommandLineWorld& world);

// The nightly record: whatever its text, reading it never throws, and what it reads is written back
// as a record that reads the same.
std::string levelRecord(std::string_view input);

// The level report's two writers, with file names, notes and reasons of any bytes taken from the
// input: the HTML page is valid UTF-8 and gains no markup from them; the CSV is valid UTF-8 and
// parses back (RFC 4180) to one row per file, each path as written (bytes that are not UTF-8 as
// U+FFFD).
std::string levelReport(std::string_view input);

// The rows of a CSV text as a spreadsheet reads it (RFC 4180); false when a quoted field is not
// closed. The report target's oracle, and the report test's.
bool parseCsv(const std::string& text, std::vector<std::vector<std::string>>& rows);

// A scratch folder for a fuzzer process: a fresh folder under TMPDIR, removed at exit.
std::filesystem::path processScratch();

} // namespace levora::fuzz
