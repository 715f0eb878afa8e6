#include "platform/HostFile.h"
#include "platform/Error.h"
#include "platform/LinuxFileSystem.h"
#include "platform/RegistryStore.h"
#include "platform/ReplaceFile.h"
#include "support/PrefixFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;
using namespace levora;
using levora::test::pcmWav;
using levora::test::readFile;
using levora::test::writeFile;

namespace {

class HostFileTest : public levora::test::PrefixFixture {
protected:
    LinuxFileSystem lfs{ns};
};

TEST_F(HostFileTest, ReadersTakeOnlyRegularFilesUpToTheirBound) {
    writeFile(c() / "small.txt", "0123456789");
    fs::create_directories(c() / "folder");
    ASSERT_EQ(::mkfifo((c() / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", c() / "zero");
    fs::create_symlink(c() / "small.txt", c() / "link.txt");
    struct Case {
        const char* path;
        size_t bound;
        int32_t number; // 0: read
    } cases[] = {
        {"C:\\small.txt", 10, 0},
        {"C:\\link.txt", 10, 0},
        {"C:\\small.txt", 9, err::FileTooLarge},
        {"C:\\fifo", 1 << 20, err::NotRegularFile}, // never waits for a writer
        {"C:\\zero", 1 << 20, err::NotRegularFile}, // never grows
        {"C:\\folder", 1 << 20, err::PermissionDenied},
        {"C:\\missing.txt", 1 << 20, err::FileNotFound},
    };
    for (const Case& tc : cases) {
        int32_t number = 0;
        std::string bytes;
        try {
            bytes = lfs.ReadFile(tc.path, tc.bound);
        } catch (const Error& e) {
            number = e.number();
        }
        EXPECT_EQ(number, tc.number) << tc.path << " bound " << tc.bound;
        if (tc.number == 0) {
            EXPECT_EQ(bytes, "0123456789") << tc.path;
        }
    }
    for (const char* path : {"C:\\fifo", "C:\\zero"}) { // the head of a file checks the same
        try {
            lfs.ReadHead(path, 44);
            ADD_FAILURE() << path;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::NotRegularFile) << path;
        }
    }
    const FileStat fifo = lfs.Stat("C:\\fifo");
    EXPECT_TRUE(fifo.exists && !fifo.regular && !fifo.folder);
    const FileStat small = lfs.Stat("c:\\SMALL.TXT");
    EXPECT_TRUE(small.regular && small.size == 10);
    struct stat st {};
    ::stat((c() / "small.txt").c_str(), &st);
    EXPECT_EQ(small.writeTimeNs, st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec);

    // The registry store reads its file through the same bound: a FIFO is read as unreadable, at once.
    ASSERT_EQ(::mkfifo((tmp.path() / "system.reg").c_str(), 0600), 0);
    RegistryStore store(tmp.path() / "system.reg");
    EXPECT_FALSE(store.setValue("HKEY_LOCAL_MACHINE\\Software\\k", "v", REG_SZ, {'x', 0}));
}

TEST_F(HostFileTest, WritersNeverFollowALinkPlantedAtTheirName) {
    // What a careless link would send the writes to: a private file outside the machine.
    const fs::path secret = tmp.path() / "secret";
    writeFile(secret, "private");
    ::chmod(secret.c_str(), 0600);
    fs::create_symlink(secret, c() / "Levora.log");
    for (bool append : {false, true}) {
        try {
            lfs.OpenOutputFile("C:\\Levora.log", append);
            ADD_FAILURE() << "the log was opened through a link, append " << append;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), err::PermissionDenied);
        }
    }
    EXPECT_TRUE(fs::is_symlink(c() / "Levora.log"));

    // Writers that replace by rename replace the link itself.
    fs::create_symlink(secret, c() / "levora-state.tsv");
    writeFileAtomically(c() / "levora-state.tsv", "record");
    writeFile(tmp.path() / "empty.reg", "");
    fs::create_symlink(tmp.path() / "empty.reg", tmp.path() / "store.reg");
    RegistryStore store(tmp.path() / "store.reg");
    EXPECT_TRUE(store.setValue("HKEY_LOCAL_MACHINE\\Software\\k", "v", REG_SZ, {'x', 0}));
    for (const fs::path& p : {c() / "levora-state.tsv", tmp.path() / "store.reg"})
        EXPECT_FALSE(fs::is_symlink(p)) << p;
    EXPECT_EQ(readFile(c() / "levora-state.tsv"), "record");
    EXPECT_EQ(readFile(secret), "private");
    EXPECT_EQ(readFile(tmp.path() / "empty.reg"), "");
}

} // namespace
