#include "HostVersionText.h"

#include <gtest/gtest.h>

namespace levora::demohost {
namespace {

TEST(HostVersionText, ParsesTheHostNotations) {
    const struct {
        const char* text;
        std::optional<ReleaseNumber> expected;
    } cases[] = {
        {"3.1(5)", ReleaseNumber{3, 1, 5, 0}},
        {"3.1(5).12", ReleaseNumber{3, 1, 5, 12}},
        {"4.0.3.10", ReleaseNumber{4, 0, 3, 10}},
        {" 3.1(1) ", ReleaseNumber{3, 1, 1, 0}},
        {"3.1", std::nullopt},
        {"3.1(5", std::nullopt},
        {"three", std::nullopt},
        {"3.1(40000)", std::nullopt}, // does not fit the 16-bit fields the program reads into
        {"-3.1(5)", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseRelease(c.text), c.expected) << c.text;
}

TEST(HostVersionText, FormatsAsTheHostWritesIt) {
    EXPECT_EQ(formatRelease({3, 1, 5, 0}), "3.1(5)");
    EXPECT_EQ(formatRelease({3, 1, 5, 12}), "3.1(5).12");
}

TEST(HostVersionText, PacksTheOldLayoutSoTheDigitsReadBack) {
    const struct {
        ReleaseNumber v;
        uint32_t versionNumber, buildNumber;
    } cases[] = {
        {{3, 1, 5, 0}, 0x00030001, 0x00050000},
        {{3, 1, 1, 0}, 0x00030001, 0x00010000},
        {{4, 10, 3, 18}, 0x00040010, 0x00030012}, // minor 10 is written as the digits 1 0; build is plain hex
        {{9999, 1234, 567, 32767}, 0x99991234, 0x05677FFF},
    };
    for (const auto& c : cases) {
        const auto p = packOldLayout(c.v);
        ASSERT_TRUE(p) << formatRelease(c.v);
        EXPECT_EQ(p->versionNumber, c.versionNumber) << formatRelease(c.v);
        EXPECT_EQ(p->buildNumber, c.buildNumber) << formatRelease(c.v);
    }
    EXPECT_FALSE(packOldLayout({10000, 0, 0, 0})); // five decimal digits do not fit four hex digits
    EXPECT_FALSE(packOldLayout({3, 1, 10000, 0}));
}

} // namespace
} // namespace levora::demohost
