#include "platform/Error.h"
#include "platform/LinuxFileSystem.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace levora;
using levora::test::readFile;
using levora::test::writeFile;

namespace {

class FileSystemTest : public levora::test::PrefixFixture {
protected:
    LinuxFileSystem lfs{ns};

    template <class F> int errorOf(F&& f) {
        try {
            f();
        } catch (const Error& e) {
            return e.number();
        }
        return 0;
    }
    static mode_t modeOf(const fs::path& p) {
        struct stat st {};
        ::stat(p.c_str(), &st);
        return st.st_mode & 07777;
    }
    // Everything in a folder, hidden names included (a leftover temporary file would show here).
    static std::vector<std::string> allNames(const fs::path& dir) {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST_F(FileSystemTest, ExistenceIgnoresLetterCase) {
    writeFile(c() / "Host" / "Stream Files" / "G1.wav", "x");
    EXPECT_TRUE(lfs.FileExists("c:\\host\\stream files\\g1.WAV"));
    EXPECT_FALSE(lfs.FileExists("c:\\host\\stream files"));
    EXPECT_TRUE(lfs.FolderExists("C:\\HOST\\Stream Files\\"));
    EXPECT_FALSE(lfs.FolderExists("C:\\Host\\Stream Files\\G1.wav"));
    EXPECT_FALSE(lfs.FileExists("Q:\\nothing"));
    EXPECT_FALSE(lfs.FileExists(""));
    writeFile(c() / "Host" / "g1.WAV", "x");
    writeFile(c() / "Host" / "G1.wav", "x");
    EXPECT_EQ(errorOf([&] { lfs.FileExists("C:\\Host\\g1.wav"); }), err::CaseClash);
}

TEST_F(FileSystemTest, ListingsAreSortedAndSeparateFilesFromFolders) {
    for (const char* f : {"b.wav", "A.WAV", "_c.wav", "a.txt"})
        writeFile(c() / "S" / f, "");
    fs::create_directories(c() / "S" / "English");
    fs::create_directories(c() / "S" / "deutsch");
    EXPECT_EQ(lfs.FileNames("C:\\s"), (std::vector<std::string>{"a.txt", "A.WAV", "b.wav", "_c.wav"}));
    EXPECT_EQ(lfs.SubFolderNames("C:\\s\\"), (std::vector<std::string>{"deutsch", "English"}));
    EXPECT_EQ(errorOf([&] { lfs.FileNames("C:\\missing"); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { lfs.SubFolderNames("C:\\s\\b.wav"); }), err::PathNotFound);
}

TEST_F(FileSystemTest, CopyFileFailuresKeepTheDestination) {
    writeFile(c() / "src.wav", "new");
    writeFile(c() / "dst.wav", "old");
    struct Case {
        const char* name;
        std::string src, dst;
        bool overwrite;
        int error;
    } cases[] = {
        {"missing source", "C:\\none.wav", "C:\\dst.wav", true, err::FileNotFound},
        {"missing folder", "C:\\src.wav", "C:\\no\\dst.wav", true, err::PathNotFound},
        {"no overwrite", "C:\\src.wav", "C:\\dst.wav", false, err::FileExists},
        {"onto a folder", "C:\\src.wav", "C:\\SRC.wav.d", true, err::PermissionDenied},
    };
    fs::create_directories(c() / "src.wav.d");
    for (const auto& tc : cases)
        EXPECT_EQ(errorOf([&] { lfs.CopyFile(tc.src, tc.dst, tc.overwrite); }), tc.error) << tc.name;
    // Windows refuses to overwrite a read-only file.
    fs::permissions(c() / "dst.wav", fs::perms::owner_read | fs::perms::group_read);
    EXPECT_EQ(errorOf([&] { lfs.CopyFile("C:\\src.wav", "c:\\DST.WAV", true); }), err::PermissionDenied);
    EXPECT_EQ(readFile(c() / "dst.wav"), "old");
    EXPECT_EQ(allNames(c()), (std::vector<std::string>{"dst.wav", "src.wav", "src.wav.d"}));
}

TEST_F(FileSystemTest, CopyFileReplacesAtomicallyKeepingPermissions) {
    writeFile(c() / "src.wav", std::string(300000, 'n'));
    writeFile(c() / "dst.wav", "old");
    ::chmod((c() / "src.wav").c_str(), 0644);
    ::chmod((c() / "dst.wav").c_str(), 0640);
    struct stat before {};
    ::stat((c() / "dst.wav").c_str(), &before);

    lfs.CopyFile("C:\\SRC.wav", "c:\\Dst.WAV", true);
    EXPECT_EQ(readFile(c() / "dst.wav"), std::string(300000, 'n'));
    EXPECT_EQ(modeOf(c() / "dst.wav"), 0640u);
    struct stat after {};
    ::stat((c() / "dst.wav").c_str(), &after);
    EXPECT_NE(after.st_ino, before.st_ino) << "written beside and renamed, not rewritten in place";
    EXPECT_EQ(fs::last_write_time(c() / "dst.wav"), fs::last_write_time(c() / "src.wav"));
    EXPECT_EQ(allNames(c()), (std::vector<std::string>{"dst.wav", "src.wav"}));

    // A new file takes the source's permissions; a trailing backslash names the folder.
    fs::create_directories(c() / "Backup");
    lfs.CopyFile("C:\\src.wav", "C:\\backup\\", false);
    EXPECT_EQ(modeOf(c() / "Backup" / "src.wav"), 0644u);
    EXPECT_TRUE(lfs.FileExists("C:\\Backup\\src.wav"));

    // The file beside has a short name: a name of the longest length a folder allows is replaced too.
    const std::string longest = std::string(251, 'g') + ".wav";
    writeFile(c() / longest, "old");
    lfs.CopyFile("C:\\src.wav", "C:\\" + longest, true);
    EXPECT_EQ(readFile(c() / longest), std::string(300000, 'n'));
}

TEST_F(FileSystemTest, DeleteFileHonoursReadOnlyUnlessForced) {
    writeFile(c() / "ro.wav", "x");
    ::chmod((c() / "ro.wav").c_str(), 0444);
    EXPECT_TRUE(lfs.IsReadOnly("C:\\RO.wav"));
    EXPECT_EQ(errorOf([&] { lfs.DeleteFile("C:\\ro.wav", false); }), err::PermissionDenied);
    EXPECT_TRUE(fs::exists(c() / "ro.wav"));
    lfs.DeleteFile("C:\\RO.WAV", true);
    EXPECT_FALSE(fs::exists(c() / "ro.wav"));
    EXPECT_EQ(errorOf([&] { lfs.DeleteFile("C:\\ro.wav", true); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { lfs.IsReadOnly("C:\\ro.wav"); }), err::FileNotFound);
    EXPECT_EQ(errorOf([&] { lfs.LastWriteTime("C:\\ro.wav"); }), err::FileNotFound);
    fs::create_directories(c() / "dir");
    EXPECT_EQ(errorOf([&] { lfs.DeleteFile("C:\\dir", true); }), err::FileNotFound);
}

TEST_F(FileSystemTest, FoldersCreateCopyAndDelete) {
    EXPECT_EQ(errorOf([&] { lfs.CreateFolder("C:\\a\\b"); }), err::PathNotFound);
    lfs.CreateFolder("C:\\Backup");
    EXPECT_EQ(errorOf([&] { lfs.CreateFolder("c:\\BACKUP"); }), err::FileExists);
    EXPECT_TRUE(fs::is_directory(c() / "Backup"));

    writeFile(c() / "Live" / "Stream Files" / "g1.wav", "1");
    writeFile(c() / "Live" / "Stream Files" / "Sub" / "g2.wav", "2");
    fs::create_directories(c() / "Live" / "Empty");
    writeFile(c() / "Backup" / "stream files" / "keep.wav", "k"); // case-different existing folder is reused
    writeFile(c() / "Live" / "Stream Files" / "g3.wav", "3");
    writeFile(c() / "Backup" / "stream files" / "G3.WAV", "old"); // and so is a case-different file
    lfs.CopyFolder("C:\\Live", "C:\\Backup", true);
    EXPECT_EQ(readFile(c() / "Backup" / "stream files" / "G3.WAV"), "3");
    EXPECT_FALSE(fs::exists(c() / "Backup" / "stream files" / "g3.wav"));
    EXPECT_EQ(readFile(c() / "Backup" / "stream files" / "g1.wav"), "1");
    EXPECT_EQ(readFile(c() / "Backup" / "stream files" / "Sub" / "g2.wav"), "2");
    EXPECT_EQ(readFile(c() / "Backup" / "stream files" / "keep.wav"), "k");
    EXPECT_TRUE(fs::is_directory(c() / "Backup" / "Empty"));
    EXPECT_FALSE(fs::exists(c() / "Backup" / "Stream Files"));
    EXPECT_EQ(errorOf([&] { lfs.CopyFolder("C:\\Live", "C:\\Backup", false); }), err::FileExists);
    EXPECT_EQ(errorOf([&] { lfs.CopyFolder("C:\\None", "C:\\Backup", true); }), err::PathNotFound);
    EXPECT_EQ(errorOf([&] { lfs.CopyFolder("C:\\Live", "C:\\no\\where", true); }), err::PathNotFound);

    ::chmod((c() / "Backup" / "stream files" / "keep.wav").c_str(), 0444);
    EXPECT_EQ(errorOf([&] { lfs.DeleteFolder("C:\\Backup", false); }), err::PermissionDenied);
    EXPECT_TRUE(fs::exists(c() / "Backup" / "stream files" / "g1.wav"));
    lfs.DeleteFolder("C:\\Backup", true);
    EXPECT_FALSE(fs::exists(c() / "Backup"));
    EXPECT_EQ(errorOf([&] { lfs.DeleteFolder("C:\\Backup", true); }), err::PathNotFound);
}

TEST_F(FileSystemTest, HostPathAndWriteTime) {
    writeFile(c() / "Levora.log", "x");
    EXPECT_EQ(lfs.HostPath("c:\\levora.log"), c() / "Levora.log");
    EXPECT_EQ(lfs.HostPath("c:\\new.log"), c() / "new.log");
    EXPECT_EQ(lfs.LastWriteTime("C:\\Levora.log"), fs::last_write_time(c() / "Levora.log"));
}

TEST_F(FileSystemTest, OutputFilesRefuseFoldersReadOnlyFilesAndMissingFolders) {
    fs::create_directories(c() / "Folder.log");
    writeFile(c() / "ro.log", "kept");
    ::chmod((c() / "ro.log").c_str(), 0444);
    struct Case {
        const char* path;
        int number;
    } cases[] = {{"C:\\Folder.log", err::PermissionDenied},
                 {"C:\\ro.log", err::PermissionDenied},
                 {"C:\\no folder\\x.log", err::PathNotFound}};
    for (const Case& tc : cases)
        for (bool append : {false, true})
            EXPECT_EQ(errorOf([&] { lfs.OpenOutputFile(tc.path, append); }), tc.number) << tc.path << append;
    EXPECT_EQ(readFile(c() / "ro.log"), "kept");
    EXPECT_EQ(allNames(c()), (std::vector<std::string>{"Folder.log", "ro.log"}));
}
