#include "platform/RegistryStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

using namespace levora;
using levora::test::readFile;
using levora::test::TempDir;
using levora::test::utf16le;
using levora::test::writeFile;

namespace {

std::vector<uint8_t> bytesOf(const std::string& s, bool nul = true) {
    std::vector<uint8_t> v(s.begin(), s.end());
    if (nul)
        v.push_back(0);
    return v;
}

struct Store : ::testing::Test {
    TempDir dir;
    std::filesystem::path file = dir.path() / "system.reg";
    RegistryStore reg{file};

    // The value's bytes through open/query/close, or nullopt with the failing code in *rc.
    std::optional<std::vector<uint8_t>> query(HKEY root, const std::string& key, const std::string& name,
                                              uint32_t* type = nullptr, long* rc = nullptr) {
        HKEY k = 0;
        long r = reg.RegOpenKeyExA(root, key, 0, KEY_READ, &k);
        if (r == ERROR_SUCCESS) {
            uint32_t size = 0;
            r = reg.RegQueryValueExA(k, name, type, nullptr, &size);
            std::vector<uint8_t> data(size);
            if (r == ERROR_SUCCESS)
                r = reg.RegQueryValueExA(k, name, type, data.data(), &size);
            reg.RegCloseKey(k);
            if (r == ERROR_SUCCESS)
                return data;
        }
        if (rc)
            *rc = r;
        return std::nullopt;
    }
};

} // namespace

TEST_F(Store, WritesRegeditTextWithCrLfAndReadsItBack) {
    ASSERT_TRUE(reg.setValue("HKLM\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization", "AGCTargetDB", REG_DWORD,
                             {0xE6, 0xFF, 0xFF, 0xFF}));
    ASSERT_TRUE(reg.setValue("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantor\\1.0", "Root Path", REG_SZ,
                             bytesOf("C:\\Program Files\\\"Vantor\"\\")));
    ASSERT_TRUE(reg.setValue("HKLM\\SOFTWARE\\Quillon\\Vantor\\1.0", "", REG_SZ, bytesOf("default")));
    std::string text = readFile(file);
    EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\r\n\r\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization]\r\n"
                        "\"AGCTargetDB\"=dword:ffffffe6\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Root Path\"=\"C:\\\\Program Files\\\\\\\"Vantor\\\"\\\\\"\r\n"), std::string::npos);
    EXPECT_NE(text.find("@=\"default\"\r\n"), std::string::npos);
    // Parents exist as keys of their own, as on Windows, but without a section of their own: reading
    // a subkey's section makes them again.
    EXPECT_EQ(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon]\r\n"), std::string::npos);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_EQ(text[i - 1], '\r') << "bare LF at " << i;
        }
    }

    RegistryStore other(file);
    uint32_t type = 0;
    HKEY k = 0;
    ASSERT_EQ(other.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon", 0, KEY_READ, &k), ERROR_SUCCESS);
    other.RegCloseKey(k);
    ASSERT_EQ(other.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization", 0, KEY_READ, &k),
              ERROR_SUCCESS);
    uint8_t dword[4];
    uint32_t size = 4;
    ASSERT_EQ(other.RegQueryValueExA(k, "AGCTargetDB", &type, dword, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, REG_DWORD);
    EXPECT_EQ(std::vector<uint8_t>(dword, dword + 4), (std::vector<uint8_t>{0xE6, 0xFF, 0xFF, 0xFF}));
    other.RegCloseKey(k);
    // REG_SZ comes back with its terminating NUL counted.
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", "Root Path", &type),
              bytesOf("C:\\Program Files\\\"Vantor\"\\"));
    EXPECT_EQ(type, REG_SZ);
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", ""), bytesOf("default"));

    // A deep key costs its length once, not once per level (300 levels would be 4.5 MB).
    std::string deep = "HKLM\\SOFTWARE";
    for (int i = 0; i < 300; ++i)
        deep += "\\" + std::string(100, 'k');
    ASSERT_TRUE(reg.setValue(deep, "v", REG_DWORD, {1, 0, 0, 0}));
    EXPECT_LT(readFile(file).size(), text.size() + 2 * deep.size());
}

TEST_F(Store, KeepsWindowsOpenQuerySetSemantics) {
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\A", "v", REG_SZ, bytesOf("hello")));
    HKEY k = 0;
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Missing", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\A", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "\\Software\\A", 0, KEY_READ, &k), ERROR_BAD_PATHNAME);

    ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\A", 0, KEY_READ, &k), ERROR_SUCCESS);
    uint8_t small[5];
    uint32_t size = sizeof small;
    uint32_t type = 0;
    EXPECT_EQ(reg.RegQueryValueExA(k, "v", &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(type, REG_SZ);
    size = 0;
    EXPECT_EQ(reg.RegQueryValueExA(k, "v", nullptr, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(reg.RegQueryValueExA(k, "absent", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    // A key opened for reading cannot be written.
    EXPECT_EQ(reg.RegSetValueExA(k, "v", REG_SZ, small, 1), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg.RegCloseKey(k), ERROR_SUCCESS);
    EXPECT_EQ(reg.RegCloseKey(k), ERROR_INVALID_HANDLE);

    // Set through an open handle; deleted meanwhile by another process: not re-created.
    ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\A", 0, KEY_WRITE, &k), ERROR_SUCCESS);
    const uint8_t four[4] = {1, 0, 0, 0};
    EXPECT_EQ(reg.RegSetValueExA(k, "n", REG_DWORD, four, 4), ERROR_SUCCESS);
    RegistryStore other(file);
    ASSERT_TRUE(other.deleteKey("HKLM\\Software\\A"));
    EXPECT_EQ(reg.RegSetValueExA(k, "n", REG_DWORD, four, 4), ERROR_KEY_DELETED);
    reg.RegCloseKey(k);
    ASSERT_TRUE(other.setValue("HKLM\\Software\\B", "v", REG_SZ, bytesOf("1")));
    ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\B", 0, KEY_READ, &k), ERROR_SUCCESS);
    ASSERT_TRUE(other.deleteKey("HKLM\\Software\\B"));
    EXPECT_EQ(reg.RegQueryValueExA(k, "v", nullptr, nullptr, &size), ERROR_KEY_DELETED);
    reg.RegCloseKey(k);
    EXPECT_FALSE(reg.keyExists("HKLM\\Software\\A"));
    EXPECT_TRUE(reg.keyExists("HKLM\\Software"));
}

TEST_F(Store, NamesCompareWithoutCaseAndKeepTheirSpelling) {
    ASSERT_TRUE(reg.setValue("HKLM\\SOFTWARE\\Quillon\\Vantor Setup", "VantorRootPath", REG_SZ, bytesOf("C:\\V")));
    ASSERT_TRUE(reg.setValue("hklm\\software\\QUILLON\\vantor setup", "VANTORROOTPATH", REG_SZ, bytesOf("D:\\W")));
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\Größe", "Äpfel", REG_SZ, bytesOf("x")));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "software\\quillon\\VANTOR SETUP", "vantorrootpath"), bytesOf("D:\\W"));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "SOFTWARE\\GRÖSSE", "äpfel"), std::nullopt); // ß is not SS
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "SOFTWARE\\GRÖße", "äPFEL"), bytesOf("x"));
    std::string text = readFile(file);
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantor Setup]\r\n\"VantorRootPath\"=\"D:\\\\W\""),
              std::string::npos);
    EXPECT_EQ(text.find("VANTOR"), std::string::npos);
    EXPECT_EQ(reg.subKeys("HKLM\\software"), (std::vector<std::string>{"HKEY_LOCAL_MACHINE\\software\\Größe",
                                                                       "HKEY_LOCAL_MACHINE\\software\\Quillon"}));
}

TEST_F(Store, TrailingBackslashOpensTheSameKey) {
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\Quillon\\", "Version Number", REG_DWORD, {1, 0, 3, 0}));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Quillon\\", "Version Number"),
              query(HKEY_LOCAL_MACHINE, "Software\\Quillon", "Version Number"));
    EXPECT_TRUE(query(HKEY_LOCAL_MACHINE, "Software\\Quillon\\", "Version Number"));
    EXPECT_NE(readFile(file).find("[HKEY_LOCAL_MACHINE\\Software\\Quillon]\r\n"), std::string::npos);
}

TEST_F(Store, ClassesRootIsMachineSoftwareClasses) {
    ASSERT_TRUE(reg.setValue("HKCR\\SqlDirBridge.dbBridge.1\\CLSID", "", REG_SZ, bytesOf("{1234}")));
    EXPECT_TRUE(reg.keyExists("HKEY_LOCAL_MACHINE\\SOFTWARE\\CLASSES\\SqlDirBridge.dbBridge.1"));
    EXPECT_EQ(query(HKEY_CLASSES_ROOT, "sqldirbridge.dbbridge.1\\CLSID", ""), bytesOf("{1234}"));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Classes\\SqlDirBridge.dbBridge.1\\CLSID", ""), bytesOf("{1234}"));
}

TEST_F(Store, LongBinaryIsContinuedAndReadBackExactly) {
    std::vector<uint8_t> data(300);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\B", "blob", REG_BINARY, data));
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\B", "empty", REG_BINARY, {}));
    std::string text = readFile(file);
    EXPECT_NE(text.find("\"blob\"=hex:00,07,0e,"), std::string::npos);
    EXPECT_NE(text.find(",\\\r\n  "), std::string::npos);
    EXPECT_NE(text.find("\"empty\"=hex:\r\n"), std::string::npos);
    size_t lineStart = 0;
    while (lineStart < text.size()) {
        size_t end = text.find("\r\n", lineStart);
        EXPECT_LE(end - lineStart, 80u);
        lineStart = end + 2;
    }
    RegistryStore other(file);
    uint32_t type = 0;
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\B", "blob", &type), data);
    EXPECT_EQ(type, REG_BINARY);
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\B", "empty"), std::vector<uint8_t>{});
}

TEST_F(Store, TextThatAQuotedStringCannotCarrySurvivesAsHex) {
    const std::vector<std::vector<uint8_t>> odd = {{},                              // no terminator at all
                                                   {'a', 'b'},                      // none at the end
                                                   {'a', 0, 'b', 0},                // embedded NUL
                                                   {'l', '1', '\r', '\n', 'l', 0}}; // line break
    for (size_t i = 0; i < odd.size(); ++i)
        ASSERT_TRUE(reg.setValue("HKLM\\Software\\T", "v" + std::to_string(i), REG_SZ, odd[i]));
    RegistryStore other(file);
    for (size_t i = 0; i < odd.size(); ++i) {
        auto vs = other.values("HKLM\\Software\\T");
        ASSERT_EQ(vs.size(), odd.size());
        EXPECT_EQ(vs[i].type, REG_SZ);
        EXPECT_EQ(vs[i].data, odd[i]) << i;
    }
    EXPECT_NE(readFile(file).find("\"v0\"=hex(1):\r\n"), std::string::npos);
}

TEST_F(Store, ImportsUtf16RegeditExport) {
    // regedit's own export: UTF-16LE with BOM, CR LF, REG_EXPAND_SZ as UTF-16LE hex(2).
    std::string exportText = "Windows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantor\\1.0]\r\n"
                             "\"Root Path\"=\"C:\\\\Vantor\\\\\"\r\n"
                             "\"Expand\"=hex(2):25,00,53,00,59,00,53,00,25,00,00,00\r\n"
                             "\"Wide\"=hex(1):41,00,42,00,00,00\r\n"
                             "\"Count\"=dword:00000010\r\n\r\n";
    std::string bytes = utf16le(exportText);
    bytes.insert(bytes.size() - 4, std::string("\"\0\xe9\0\"\0=\0\"\0\xe9\0\"\0\r\0\n\0", 18)); // "é"="é"
    writeFile(dir.path() / "export.reg", bytes);
    std::string error;
    ASSERT_TRUE(reg.importFile(dir.path() / "export.reg", &error)) << error;
    uint32_t type = 0;
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", "Root Path"), bytesOf("C:\\Vantor\\"));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", "Expand", &type), bytesOf("%SYS%"));
    EXPECT_EQ(type, REG_EXPAND_SZ);
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", "Wide"), bytesOf("AB"));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", "Count"),
              (std::vector<uint8_t>{0x10, 0, 0, 0}));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", "\xc3\xa9"), bytesOf("\xc3\xa9"));
    // The store itself is UTF-8 and keeps the other text types as the export had them.
    std::string text = readFile(file);
    EXPECT_NE(text.find("\"Expand\"=hex(2):25,00,53,00,59,00,53,00,25,00,00,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"\xc3\xa9\"=\"\xc3\xa9\"\r\n"), std::string::npos);
}

TEST_F(Store, ImportsRegedit4WithDeletions) {
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\Old\\Sub", "x", REG_SZ, bytesOf("1")));
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\Keep", "gone", REG_SZ, bytesOf("1")));
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\Keep", "stays", REG_SZ, bytesOf("1")));
    writeFile(dir.path() / "four.reg", "REGEDIT4\n\n"
                                       "; a comment\n"
                                       "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\OLD]\n\n"
                                       "[HKEY_LOCAL_MACHINE\\Software\\Keep]\n"
                                       "\"GONE\"=-\n"
                                       "\"Multi\"=hex(7):61,00,62,00,00\n"
                                       "\"Bin\"=hex:01,02,\\\n"
                                       "  03\n"
                                       "@=\"d\"\n");
    std::string error;
    ASSERT_TRUE(reg.importFile(dir.path() / "four.reg", &error)) << error;
    EXPECT_FALSE(reg.keyExists("HKLM\\Software\\Old"));
    EXPECT_FALSE(reg.keyExists("HKLM\\Software\\Old\\Sub"));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Keep", "gone"), std::nullopt);
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Keep", "stays"), bytesOf("1"));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Keep", "Bin"), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Keep", ""), bytesOf("d"));
    // REGEDIT4 text types are ANSI; the store writes them as a version 5 file does.
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\Keep", "Multi"), (std::vector<uint8_t>{'a', 0, 'b', 0, 0}));
    EXPECT_NE(readFile(file).find("\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"), std::string::npos);
}

TEST_F(Store, RejectedImportsChangeNothing) {
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\A", "v", REG_SZ, bytesOf("1")));
    std::string before = readFile(file);
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"a\"=\"b\"\r\n",
         "HKEY_CURRENT_USER"},
        {"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\X]\r\n\"a\"=dword:xyz\r\n",
         "line 4"},
        {"Windows Registry Editor Version 5.00\r\n\"a\"=\"b\"\r\n", "line 2"},
        {"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\Software\\X]\r\n\"a\"=\"open\r\n", "line 3"},
        {"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\Software\\X]\r\n\"a\"=hex:01,\\\r\n", "cut off"},
        {"[HKEY_LOCAL_MACHINE\\Software\\X]\r\n", "line 1"},
    };
    for (const auto& [text, where] : bad) {
        writeFile(dir.path() / "bad.reg", text);
        std::string error;
        EXPECT_FALSE(reg.importFile(dir.path() / "bad.reg", &error)) << text;
        EXPECT_NE(error.find(where), std::string::npos) << error;
    }
    EXPECT_EQ(readFile(file), before);
}

TEST_F(Store, UnknownTypesArePreservedVerbatimOnRewrite) {
    const std::string kept = "\"Q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                             "\"Path\"=hex(2):25,00,41,00,25,00,00,00\r\n"
                             "\"Short\"=hex(4):01,02\r\n";
    writeFile(file, "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\U]\r\n" + kept +
                        "\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n\"x\"=\"y\"\r\n\r\n");
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\U", "new", REG_DWORD, {0, 0, 0, 0}));
    std::string text = readFile(file);
    EXPECT_NE(text.find(kept), std::string::npos) << text;
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Other]\r\n\"x\"=\"y\"\r\n"), std::string::npos);
    uint32_t type = 0;
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\U", "Path", &type), bytesOf("%A%"));
    EXPECT_EQ(type, REG_EXPAND_SZ);
}

TEST_F(Store, MalformedStoreReadsEmptyAndIsNeverOverwritten) {
    const std::string garbage = "this is not a registry file\nHKLM stuff\n";
    writeFile(file, garbage);
    testing::internal::CaptureStderr();
    long rc = 0;
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software", "x", nullptr, &rc), std::nullopt);
    EXPECT_EQ(rc, ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(reg.keyExists("HKLM\\Software"));
    EXPECT_FALSE(reg.setValue("HKLM\\Software\\A", "v", REG_SZ, bytesOf("1")));
    EXPECT_FALSE(reg.createKey("HKLM\\Software\\A"));
    HKEY k = 0;
    ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_WRITE, &k), ERROR_SUCCESS);
    EXPECT_EQ(reg.RegSetValueExA(k, "v", REG_SZ, reinterpret_cast<const uint8_t*>("1"), 2), ERROR_BADDB);
    reg.RegCloseKey(k);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(readFile(file), garbage);
    EXPECT_NE(reg.lastError().find("cannot be parsed"), std::string::npos);
    // Reported once, not at every read and write.
    size_t first = err.find("line 1");
    ASSERT_NE(first, std::string::npos) << err;
    EXPECT_EQ(err.find("line 1", first + 1), std::string::npos) << err;
}

TEST_F(Store, CutStoreIsDamagedAndNeverRewritten) {
    // Each form cut inside its last value's line, as a crash or a full disk of another writer leaves it.
    const std::string v5 = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\A]\r\n"
                           "\"Root Path\"=\"C:\\\\V\\\\\"\r\n\"AGCTargetDB\"=dword:ffffffe6\r\n";
    const std::string v4 = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\A]\n\"AGCTargetDB\"=dword:ffffffe6\n";
    for (const std::string& whole : {v5, utf16le(v5), v4}) {
        const std::string cut = whole.substr(0, whole.size() - (whole[0] == '\xFF' ? 6 : 3));
        writeFile(file, cut);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(reg.keyExists("HKLM\\Software\\A"));
        EXPECT_FALSE(reg.setValue("HKLM\\Software\\B", "v", REG_SZ, bytesOf("1")));
        auto damage = reg.damage();
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(readFile(file), cut);
        ASSERT_TRUE(damage.has_value());
        EXPECT_EQ(damage->file, file.string());
        EXPECT_EQ(damage->line, whole[0] == 'R' ? 4u : 5u);
        EXPECT_NE(err.find("cut off"), std::string::npos) << err;
    }
    writeFile(file, v5);
    EXPECT_TRUE(reg.keyExists("HKLM\\Software\\A"));
    EXPECT_FALSE(reg.damage().has_value());
}

TEST_F(Store, UnreadableStoreReadsEmptyAndIsNotReplaced) {
    std::filesystem::create_directories(file / "inside"); // a folder where the file should be
    testing::internal::CaptureStderr();
    EXPECT_FALSE(reg.keyExists("HKLM\\Software"));
    EXPECT_FALSE(reg.setValue("HKLM\\Software\\A", "v", REG_SZ, bytesOf("1")));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cannot be read"), std::string::npos);
    EXPECT_TRUE(std::filesystem::is_directory(file / "inside"));
}

TEST_F(Store, EmptyFileIsAnEmptyStore) {
    writeFile(file, "");
    EXPECT_TRUE(reg.setValue("HKLM\\Software\\A", "v", REG_SZ, bytesOf("1")));
    EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\A", "v"), bytesOf("1"));
}

TEST_F(Store, SeesWritesOfOtherProcessesAtOnce) {
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\A", "v", REG_DWORD, {1, 0, 0, 0}));
    RegistryStore other(file);
    for (uint8_t i = 2; i < 12; ++i) {
        ASSERT_TRUE(other.setValue("HKLM\\Software\\A", "v", REG_DWORD, {i, 0, 0, 0}));
        EXPECT_EQ(query(HKEY_LOCAL_MACHINE, "Software\\A", "v"), (std::vector<uint8_t>{i, 0, 0, 0}));
    }
}

TEST_F(Store, TwoProcessesWritingAtOnceLoseNothing) {
    constexpr int kWrites = 500;
    ASSERT_TRUE(reg.createKey("HKLM\\Software\\Race"));
    pid_t children[2];
    for (int c = 0; c < 2; ++c) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            {
                RegistryStore mine(file);
                for (int i = 0; i < kWrites && ok; ++i) {
                    int v = c * kWrites + i;
                    ok = mine.setValue("HKLM\\Software\\Race", "p" + std::to_string(c) + "-" + std::to_string(i),
                                       REG_DWORD, {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), 0, 0});
                }
            }
            _exit(ok ? 0 : 1);
        }
        children[c] = pid;
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto vs = RegistryStore(file).values("HKLM\\Software\\Race");
    ASSERT_EQ(vs.size(), 2u * kWrites);
    std::set<std::string> names;
    for (const auto& v : vs)
        names.insert(v.name);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < kWrites; ++i)
            EXPECT_TRUE(names.count("p" + std::to_string(c) + "-" + std::to_string(i)));
    // No temporary file is left beside the store.
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_TRUE(e.path().filename() == "system.reg" || e.path().filename() == "system.reg.lock") << e.path();
}

TEST_F(Store, ExportsOneKeyWithItsSubKeys) {
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\Quillon\\Vantor\\1.0", "Root Path", REG_SZ, bytesOf("C:\\V\\")));
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\Quillon", "Version Number", REG_DWORD, {1, 0, 3, 0}));
    ASSERT_TRUE(reg.setValue("HKLM\\Software\\Quillonx", "other", REG_DWORD, {1, 0, 0, 0}));
    ASSERT_TRUE(reg.exportKey("HKLM\\software\\quillon", dir.path() / "q.reg"));
    std::string text = readFile(dir.path() / "q.reg");
    EXPECT_EQ(text.find("Quillonx"), std::string::npos);
    EXPECT_EQ(text.find("[HKEY_LOCAL_MACHINE\\Software]"), std::string::npos);
    EXPECT_FALSE(reg.exportKey("HKLM\\Software\\Missing", dir.path() / "m.reg"));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "m.reg"));

    RegistryStore fresh(dir.path() / "fresh" / "system.reg");
    ASSERT_TRUE(fresh.importFile(dir.path() / "q.reg"));
    EXPECT_EQ(fresh.values("HKLM\\Software\\Quillon\\Vantor\\1.0")[0].data, bytesOf("C:\\V\\"));
    EXPECT_EQ(fresh.values("HKLM\\Software\\Quillon")[0].data, (std::vector<uint8_t>{1, 0, 3, 0}));
    EXPECT_FALSE(fresh.keyExists("HKLM\\Software\\Quillonx"));
}

TEST_F(Store, AdministrationRefusesWhatTheStoreDoesNotKeep) {
    EXPECT_FALSE(reg.createKey("HKCU\\Software\\A"));
    EXPECT_FALSE(reg.createKey("HKLM\\Software\\\\A"));
    EXPECT_FALSE(reg.createKey("NOTAROOT\\A"));
    EXPECT_FALSE(reg.deleteKey("HKLM"));
    EXPECT_FALSE(reg.deleteKey("HKLM\\Software\\Missing"));
    EXPECT_FALSE(reg.deleteValue("HKLM\\Software", "missing"));
    EXPECT_FALSE(std::filesystem::exists(file));
}
