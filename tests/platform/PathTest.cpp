#include "platform/Error.h"
#include "platform/Prefix.h"
#include "platform/WinPath.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using namespace levora;
using levora::test::EnvVar;
using levora::test::TempDir;
using levora::test::writeFile;

using PathTest = levora::test::PrefixFixture;

TEST(MachinePrefixTest, DefaultRootFollowsLevoraPrefixThenHome) {
    TempDir tmp;
    {
        EnvVar p("LEVORA_PREFIX", (tmp.path() / "mine").c_str());
        EXPECT_EQ(MachinePrefix::defaultRoot(), tmp.path() / "mine");
    }
    EnvVar p("LEVORA_PREFIX", nullptr);
    EnvVar h("HOME", tmp.path().c_str());
    EXPECT_EQ(MachinePrefix::defaultRoot(), tmp.path() / ".levora");
}

TEST(MachinePrefixTest, LayoutIsCreatedOnDemandAndKeptWhenPresent) {
    TempDir tmp;
    MachinePrefix prefix(tmp.path() / "a" / "b");
    EXPECT_TRUE(fs::is_directory(prefix.driveC()));
    EXPECT_EQ(fs::read_symlink(prefix.dosdevices() / "c:"), fs::path("../drive_c"));
    EXPECT_EQ(fs::read_symlink(prefix.dosdevices() / "z:"), fs::path("/"));

    prefix.mapDrive('E', tmp.path() / "e");
    prefix.mapDrive('e', tmp.path() / "e2"); // replaced, not doubled
    EXPECT_EQ(fs::read_symlink(prefix.dosdevices() / "e:"), tmp.path() / "e2");
    MachinePrefix again(tmp.path() / "a" / "b");
    EXPECT_EQ(fs::read_symlink(again.dosdevices() / "e:"), tmp.path() / "e2");
    EXPECT_THROW(prefix.mapDrive('1', tmp.path()), Error);
    // A drive the administrator removed is not brought back.
    fs::remove(prefix.dosdevices() / "z:");
    MachinePrefix third(tmp.path() / "a" / "b");
    EXPECT_FALSE(fs::exists(fs::symlink_status(third.dosdevices() / "z:")));
    EXPECT_TRUE(fs::is_symlink(third.dosdevices() / "c:"));
}

TEST_F(PathTest, WindowsPathsMapToHostPaths) {
    fs::create_directories(tmp.path() / "edrive");
    prefix.mapDrive('E', tmp.path() / "edrive");
    fs::create_directories(c() / "Work" / "sub");
    ns.setCurrentDirectory("C:\\Work");

    struct Case {
        const char* win;
        fs::path host;
    } cases[] = {
        {"C:\\a\\b.wav", c() / "a" / "b.wav"},
        {"c:/a\\b/c", c() / "a" / "b" / "c"},           // mixed separators, small drive letter
        {"C:\\a\\\\b\\", c() / "a" / "b"},              // doubled and trailing separators
        {"\\x\\y", c() / "x" / "y"},                    // root of the current drive
        {"rel\\f.txt", c() / "Work" / "rel" / "f.txt"}, // against the current folder
        {"C:rel", c() / "Work" / "rel"},                // drive-relative on the current drive
        {"E:rel", tmp.path() / "edrive" / "rel"},       // another drive: from its root
        {"E:\\Host\\Stream Files\\greeting1.wav", tmp.path() / "edrive" / "Host" / "Stream Files" / "greeting1.wav"},
        {"..\\up", c() / "up"},
        {"C:\\..\\..\\top", c() / "top"}, // cannot climb above the drive
        {".\\sub\\.\\x", c() / "Work" / "sub" / "x"},
        {"C:\\", c()},
        {"\\\\?\\C:\\long", c() / "long"},
        {"C:\\Talvio.\\Stream Files \\x.wav", c() / "Talvio" / "Stream Files" / "x.wav"}, // trailing dots, blanks
        {"sub. .\\ \\y...", c() / "Work" / "sub" / "y"},
        {"\\\\?\\C:\\as is.\\x ", c() / "as is." / "x "}, // a verbatim path keeps them
        {"/etc/hostname", "/etc/hostname"},               // already a host path
        {"/a\\b", "/a\\b"},
    };
    for (const auto& tc : cases)
        EXPECT_EQ(ns.toHost(tc.win), tc.host) << tc.win;

    for (const char* bad : {"Q:\\x", "", "\\\\server\\share\\x"}) {
        try {
            ns.toHost(bad);
            ADD_FAILURE() << bad;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::PathNotFound) << bad;
        }
    }
}

TEST_F(PathTest, ComponentsMatchExactlyThenWithoutCaseAndClashesAreReported) {
    fs::create_directories(c() / "Localize" / "DefaultConfiguration" / "English");
    writeFile(c() / "Localize" / "DefaultConfiguration" / "English" / "Hello.WAV", "x");

    // Existing folders found in any case; a new last component keeps its given spelling.
    EXPECT_EQ(ns.toHost("c:\\localize\\defaultconfiguration\\ENGLISH\\hello.wav"),
              c() / "Localize" / "DefaultConfiguration" / "English" / "Hello.WAV");
    EXPECT_EQ(ns.toHost("C:\\LOCALIZE\\New Folder\\Sub\\File.Wav"),
              c() / "Localize" / "New Folder" / "Sub" / "File.Wav");

    // Exact spelling wins over a case variant.
    fs::create_directories(c() / "abc");
    fs::create_directories(c() / "ABC");
    EXPECT_EQ(ns.toHost("C:\\abc"), c() / "abc");
    EXPECT_EQ(ns.toHost("C:\\ABC\\x"), c() / "ABC" / "x");
    // No exact spelling and two candidates: never guess.
    try {
        ns.toHost("C:\\Abc\\x");
        ADD_FAILURE() << "clash not reported";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::CaseClash);
        EXPECT_NE(e.description().find("\"ABC\" and \"abc\""), std::string::npos) << e.description();
    }
    // Letters beyond ASCII match too.
    fs::create_directories(c() / "Ärger" / "Ωmega");
    EXPECT_EQ(ns.toHost("C:\\äRGER\\ωMEGA"), c() / "Ärger" / "Ωmega");

    // A folder looked through for a missing name is looked through again once it has changed.
    EXPECT_EQ(ns.toHost("C:\\Ärger\\foo.wav"), c() / "Ärger" / "foo.wav");
    writeFile(c() / "Ärger" / "FOO.WAV", "x");
    EXPECT_EQ(ns.toHost("C:\\Ärger\\foo.wav"), c() / "Ärger" / "FOO.WAV");
    // A drive mapped anew is followed at once.
    fs::create_directories(tmp.path() / "e1" / "in1");
    fs::create_directories(tmp.path() / "e2" / "in2");
    prefix.mapDrive('E', tmp.path() / "e1");
    EXPECT_EQ(ns.toHost("E:\\IN1"), tmp.path() / "e1" / "in1");
    prefix.mapDrive('E', tmp.path() / "e2");
    EXPECT_EQ(ns.toHost("E:\\IN2"), tmp.path() / "e2" / "in2");
}

TEST_F(PathTest, HostPathsMapBackToWindowsPaths) {
    fs::create_directories(c() / "data" / "inner");
    prefix.mapDrive('D', c() / "data");
    fs::create_directories(tmp.path() / "outside");

    EXPECT_EQ(ns.toWindows(c() / "x" / "y.wav"), "C:\\x\\y.wav");
    EXPECT_EQ(ns.toWindows(c()), "C:\\");
    EXPECT_EQ(ns.toWindows(c() / "data" / "inner"), "D:\\inner"); // the longer target wins
    EXPECT_EQ(ns.toWindows("/"), "Z:\\");
    EXPECT_EQ(
        ns.toWindows(tmp.path() / "outside"), "Z:" + [&] {
            std::string s = (tmp.path() / "outside").string();
            for (auto& ch : s)
                if (ch == '/')
                    ch = '\\';
            return s;
        }());
    // Reached through a link into the drive: the link is followed rather than falling back to Z:.
    fs::create_directory_symlink(c() / "data", tmp.path() / "link");
    EXPECT_EQ(ns.toWindows(tmp.path() / "link" / "inner"), "D:\\inner");
    // A host name with a backslash has no Windows spelling.
    EXPECT_EQ(ns.toWindows(c() / "a\\b"), "");
    // Without z: a path outside the drives cannot be expressed.
    fs::remove(prefix.dosdevices() / "z:");
    EXPECT_EQ(ns.toWindows(tmp.path() / "outside"), "");
    // Round trip.
    EXPECT_EQ(ns.toHost(ns.toWindows(c() / "data" / "inner")), c() / "data" / "inner");
}

TEST_F(PathTest, CurrentDirectoryStartsAsTheWorkingFolderReverseMapped) {
    fs::create_directories(c() / "Start Here");
    fs::path old = fs::current_path();
    fs::current_path(c() / "Start Here");
    PathNamespace fresh(prefix);
    fs::current_path(old);
    EXPECT_EQ(fresh.currentDirectory(), "C:\\Start Here");
    EXPECT_EQ(fresh.toHost("greeting.wav"), c() / "Start Here" / "greeting.wav");
}

TEST_F(PathTest, FolderListingsComeInNtfsOrder) {
    for (const char* name : {"b", "A", "Z", "_x", "a_", "B1", "\xc3\xa9t\xc3\xa9", "f", "~t", "10", "9"})
        writeFile(c() / "list" / name, "");
    for (const char* name : {"zeta", "Alpha", "beta"})
        fs::create_directories(c() / "list" / name);
    // Upper-case forms compared by code unit: '_' (0x5F) after 'Z', 'É' (0xC9) after every ASCII letter.
    EXPECT_EQ(PathNamespace::listSorted(c() / "list", false),
              (std::vector<std::string>{"10", "9", "A", "a_", "b", "B1", "f", "Z", "_x", "~t", "\xc3\xa9t\xc3\xa9"}));
    EXPECT_EQ(PathNamespace::listSorted(c() / "list", true), (std::vector<std::string>{"Alpha", "beta", "zeta"}));
    try {
        PathNamespace::listSorted(c() / "missing", false);
        ADD_FAILURE();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::PathNotFound);
    }
}

TEST(LetterCase, UpperFormAndComparison) {
    EXPECT_EQ(upperForm("abc_\xc3\xa9\xc3\xbf"), "ABC_\xc3\x89\xc5\xb8"); // é -> É, ÿ -> Ÿ
    EXPECT_EQ(upperForm("\xc3\xb7"), "\xc3\xb7");                         // ÷ has no upper case
    EXPECT_EQ(upperForm("\xff\x41x"), "\xff\x41X");                       // stray bytes kept as they are
    EXPECT_TRUE(equalsNoCase("mytempwavfile774.wav", "MyTempWavFile774.WAV"));
    EXPECT_FALSE(equalsNoCase("a.wav", "a.wa"));
    EXPECT_TRUE(ntfsLess("Z", "_"));
    EXPECT_FALSE(ntfsLess("abc", "ABC"));
}

TEST_F(PathTest, ProgramFolderIsAWindowsPathWithoutTrailingBackslash) {
    EXPECT_EQ(programFolderOf(ns, c() / "Program Files" / "Levora Admin" / "Levora"),
              "C:\\Program Files\\Levora Admin");
    EXPECT_EQ(programFolderOf(ns, c() / "Levora"), "C:");
    EXPECT_EQ(programFolderOf(ns, "/opt/levora tools/Levora"), "Z:\\opt\\levora tools");
    fs::remove(prefix.dosdevices() / "z:");
    EXPECT_EQ(programFolderOf(ns, "/opt/levora tools/Levora"), "Z:\\opt\\levora tools");
    // The running test program lies outside drive C:.
    std::string self = programFolderOf(ns);
    EXPECT_EQ(self.rfind("Z:\\", 0), 0u) << self;
}
