#include "platform/RegistryText.h"
#include "platform/RegistryStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace levora;
using levora::test::utf16le;

namespace {

// "HKEY_LOCAL_MACHINE\SOFTWARE\k\k..." with `levels` levels below the root.
std::string deepKey(size_t levels) {
    std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE";
    for (size_t i = 1; i < levels; ++i)
        key += "\\k";
    return key;
}

const std::string kBody = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization]\r\n"
                          "\"AGCsampleSize\"=dword:00001f40\r\n"
                          "\"AGCTargetDB\"=dword:ffffffe6\r\n"
                          "\r\n"
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantor\\1.0]\r\n"
                          "\"Root Path\"=\"C:\\\\Quillon\\\\Vantor\\\\\"\r\n"
                          "\"Blob\"=hex:e6,ff,00,01,\\\r\n"
                          "  02,03\r\n"
                          "\r\n";

} // namespace

TEST(RegistryText, EveryCutInsideALineIsRefusedInEachForm) {
    // The store is always written ending in a line break: a text that ends inside a line was cut
    // off, whichever form it has (a cut at a line end may still parse).
    const std::vector<std::pair<std::string, std::string>> forms = {
        {"UTF-8", "Windows Registry Editor Version 5.00\r\n\r\n" + kBody},
        {"UTF-16LE", utf16le("Windows Registry Editor Version 5.00\r\n\r\n" + kBody)},
        {"REGEDIT4", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon]\n\"AGCTargetDB\"=dword:ffffffe6\n"},
    };
    for (const auto& [form, text] : forms) {
        ASSERT_TRUE(loadKeys(text, "system.reg", true).ok()) << form;
        const bool wide = form == "UTF-16LE";
        for (size_t cut = 1; cut < text.size(); ++cut) {
            const std::string part = text.substr(0, cut);
            // (A byte-order mark alone is an empty registry.)
            const bool atLineEnd =
                wide ? cut % 2 == 0 && (cut == 2 || part.compare(cut - 2, 2, std::string("\n\0", 2)) == 0)
                     : part.back() == '\n';
            if (atLineEnd)
                continue;
            RegText r = loadKeys(part, "system.reg", true);
            ASSERT_FALSE(r.ok()) << form << " cut at " << cut;
            EXPECT_TRUE(r.ops.empty());
        }
    }
    // The line named is the one that was cut.
    RegText r = loadKeys("Windows Registry Editor Version 5.00\r\n\r\n" + kBody.substr(0, kBody.find("ffffff") + 6),
                         "C:\\system.reg", true);
    EXPECT_EQ(r.error.file, "C:\\system.reg");
    EXPECT_EQ(r.error.line, 5u);
}

TEST(RegistryText, KeysDeeperThan512LevelsAreDamage) {
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n";
    EXPECT_TRUE(loadKeys(head + "[" + deepKey(512) + "]\r\n\"v\"=\"x\"\r\n", "system.reg", false).ok());
    for (size_t levels : {513, 30000}) {
        RegText r = loadKeys(head + "[" + deepKey(levels) + "]\r\n", "system.reg", false);
        EXPECT_EQ(r.error.message(), "system.reg, line 3: the key is more than 512 levels deep") << levels;
    }
    test::TempDir dir;
    RegistryStore store(dir.path() / "system.reg");
    EXPECT_TRUE(store.createKey(deepKey(512)));
    EXPECT_FALSE(store.createKey(deepKey(513)));
    EXPECT_FALSE(store.setValue(deepKey(513), "v", REG_DWORD, {1, 0, 0, 0}));
    EXPECT_TRUE(loadKeys(test::readFile(dir.path() / "system.reg"), "system.reg", false).ok());
}

TEST(RegistryText, ErrorsQuoteOnlyAnExcerptOfTheBadLine) {
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n";
    const std::string huge(1 << 20, 'x');
    for (const std::string& line : {huge, "\"v\"=" + huge, "[NOTAROOT\\" + huge + "]", "[HKLM\\a\r\\" + huge + "]"}) {
        RegText r = loadKeys(head + line + "\r\n", "system.reg", false);
        ASSERT_FALSE(r.ok());
        EXPECT_EQ(r.error.line, 4u);
        EXPECT_LT(r.error.message().size(), 120u) << r.error.message().substr(0, 200);
        EXPECT_NE(r.error.message().find("xxx..."), std::string::npos) << r.error.message().substr(0, 200);
    }
}
