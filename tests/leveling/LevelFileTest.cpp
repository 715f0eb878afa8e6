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
using levora::test::processRunning;
using levora::test::readFile;
using levora::test::ScriptedMessageBox;
using levora::test::writeFile;
using levora::test::writeScript;

namespace {

const OptionTexts kOptions{"-26", "-45", "8000", "5"};
const std::string kF = "E:\\Host\\Stream Files\\greeting1.wav";

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
        writeFile(hostF(), "original");
        log.OpenLog("c:\\Levora.log", false);
    }

    // A tool that writes its name and the arguments it received into the temporary file.
    void goodTool(const std::string& name, const fs::path& folder) {
        writeScript(folder / name, "{ printf '" + name + "'; for a in \"$@\"; do printf '[%s]' \"$a\"; done; } > '" +
                                       hostTemp().string() + "'\n");
    }
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
    EXPECT_EQ(readFile(hostF()),
              "gainfix315[-s][" + kF + "][-d][c:\\mytempwavfile774.WAV][-t][-26][-m][-45][-b][8000][-g][5]");
    struct stat st {};
    ::stat(hostF().c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u) << "F keeps its permissions";
    EXPECT_TRUE(fs::exists(hostTemp())) << "the temporary file stays until the next file";

    // The tool is chosen anew for the next file; " 0" reaches the tool as 0.
    version.setLoaded({3, 1, 3, 0});
    gain.LevelFile(kF, {" 0", "-45", "8000", "5"}, trap);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readFile(hostF()), "gainfix[-s][" + kF + "][-d][c:\\mytempwavfile774.WAV][-t][0]");

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
    EXPECT_EQ(readFile(hostF()).rfind("gainfix315[-s]", 0), 0u);
}

TEST_F(LevelFileTest, LeftoverTemporaryFileIsDeletedEvenWhenReadOnly) {
    writeFile(c() / "MyTempWavFile774.wav", "stale audio of an earlier file");
    ::chmod((c() / "MyTempWavFile774.wav").c_str(), 0444);
    // A tool that ends well but writes nothing: the stale audio must not reach F.
    writeScript(c() / "Tools" / "gainfix315", "exit 0\n");
    gain.LevelFile(kF, kOptions, trap);
    EXPECT_FALSE(fs::exists(c() / "MyTempWavFile774.wav"));
    EXPECT_EQ(errorNumbers(), (std::vector<int>{err::TempNotWritten}));
    EXPECT_EQ(readFile(hostF()), "original");

    errors.clear();
    writeFile(c() / "mytempwavfile774.wav", "stale again");
    goodTool();
    gain.LevelFile(kF, kOptions, trap);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(readFile(hostF()).rfind("gainfix315[-s]", 0), 0u);
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
             writeFile(injectedHost, "original");
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
        EXPECT_EQ(readFile(tc.host), "original");
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
    writeFile(c() / "mytempwavfile774.wav", "stale audio of an earlier file");
    writeScript(c() / "Tools" / "gainfix315", "exit 0\n"); // would leave the stale file in place
    stuckGain.LevelFile(kF, kOptions, trap);
    ASSERT_EQ(errorNumbers(), (std::vector<int>{err::StaleTempFile}));
    EXPECT_NE(errors[0].description().find("Permission denied"), std::string::npos);
    EXPECT_EQ(readFile(hostF()), "original");
    EXPECT_EQ(body().size(), 2u);
}
