#include "host/RegistryAPI.h"
#include "platform/Error.h"
#include "platform/RegistryStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace levora;
using levora::test::readFile;
using levora::test::TempDir;

namespace {

const char* const kAgc = "SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization";

// Passes every call to the store and counts keys opened and closed.
class CountingRegistry : public IRegistry {
public:
    explicit CountingRegistry(IRegistry& inner) : m_inner(inner) {}
    long RegOpenKeyExA(HKEY root, const std::string& subKey, uint32_t options, uint32_t sam, HKEY* result) override {
        long rc = m_inner.RegOpenKeyExA(root, subKey, options, sam, result);
        if (rc == ERROR_SUCCESS)
            ++open;
        return rc;
    }
    long RegQueryValueExA(HKEY key, const std::string& name, uint32_t* type, uint8_t* data, uint32_t* cbData) override {
        ++queries;
        return m_inner.RegQueryValueExA(key, name, type, data, cbData);
    }
    long RegSetValueExA(HKEY key, const std::string& name, uint32_t type, const uint8_t* data,
                        uint32_t cbData) override {
        ++sets;
        return m_inner.RegSetValueExA(key, name, type, data, cbData);
    }
    long RegCloseKey(HKEY key) override {
        --open;
        return m_inner.RegCloseKey(key);
    }
    int open = 0;
    int queries = 0;
    int sets = 0;

private:
    IRegistry& m_inner;
};

struct Api : ::testing::Test {
    TempDir dir;
    RegistryStore store{dir.path() / "system.reg"};
    CountingRegistry counting{store};
    RegistryAPI api{counting};

    void SetUp() override { ASSERT_TRUE(store.createKey(std::string("HKLM\\") + kAgc)); }
    void TearDown() override { EXPECT_EQ(counting.open, 0) << "a key was left open"; }
    std::vector<uint8_t> stored(const std::string& key, const std::string& name) {
        for (const auto& v : store.values("HKLM\\" + key))
            if (v.name == name)
                return v.data;
        return {0xDE, 0xAD};
    }
};

} // namespace

TEST_F(Api, TextOf1023CharactersIsReadWholeAndLongerGivesTheDefault) {
    const Variant def = std::string("default");
    for (size_t len : {0u, 1u, 1022u, 1023u}) {
        std::string text(len, 'x');
        api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "Path", REG_SZ, text);
        EXPECT_EQ(stored(kAgc, "Path").size(), len + 1); // counted with its NUL
        EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "Path", REG_SZ, def), Variant(text)) << len;
    }
    for (size_t len : {1024u, 5000u}) {
        api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "Path", REG_SZ, std::string(len, 'y'));
        EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "Path", REG_SZ, def), def) << len;
    }
}

TEST_F(Api, NegativeDwordIsStoredLittleEndianAndReadBack) {
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "AGCTargetDB", REG_DWORD, int16_t{-26});
    EXPECT_EQ(stored(kAgc, "AGCTargetDB"), (std::vector<uint8_t>{0xE6, 0xFF, 0xFF, 0xFF}));
    EXPECT_NE(readFile(dir.path() / "system.reg").find("\"AGCTargetDB\"=dword:ffffffe6"), std::string::npos);
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "AGCTargetDB", REG_DWORD, int16_t{0}), Variant(int32_t{-26}));
}

TEST_F(Api, DwordConversionRoundsHalvesToEvenAndReportsBadValues) {
    struct Case {
        Variant in;
        int32_t out;
    };
    const std::vector<Case> good = {
        {2.5, 2},
        {3.5, 4},
        {-2.5, -2},
        {-26.0, -26},
        {2.51, 3},
        {int16_t{-26}, -26},
        {int32_t{8000}, 8000},
        {std::string("45"), 45},
        {std::string(" -3.5 "), -4},
        {std::string("1E3"), 1000},
        {std::string("2d1"), 20},
        {true, -1},
        {Empty{}, 0},
        {2147483647.4, 2147483647},
        {-2147483648.5, std::numeric_limits<int32_t>::min()},
    };
    for (const auto& c : good) {
        api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "v", REG_DWORD, c.in);
        EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "v", REG_DWORD, {}), Variant(c.out)) << c.out;
    }
    struct Bad {
        Variant in;
        int32_t error;
    };
    const std::vector<Bad> bad = {
        {std::string("abc"), err::TypeMismatch},
        {std::string(""), err::TypeMismatch},
        {std::string("12abc"), err::TypeMismatch},
        {std::vector<uint8_t>{1, 2}, err::TypeMismatch},
        {2147483647.5, err::Overflow},
        {3e9, err::Overflow},
        {std::string("1e10"), err::Overflow},
        {std::nan(""), err::Overflow},
    };
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "v", REG_DWORD, int32_t{7});
    int sets = counting.sets;
    for (const auto& b : bad) {
        try {
            api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "v", REG_DWORD, b.in);
            ADD_FAILURE() << "no error for error " << b.error;
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), b.error);
        }
    }
    EXPECT_EQ(counting.sets, sets); // nothing written
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "v", REG_DWORD, {}), Variant(int32_t{7}));
}

TEST_F(Api, TextAndBinaryRoundTrip) {
    for (const Variant& v :
         {Variant(std::string("C:\\Quillon\\Vantor\\")), Variant(std::string("Größe \"q\"")), Variant(std::string())}) {
        api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_SZ, v);
        EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_SZ, {}), v);
    }
    // Numbers become their text.
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_SZ, 2.5);
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_SZ, {}), Variant(std::string("2.5")));
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_SZ, int16_t{-26});
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_SZ, {}), Variant(std::string("-26")));

    std::vector<uint8_t> blob(4096);
    for (size_t i = 0; i < blob.size(); ++i)
        blob[i] = static_cast<uint8_t>(i);
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "b", REG_BINARY, blob);
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "b", REG_BINARY, {}), Variant(blob));
    blob.push_back(0);
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "b", REG_BINARY, blob);
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "b", REG_BINARY, int16_t{5}), Variant(int16_t{5}));
    // An empty array is stored as zero bytes and read back empty.
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "b", REG_BINARY, std::vector<uint8_t>{});
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "b", REG_BINARY, int16_t{5}), Variant(std::vector<uint8_t>{}));
    EXPECT_THROW(api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "b", REG_BINARY, std::string("01")), Error);
}

TEST_F(Api, ZeroByteTextReadsAsEmpty) {
    ASSERT_TRUE(store.setValue(std::string("HKLM\\") + kAgc, "z", REG_SZ, {}));
    ASSERT_TRUE(store.setValue(std::string("HKLM\\") + kAgc, "noNul", REG_SZ, {'a', 'b'}));
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "z", REG_SZ, int16_t{1}), Variant(std::string()));
    // Text stored without its terminator keeps its last character.
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "noNul", REG_SZ, {}), Variant(std::string("ab")));
}

TEST_F(Api, StoredTypeIsNotComparedWithTheRequestedOne) {
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "n", REG_DWORD, int32_t{8000});
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "n", REG_BINARY, {}),
              Variant(std::vector<uint8_t>{0x40, 0x1F, 0, 0}));
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_SZ, std::string("AB"));
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_DWORD, {}), Variant(int32_t{0x4241}));
    // Too long for the four-byte buffer: the default.
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_SZ, std::string("ABCD"));
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "s", REG_DWORD, int16_t{9}), Variant(int16_t{9}));
}

TEST_F(Api, MissingKeysAndValuesGiveTheDefaultAndWriteNothing) {
    EXPECT_FALSE(api.bKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0"));
    EXPECT_TRUE(api.bKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Mevra"));
    EXPECT_TRUE(
        isEmpty(api.getRegValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", "Root Path", REG_SZ, {})));
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "AGCsampleSize", REG_DWORD, int16_t{8000}),
              Variant(int16_t{8000}));

    std::string before = readFile(dir.path() / "system.reg");
    // Nothing is created, and a value that could not be converted is not even looked at.
    api.setRegValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", "Root Path", REG_SZ, std::string("C:\\"));
    api.setRegValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0", "n", REG_DWORD, std::string("abc"));
    EXPECT_EQ(counting.sets, 0);
    EXPECT_FALSE(api.bKeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quillon\\Vantor\\1.0"));
    EXPECT_EQ(readFile(dir.path() / "system.reg"), before);
}

TEST_F(Api, TrailingBackslashAndLetterCaseNameTheSameKeyAndValue) {
    api.setRegValue(HKEY_LOCAL_MACHINE, "Software\\Quillon\\", "Version Number", REG_DWORD, int32_t{0x30001});
    EXPECT_TRUE(api.bKeyExists(HKEY_LOCAL_MACHINE, "Software\\Quillon\\"));
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\QUILLON", "version number", REG_DWORD, {}),
              Variant(int32_t{0x30001}));
    api.setRegValue(HKEY_LOCAL_MACHINE, "software\\quillon\\", "VERSION NUMBER", REG_DWORD, int32_t{0x40001});
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, "Software\\Quillon\\", "Version Number", REG_DWORD, {}),
              Variant(int32_t{0x40001}));
    auto values = store.values("HKLM\\Software\\Quillon");
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].name, "Version Number");
}

TEST_F(Api, OtherTypeCodes) {
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "x", REG_DWORD, int32_t{1});
    int queries = counting.queries;
    try {
        api.getRegValue(HKEY_LOCAL_MACHINE, kAgc, "x", REG_EXPAND_SZ, {});
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 1001);
        EXPECT_EQ(e.description(), "Unsupported value type");
        EXPECT_EQ(counting.open, 0); // closed before the error reaches the caller
    }
    EXPECT_EQ(counting.queries, queries);
    // A missing key gives the default before the type code is looked at.
    EXPECT_EQ(api.getRegValue(HKEY_LOCAL_MACHINE, "Software\\Missing", "x", 2, int16_t{3}), Variant(int16_t{3}));

    int sets = counting.sets;
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "x", REG_EXPAND_SZ, std::string("abc"));
    api.setRegValue(HKEY_LOCAL_MACHINE, kAgc, "y", 0, int32_t{5});
    EXPECT_EQ(counting.sets, sets);
    EXPECT_EQ(store.values(std::string("HKLM\\") + kAgc).size(), 1u);
}
