#include "TestSupport.h"

#include "platform/CommandLine.h"
#include "platform/Error.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace levora::test {

TempDir::TempDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = (tmp && *tmp) ? tmp : "/tmp";
    std::string templ = base + "/levora-test-XXXXXX";
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = std::filesystem::canonical(templ);
}

TempDir::~TempDir() {
    std::error_code ec;
    // Read-only files must not stop the clean-up.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add | std::filesystem::perm_options::nofollow, ec);
    std::filesystem::remove_all(m_path, ec);
}

int ScriptedMessageBox::MsgBox(const std::string& text, int buttons, const std::string& title) {
    shown.push_back({text, buttons, title});
    if (onShow)
        onShow(shown.back());
    if (!m_answers.empty()) {
        int a = m_answers.front();
        m_answers.pop_front();
        return a;
    }
    return (buttons & 0xF) == vbYesNo ? vbYes : vbOK;
}

void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    if (p.has_parent_path())
        std::filesystem::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << bytes;
    if (!f)
        throw std::runtime_error("cannot write " + p.string());
}

std::string readFile(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::ostringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

void writeScript(const std::filesystem::path& p, const std::string& body) {
    namespace fs = std::filesystem;
    writeFile(p, "#!/bin/sh\n" + body);
    fs::permissions(p, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
}

bool processRunning(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return false;
    // The state follows the command name, which may itself hold ')'.
    size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] != 'Z';
}

EnvVar::EnvVar(const char* name, const char* value) : m_name(name) {
    if (const char* old = std::getenv(name))
        m_old = old;
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
}

EnvVar::~EnvVar() {
    if (m_old)
        ::setenv(m_name, m_old->c_str(), 1);
    else
        ::unsetenv(m_name);
}

ProgramRun runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                      const std::filesystem::path& scratch, const std::map<std::string, std::string>& env) {
    namespace fs = std::filesystem;
    const fs::path outFile = scratch / "child.out";
    const fs::path errFile = scratch / "child.err";

    std::map<std::string, std::string> vars;
    for (char** e = environ; *e; ++e) {
        const std::string kv = *e;
        const auto eq = kv.find('=');
        if (eq != std::string::npos)
            vars[kv.substr(0, eq)] = kv.substr(eq + 1);
    }
    for (const auto& [k, v] : env)
        vars[k] = v;
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : vars)
        envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);

    std::vector<std::string> argStrings{program.string()};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& s : argStrings)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        throw std::runtime_error("cannot start " + argStrings[0] + ": " + std::strerror(rc));
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            throw std::runtime_error("waitpid failed");
    ProgramRun r;
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = readFile(outFile);
    r.err = readFile(errFile);
    fs::remove(outFile);
    fs::remove(errFile);
    return r;
}

std::filesystem::path binDir() {
    if (const char* d = std::getenv("LEVORA_BIN_DIR"); d && *d)
        return d;
    return LEVORA_BIN_DIR;
}

std::filesystem::path sourceDir() {
    return LEVORA_SOURCE_DIR;
}

uint32_t RecordingProcesses::Start(const std::string& commandLine, WindowStyle style) {
    if (m_real && !isTextViewer(programToken(commandLine).name))
        return m_real->Start(commandLine, style);
    started.push_back({commandLine, style});
    return kStartedPid;
}

WaitResult RecordingProcesses::Wait(uint32_t pid, uint32_t timeoutMs) {
    if (throwOnWait)
        throw Error(err::InvalidCall);
    return m_real ? m_real->Wait(pid, timeoutMs) : WaitResult{};
}

std::string pcmWav(const std::string& samples, uint32_t rate, uint16_t channels, uint16_t bits) {
    const uint16_t blockAlign = static_cast<uint16_t>(channels * ((bits + 7) / 8));
    const auto size = static_cast<uint32_t>(samples.size());
    // No pad byte after odd samples: the data chunk is exactly `samples`.
    return "RIFF" + le32(36 + size) + "WAVE" + "fmt " + le32(16) + le16(1) + le16(channels) + le32(rate) +
           le32(rate * blockAlign) + le16(blockAlign) + le16(bits) + "data" + le32(size) + samples;
}

void writeWav(const std::filesystem::path& path, int format, int rate, int channels,
              const std::vector<double>& interleaved, SampleRounding rounding) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f)
        throw std::runtime_error("cannot write " + path.string() + ": " + sf_strerror(nullptr));
    sf_command(f, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size() / static_cast<std::size_t>(channels));
    const int sub = format & SF_FORMAT_SUBMASK;
    if (rounding == SampleRounding::Converted || sub == SF_FORMAT_FLOAT || sub == SF_FORMAT_DOUBLE) {
        sf_writef_double(f, interleaved.data(), frames);
    } else {
        const int bits = sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_S8 ? 8
                         : sub == SF_FORMAT_PCM_24                          ? 24
                         : sub == SF_FORMAT_PCM_32                          ? 32
                                                                            : 16;
        const double scale = std::ldexp(1.0, bits - 1);
        std::vector<int> ints(interleaved.size());
        for (std::size_t i = 0; i < ints.size(); ++i) {
            const auto v =
                static_cast<std::int64_t>(std::clamp(std::nearbyint(interleaved[i] * scale), -scale, scale - 1));
            ints[i] = static_cast<int>(static_cast<std::uint32_t>(v) << (32 - bits));
        }
        sf_writef_int(f, ints.data(), frames);
    }
    sf_close(f);
}

std::string le16(uint16_t v) {
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string le32(uint32_t v) {
    return le16(static_cast<uint16_t>(v & 0xFFFF)) + le16(static_cast<uint16_t>(v >> 16));
}

std::string riffChunk(const std::string& id, const std::string& body) {
    return id + le32(static_cast<uint32_t>(body.size())) + body + std::string(body.size() % 2, '\0');
}

std::string riffForm(const std::string& form, const std::string& chunks) {
    return "RIFF" + le32(static_cast<uint32_t>(form.size() + chunks.size())) + form + chunks;
}

std::string utf16le(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (unsigned char c : ascii) {
        out += static_cast<char>(c);
        out += '\0';
    }
    return out;
}

} // namespace levora::test
