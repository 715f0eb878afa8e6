// Test doubles and fixtures shared by every test program.
#pragma once

#include "platform/Process.h"
#include "platform/Resources.h"
#include "platform/Ui.h"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace levora::test {

// A fresh folder under TMPDIR, removed when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Message boxes that answer from a script and record what they showed.
class ScriptedMessageBox : public IMessageBox {
public:
    struct Shown {
        std::string text;
        int buttons;
        std::string title;
    };
    // Answers used in order; when none is left, OK / Yes is answered.
    void nextAnswer(int answer) { m_answers.push_back(answer); }
    int MsgBox(const std::string& text, int buttons, const std::string& title) override;

    std::vector<Shown> shown;
    std::function<void(const Shown&)> onShow; // runs before answering

private:
    std::deque<int> m_answers;
};

class CountingPump : public IEventPump {
public:
    void DoEvents() override {
        ++doEvents;
        if (onEvents)
            onEvents();
    }
    void WaitEvents(int maxMs) override {
        ++waits;
        waitedMs += maxMs;
        if (onWait)
            onWait(maxMs);
        if (onEvents)
            onEvents();
    }
    int doEvents = 0;
    int waits = 0;
    long long waitedMs = 0;
    std::function<void()> onEvents;
    std::function<void(int)> onWait;
};

// No language library anywhere: every load fails, so only the program's own strings exist.
class NoLibraries : public IResources {
public:
    HMODULE LoadLibraryAsData(const std::string&) override { return 0; }
    void FreeLibrary(HMODULE) override {}
    int LoadStringW(HMODULE, uint32_t, std::u16string&, int) override { return 0; }
};

// Processes that record what they are asked. Alone, every start is recorded and nothing runs;
// over a real service, only the text viewer's starts are kept back and everything else is passed
// on. Priority calls are recorded and, alone, answered with `answer`.
class RecordingProcesses : public IProcesses {
public:
    RecordingProcesses() = default;
    explicit RecordingProcesses(IProcesses& real) : m_real(&real) {}
    uint32_t CurrentProcessId() override { return m_real ? m_real->CurrentProcessId() : kOwnPid; }
    uint32_t Start(const std::string& commandLine, WindowStyle style) override;
    WaitResult Wait(uint32_t pid, uint32_t timeoutMs) override;
    bool Kill(uint32_t pid) override { return m_real && m_real->Kill(pid); }
    bool SetPriorityClass(uint32_t pid, uint32_t priorityClass) override {
        priorityCalls.emplace_back(pid, priorityClass);
        return m_real ? m_real->SetPriorityClass(pid, priorityClass) : answer;
    }

    static constexpr uint32_t kOwnPid = 4242;     // our process id when alone
    static constexpr uint32_t kStartedPid = 4343; // what a recorded start returns
    struct Started {
        std::string commandLine;
        WindowStyle style;
    };
    std::vector<Started> started; // the starts that were recorded instead of run
    std::vector<std::pair<uint32_t, uint32_t>> priorityCalls;
    bool answer = true;
    bool throwOnWait = false; // Wait throws Error 5

private:
    IProcesses* m_real = nullptr;
};

// A clock that only moves when told; pairs with CountingPump::onWait to make pauses instant.
class FakeClock : public IClock {
public:
    double Now() override { return now; }
    double now = 1000.0;
};

// Writes a file with the given bytes, creating parent folders.
void writeFile(const std::filesystem::path& p, const std::string& bytes);
std::string readFile(const std::filesystem::path& p);
// A 44-byte-header PCM WAV file whose audio is `samples`, byte for byte.
std::string pcmWav(const std::string& samples, uint32_t rate = 8000, uint16_t channels = 1, uint16_t bits = 8);
// How writeWav stores samples in an integer format: as libsndfile converts them, or rounded on the
// format's own grid first, so that the file holds exactly the values meant (16-bit for the codecs
// that work on 16-bit samples), which the meter's reference tests need.
enum class SampleRounding { Converted, OnGrid };
// A sound file written through libsndfile (format: SF_FORMAT_...), samples as fractions of full
// scale, clipped there.
void writeWav(const std::filesystem::path& path, int format, int rate, int channels,
              const std::vector<double>& interleaved, SampleRounding rounding = SampleRounding::Converted);

// Little-endian fields and RIFF chunks (WAV, AVI, animated cursors), for files made byte by byte.
std::string le16(uint16_t v);
std::string le32(uint32_t v);
// id, size, body and the pad byte an odd body needs.
std::string riffChunk(const std::string& id, const std::string& body);
// "RIFF", its size, the form type ("WAVE", "AVI ", "ACON") and the chunks.
std::string riffForm(const std::string& form, const std::string& chunks);

// ASCII text as UTF-16LE with a byte-order mark, as the Windows registry editor writes a .reg file.
std::string utf16le(const std::string& ascii);

// Writes a /bin/sh script and makes it executable.
void writeScript(const std::filesystem::path& p, const std::string& body);

// Whether a process exists and has not ended; a zombie left by someone else counts as ended.
bool processRunning(pid_t pid);

// Sets (value) or clears (nullptr) an environment variable for one scope.
class EnvVar {
public:
    EnvVar(const char* name, const char* value);
    ~EnvVar();
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

struct ProgramRun {
    int exitCode = -1; // -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// Runs a program to its end with stdin on /dev/null, capturing stdout and stderr through files in
// `scratch`. The child gets this process's environment with `env` set over it. Throws when the
// program cannot be started.
ProgramRun runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                      const std::filesystem::path& scratch, const std::map<std::string, std::string>& env = {});

// The build's bin folder (the program, the tools, the language libraries).
std::filesystem::path binDir();
// The source tree (test speech under tests/data, the locale table under platform/data).
std::filesystem::path sourceDir();

} // namespace levora::test
