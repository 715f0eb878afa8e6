#include "leveling/LevelFile.h"
#include "host/RegistryAPI.h"
#include "host/TalvioVersion.h"
#include "log/Logging.h"
#include "platform/LinuxFileSystem.h"
#include "platform/LinuxProcesses.h"
#include "platform/RegistryStore.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace levora;
using levora::test::CountingPump;
using levora::test::pcmWav;
using levora::test::processRunning;
using levora::test::readFile;
using levora::test::ScriptedMessageBox;
using levora::test::writeFile;
using levora::test::writeScript;

namespace {

const OptionTexts kOptions{"-26", "-45", "8000", "5"};
const std::string kF = "E:\\Host\\Stream Files\\greeting1.wav";
const std::string kOriginal = pcmWav("original");
const std::string kLevelled = pcmWav("levelled"); // what goodTool writes: as many frames as kOriginal

// Passes everything through, except that deleting the temporary file fails (as it would for a
// file another program holds open on Windows).
class StuckTempFileSystem : public IFileSystem {
public:
    explicit StuckTempFileSystem(IFileSystem& inner) : m_inner(inner) {}
    bool FileExists(const std::string& p) override { return m_inner.FileExists(p); }
    bool FolderExists(const std::string& p) override { return m_inner.FolderExists(p); }
    std::vector<std::string> SubFolderNames(const std::string& f) override { return m_inner.SubFolderNames(f); }
    std::vector<std::string> FileNames(const std::string& f) override { return m_inner.FileNames(f); }
    void DeleteFile(const std::string& p, bool force) override {
        if (p == kTempWavFile)
            throw Error(err::PermissionDenied);
        m_inner.DeleteFile(p, force);
    }
    void DeleteFolder(const std::string& p, bool force) override { m_inner.DeleteFolder(p, force); }
    void CopyFile(const std::string& s, const std::string& d, bool o) override { m_inner.CopyFile(s, d, o); }
    void CopyFolder(const std::string& s, const std::string& d, bool o) override { m_inner.CopyFolder(s, d, o); }
    void CreateFolder(const std::string& p) override { m_inner.CreateFolder(p); }
    fs::file_time_type LastWriteTime(const std::string& p) override { return m_inner.LastWriteTime(p); }
    bool IsReadOnly(const std::string& p) override { return m_inner.IsReadOnly(p); }
    FileHead ReadHead(const std::string& p, size_t n) override { return m_inner.ReadHead(p, n); }
    FileStat Stat(const std::string& p) override { return m_inner.Stat(p); }
    std::string ReadFile(const std::string& p, size_t n) override { return m_inner.ReadFile(p, n); }
    std::unique_ptr<IOutputFile> OpenOutputFile(const std::string& p, bool append) override {
        return m_inner.OpenOutputFile(p, append);
    }
    fs::path HostPath(const std::string& p) override { return m_inner.HostPath(p); }

private:
    IFileSystem& m_inner;
};

class LevelFileTest : public levora::test::PrefixFixture {
protected:
    LinuxFileSystem lfs{ns};
    LinuxProcesses procs{ns, "C:\\Tools"};
    RegistryStore store{prefix.systemReg()};
    RegistryAPI registry{store};
    ScriptedMessageBox msgbox;
    TalvioVersion version{registry, msgbox};
    CountingPump pump;
    AppInfo app;
    Logging log{lfs, pump, app};
    GainToolRunner gain{lfs, procs, version, log, app};
    std::vector<Error> errors;
    StepRunner trap{[this](const Error& e) { errors.push_back(e); }};

    fs::path hostF() const { return tmp.path() / "edrive" / "Host" / "Stream Files" / "greeting1.wav"; }
    fs::path hostTemp() const { return c() / "mytempwavfile774.WAV"; }

    void SetUp() override {
        ::unsetenv("LEVORA_DEBUG");
        app.programFolder = "C:\\Tools";
        version.setLoaded({3, 1, 5, 0});
        prefix.mapDrive('E', tmp.path() / "edrive");
        writeFile(hostF(), kOriginal);
        log.OpenLog("c:\\Levora.log", false);
    }

    // A tool that writes kLevelled into the temporary file, and its name and the arguments it
    // received into toolArgs().
    void goodTool(const std::string& name, const fs::path& folder) {
        writeFile(tmp.path() / "levelled.wav", kLevelled);
        writeScript(folder / name, "{ printf '" + name + "'; for a in \"$@\"; do printf '[%s]' \"$a\"; done; } > '" +
                                       toolArgs().string() + "'\ncp '" + (tmp.path() / "levelled.wav").string() +
                                       "' '" + hostTemp().string() + "'\n");
    }
    fs::path toolArgs() const { return tmp.path() / "tool-args"; }
    void goodTool(const std::string& name = "gainfix315") { goodTool(name, c() / "Tools"); }

    // The log lines after the ten header lines.
    std::vector<std::string> body() {
        log.CloseLog();
        std::string text = readFile(c() / "Levora.log");
        std::vector<std::string> lines;
        size_t pos = 0;
        for (size_t next; (next = text.find("\r\n", pos)) != std::string::npos; pos = next + 2)
            lines.push_back(text.substr(pos, next - pos));
        EXPECT_EQ(pos, text.size()) << "every line ends in CR LF";
        return lines.size() > 10 ? std::vector<std::string>(lines.begin() + 10, lines.end())
                                 : std::vector<std::string>{};
    }
    std::vector<int> errorNumbers() const {
        std::vector<int> n;
        for (const auto& e : errors)
            n.push_back(e.number());
        return n;
    }
};

} // namespace

TEST_F(LevelFileTest, CommandLineIsBuiltPieceByPieceByHostVersion) {
    const std::string tail = " -d c:\\mytempwavfile774.WAV -t ";
    struct Case {
        HostVersion v;
        OptionTexts o;
        std::string expected;
    } cases[] = {
        {{3, 1, 5, 0},
         kOptions,
         "C:\\Tools\\gainfix315 -s \"E:\\Host\\Stream Files\\greeting1.wav\" -d c:\\mytempwavfile774.WAV -t -26 -m "
         "-45 -b 8000 -g 5"},
        {{4, 0, 0, 0}, kOptions, "C:\\Tools\\gainfix315 -s \"" + kF + "\"" + tail + "-26 -m -45 -b 8000 -g 5"},
        {{3, 1, 4, 0}, kOptions, "C:\\Tools\\gainfix314 -s \"" + kF + "\"" + tail + "-26 -m -45 -b 8000 -g 5"},
        {{3, 1, 4, 99},
         {" 0", "-50", "6000", "20"},
         "C:\\Tools\\gainfix314 -s \"" + kF + "\"" + tail + " 0 -m -50 -b 6000 -g 20"},
        {{3, 1, 3, 0}, kOptions, "C:\\Tools\\gainfix -s \"" + kF + "\"" + tail + "-26"},
        {{3, 1, 3, 0}, {" 0", "unused", "unused", "unused"}, "C:\\Tools\\gainfix -s \"" + kF + "\"" + tail + " 0"},
    };
    for (const auto& tc : cases) {
        version.setLoaded(tc.v);
        EXPECT_EQ(gain.buildCommandLine(kF, tc.o), tc.expected);
    }
    // The program folder is not quoted, blanks and all.
    app.programFolder = "C:\\Program Files\\Levora";
    version.setLoaded({3, 1, 3, 0});
    EXPECT_EQ(gain.buildCommandLine("x.wav", kOptions),
              "C:\\Program Files\\Levora\\gainfix -s \"x.wav\" -d c:\\mytempwavfile774.WAV -t -26");
}

TEST_F(LevelFileTest, LevelsTheFileAndWritesBothLines) {
    goodTool("gainfix315");
    goodTool("gainfix");
    ::chmod(hostF().c_str(), 0640);
    gain.LevelFile(kF, kOptions, trap);
    EXPECT_TRUE(errors.empty()) << errors.front().description();
    EXPECT_EQ(readFile(hostF()), kLevelled);
    EXPECT_EQ(readFile(toolArgs()),
              "gainfix315[-s][" + kF + "][-d][c:\\mytempwavfile774.WAV][-t][-26][-m][-45][-b][8000][-g][5]");
    struct stat st {};
    ::stat(hostF().c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "F keeps its permissions";
    EXPECT_TRUE(fs::exists(hostTemp())) << "the temporary file stays until the next file";

    // The tool is chosen anew for the next file; " 0" reaches the tool as 0.
    version.setLoaded({3, 1, 3, 0});
    gain.LevelFile(kF, {" 0", "-45", "8000", "5"}, trap);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readFile(toolArgs()), "gainfix[-s][" + kF + "][-d][c:\\mytempwavfile774.WAV][-t][0]");

    const std::string cmd315 =
        "C:\\Tools\\gainfix315 -s \"" + kF + "\" -d c:\\mytempwavfile774.WAV -t -26 -m -45 -b 8000 -g 5";
    const std::string cmd3 = "C:\\Tools\\gainfix -s \"" + kF + "\" -d c:\\mytempwavfile774.WAV -t  0";
    EXPECT_EQ(body(), (std::vector<std::string>{kF + " set to dB -26", "    Used command line=" + cmd315,
                                                kF + " set to dB  0", "    Used command line=" + cmd3}));
}

TEST_F(LevelFileTest, ProgramFolderWithBlanksIsFound) {
    app.programFolder = "C:\\Program Files\\Levora";
    goodTool("gainfix315", c() / "Program Files" / "Levora");
    gain.LevelFile(kF, kOptions, trap);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readFile(hostF()), kLevelled);
    EXPECT_EQ(readFile(toolArgs()).rfind("gainfix315[-s]", 0), 0u);
}

TEST_F(LevelFileTest, LeftoverTemporaryFileIsDeletedEvenWhenReadOnly) {
    writeFile(c() / "MyTempWavFile774.wav", pcmWav("stale of an earlier"));
    ::chmod((c() / "MyTempWavFile774.wav").c_str(), 0444);
    // A tool that ends well but writes nothing: the stale audio must not reach F.
    writeScript(c() / "Tools" / "gainfix315", "exit 0\n");
    gain.LevelFile(kF, kOptions, trap);
    EXPECT_FALSE(fs::exists(c() / "MyTempWavFile774.wav"));
    EXPECT_EQ(errorNumbers(), (std::vector<int>{err::TempNotWritten}));
    EXPECT_EQ(readFile(hostF()), kOriginal);

    errors.clear();
    writeFile(c() / "mytempwavfile774.wav", pcmWav("stalexxx"));
    goodTool();
    gain.LevelFile(kF, kOptions, trap);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readFile(hostF()), kLevelled);
}

TEST_F(LevelFileTest, FailuresLeaveTheFileAsItWasAndStillLog) {
    const fs::path ran = tmp.path() / "tool-ran";
    const fs::path pidFile = tmp.path() / "tool.pid";
    const std::string injected = "E:\\Host\\evil\" -d \"victim.wav";
    const fs::path injectedHost = tmp.path() / "edrive" / "Host" / "evil\" -d \"victim.wav";
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::string file;
        fs::path host;
        int error;
    } cases[] = {
        {"missing tool", [] {}, kF, hostF(), err::FileNotFound},
        {"failing tool",
         [&] { writeScript(c() / "Tools" / "gainfix315", "echo half > '" + hostTemp().string() + "'\nexit 1\n"); }, kF,
         hostF(), err::ToolFailed},
        {"hanging tool",
         [&] {
             gain.setToolTimeoutMs(300);
             writeScript(c() / "Tools" / "gainfix315",
                         "echo $$ > '" + pidFile.string() + "'\necho half > '" + hostTemp().string() + "'\nsleep 30\n");
         },
         kF, hostF(), err::ToolTimedOut},
        {"quote in the source path",
         [&] {
             writeFile(injectedHost, kOriginal);
             writeScript(c() / "Tools" / "gainfix315", "touch '" + ran.string() + "'\n");
         },
         injected, injectedHost, err::UnsafePath},
        {"read-only file",
         [&] {
             goodTool();
             ::chmod(hostF().c_str(), 0444);
         },
         kF, hostF(), err::PermissionDenied},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        fs::remove(c() / "Tools" / "gainfix315");
        errors.clear();
        log.OpenLog("c:\\Levora.log", false);
        tc.arrange();
        gain.LevelFile(tc.file, kOptions, trap);
        EXPECT_EQ(errorNumbers(), (std::vector<int>{tc.error}));
        EXPECT_EQ(readFile(tc.host), kOriginal);
        EXPECT_EQ(body(),
                  (std::vector<std::string>{tc.file + " set to dB -26",
                                            "    Used command line=" + gain.buildCommandLine(tc.file, kOptions)}));
    }
    EXPECT_FALSE(fs::exists(ran)) << "the tool never ran with the unsafe path";
    EXPECT_FALSE(processRunning(std::atoi(readFile(pidFile).c_str()))) << "the hanging tool was killed";
}

TEST_F(LevelFileTest, UndeletableLeftoverSkipsTheFile) {
    StuckTempFileSystem stuck(lfs);
    GainToolRunner stuckGain(stuck, procs, version, log, app);
    writeFile(c() / "mytempwavfile774.wav", pcmWav("stalexxx")); // even a matching WAV
    writeScript(c() / "Tools" / "gainfix315", "exit 0\n");       // would leave the stale file in place
    stuckGain.LevelFile(kF, kOptions, trap);
    ASSERT_EQ(errorNumbers(), (std::vector<int>{err::StaleTempFile}));
    EXPECT_NE(errors[0].description().find("Permission denied"), std::string::npos);
    EXPECT_EQ(readFile(hostF()), kOriginal);
    EXPECT_EQ(body().size(), 2u);
}

TEST_F(LevelFileTest, OutputThatIsNotTheFileInItsOwnFormatIsRefused) {
    const std::string longer = pcmWav(std::string(1000, 'a'));
    std::string extensible = pcmWav("abcd", 8000, 1, 16);
    // Rewritten as WAVE_FORMAT_EXTENSIBLE with the PCM sub-format; the float one differs only there.
    auto asExtensible = [](const std::string& pcm, char subFormat) {
        std::string fmt = pcm.substr(20, 16);
        fmt[0] = '\xFE';
        fmt[1] = '\xFF';
        fmt += std::string("\x16\x00\x10\x00\x04\x00\x00\x00", 8) + subFormat +
               std::string("\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 15);
        const std::string data = pcm.substr(36);
        const auto riffSize = static_cast<uint32_t>(4 + 8 + fmt.size() + data.size());
        std::string out = "RIFF";
        for (int i = 0; i < 4; ++i)
            out += static_cast<char>((riffSize >> (8 * i)) & 0xFF);
        return out + "WAVEfmt " + std::string("\x28\x00\x00\x00", 4) + fmt + data;
    };
    struct Case {
        const char* name;
        std::string file;   // F before the run
        std::string output; // what the tool writes before it exits 0
        int error;
        std::string detail;
    } cases[] = {
        {"half the file", longer, longer.substr(0, longer.size() / 2), err::ToolOutputRefused,
         "the levelled file is not a WAV file: it is cut short: its data chunk holds 478 of 1000 bytes"},
        {"empty", kOriginal, "", err::ToolOutputRefused, "the levelled file is not a WAV file: it is empty"},
        {"noise", kOriginal, "\x13\x99garbage\x01 and more noise than a header", err::ToolOutputRefused,
         "the levelled file is not a WAV file: it is not a RIFF WAVE file"},
        {"other rate", kOriginal, pcmWav("levelled", 16000), err::ToolOutputRefused,
         "the rate differs: 8000 Hz, levelled 16000 Hz"},
        {"other channels", pcmWav("abcd", 8000, 1, 16), pcmWav("abcdabcd", 8000, 2, 16), err::ToolOutputRefused,
         "the channel count differs: 1, levelled 2"},
        {"fewer frames", kOriginal, pcmWav("level"), err::ToolOutputRefused,
         "the length differs: 8 frames, levelled 5 frames"},
        {"other sub-format", asExtensible(extensible, '\x01'), asExtensible(extensible, '\x03'), err::ToolOutputRefused,
         "the encoding differs"},
        {"F is not a WAV file", "index of the stream files", kOriginal, err::ToolOutputRefused,
         "the file is not a WAV file: it is not a RIFF WAVE file"},
        {"killed by a signal", kOriginal, "kill", err::ToolFailed, "(stopped by signal 11, Segmentation fault)"},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        errors.clear();
        log.OpenLog("c:\\Levora.log", false);
        writeFile(hostF(), tc.file);
        writeFile(tmp.path() / "output", tc.output);
        writeScript(c() / "Tools" / "gainfix315", tc.output == "kill" ? "ulimit -c 0; kill -SEGV $$\n"
                                                                      : "cp '" + (tmp.path() / "output").string() +
                                                                            "' '" + hostTemp().string() + "'\n");
        EXPECT_FALSE(gain.LevelFile(kF, kOptions, trap));
        ASSERT_EQ(errorNumbers(), (std::vector<int>{tc.error}));
        EXPECT_NE(errors[0].description().find(tc.detail), std::string::npos) << errors[0].description();
        EXPECT_EQ(readFile(hostF()), tc.file);
        EXPECT_EQ(body().size(), 2u);
    }
    // The same output in the file's own format is taken.
    writeFile(hostF(), asExtensible(extensible, '\x01'));
    writeFile(tmp.path() / "output", asExtensible(pcmWav("dcba", 8000, 1, 16), '\x01'));
    writeScript(c() / "Tools" / "gainfix315",
                "cp '" + (tmp.path() / "output").string() + "' '" + hostTemp().string() + "'\n");
    errors.clear();
    EXPECT_TRUE(gain.LevelFile(kF, kOptions, trap));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readFile(hostF()), readFile(tmp.path() / "output"));
}
