#include "platform/Utf16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace levora;

namespace {

std::vector<uint8_t> le(std::u16string_view s) {
    std::vector<uint8_t> out;
    for (char16_t u : s) {
        out.push_back(static_cast<uint8_t>(u & 0xFF));
        out.push_back(static_cast<uint8_t>(u >> 8));
    }
    return out;
}

const uint8_t* bytes(std::string_view s) {
    return reinterpret_cast<const uint8_t*>(s.data());
}

} // namespace

TEST(Utf16, WellFormedTextRoundTrips) {
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"", u""},
        {"Levora\r\n", u"Levora\r\n"},
        {std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"\xc3\xa9", u"\u00e9"},                       // two bytes
        {"\xdf\xbf", u"\u07ff"},                       // last two-byte
        {"\xe8\xa8\x80\xe8\xaa\x9e", u"\u8a00\u8a9e"}, // three bytes
        {"\xef\xbf\xbd", u"\ufffd"},                   // U+FFFD itself is text
        {"\xf0\x9f\x8e\xa4", u"\U0001F3A4"},           // a surrogate pair
        {"\xf4\x8f\xbf\xbf", u"\U0010FFFF"},           // the last code point
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toUtf16(c.utf8, BadUtf8::Replace), c.utf16) << c.utf8;
        EXPECT_EQ(toUtf16(c.utf8, BadUtf8::Latin1), c.utf16) << c.utf8;
        EXPECT_EQ(toUtf8(c.utf16), c.utf8);
        EXPECT_EQ(utf8ToUtf16le(bytes(c.utf8), c.utf8.size(), BadUtf8::Latin1), le(c.utf16)) << c.utf8;
        const std::vector<uint8_t> wide = le(c.utf16);
        EXPECT_EQ(utf16leToUtf8(wide.data(), wide.size()), c.utf8);
    }
}

// Shown text gets one U+FFFD per broken sequence; the registry keeps each stray byte as Latin-1 and
// reads what follows it afresh.
TEST(Utf16, IllFormedUtf8FollowsTheCallersPolicy) {
    const struct {
        std::string utf8;
        std::u16string replaced;
        std::u16string latin1;
    } cases[] = {
        {"\xe9t\xe9", u"\ufffdt\ufffd", u"\u00e9t\u00e9"},            // Latin-1 text passed as UTF-8
        {"\x80", u"\ufffd", u"\u0080"},                               // a lone continuation byte
        {"\xff\xfe", u"\ufffd\ufffd", u"\u00ff\u00fe"},               // never in UTF-8
        {"\xc0\x80", u"\ufffd", u"\u00c0\u0080"},                     // overlong NUL
        {"\xe0\x80\xaf", u"\ufffd", u"\u00e0\u0080\u00af"},           // overlong three-byte
        {"\xed\xa0\x80", u"\ufffd", u"\u00ed\u00a0\u0080"},           // an encoded surrogate
        {"\xf4\x90\x80\x80", u"\ufffd", u"\u00f4\u0090\u0080\u0080"}, // past U+10FFFF
        {"\xf5\x80\x80\x80", u"\ufffd", u"\u00f5\u0080\u0080\u0080"}, // a lead byte past U+10FFFF
        {"\xe2\x82", u"\ufffd", u"\u00e2\u0082"},                     // cut off at the end
        {"\xe2\x82"
         "A",
         u"\ufffdA", u"\u00e2\u0082A"},                     // broken by an ASCII byte
        {"\xe2\xc3\xa9", u"\ufffd\u00e9", u"\u00e2\u00e9"}, // broken by the next sequence
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toUtf16(c.utf8, BadUtf8::Replace), c.replaced) << c.utf8;
        EXPECT_EQ(toUtf16(c.utf8, BadUtf8::Latin1), c.latin1) << c.utf8;
        EXPECT_EQ(utf8ToUtf16le(bytes(c.utf8), c.utf8.size(), BadUtf8::Replace), le(c.replaced)) << c.utf8;
        EXPECT_EQ(utf8ToUtf16le(bytes(c.utf8), c.utf8.size(), BadUtf8::Latin1), le(c.latin1)) << c.utf8;
        EXPECT_EQ(toUtf8Escaped(toUtf16(c.utf8, BadUtf8::Escape)), c.utf8) << c.utf8; // host names survive
    }
    EXPECT_EQ(toUtf16("\xe2\xc3\xa9", BadUtf8::Escape), u"\xdce2\u00e9");
    EXPECT_EQ(toUtf8Escaped(u"\xdc41\xdcff"), "\xef\xbf\xbd\xff"); // only U+DC80..U+DCFF stand for bytes
}

TEST(Utf16, LoneSurrogatesBecomeReplacementCharacters) {
    const struct {
        std::u16string utf16;
        std::string utf8;
    } cases[] = {
        {u"a\xd83c", "a\xef\xbf\xbd"}, // high surrogate at the end
        {u"\xd83c"
         "b",
         "\xef\xbf\xbd"
         "b"},                                                   // high surrogate before a non-surrogate
        {u"\xdfa4\xd83c", "\xef\xbf\xbd\xef\xbf\xbd"},           // pair in the wrong order
        {u"\xd83c\xd83c\xdfa4", "\xef\xbf\xbd\xf0\x9f\x8e\xa4"}, // the second high one pairs
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toUtf8(c.utf16), c.utf8);
        const std::vector<uint8_t> wide = le(c.utf16);
        EXPECT_EQ(utf16leToUtf8(wide.data(), wide.size()), c.utf8);
    }
}

TEST(Utf16, OddLastByteOfUtf16LeIsDropped) {
    const uint8_t wide[] = {'O', 0, 'K', 0, 0x3C};
    EXPECT_EQ(utf16leToUtf8(wide, sizeof wide), "OK");
    // A high surrogate whose partner is cut to one byte is a lone surrogate.
    const uint8_t cut[] = {0x3C, 0xD8, 0xA4};
    EXPECT_EQ(utf16leToUtf8(cut, sizeof cut), "\xef\xbf\xbd");
    EXPECT_EQ(utf16leToUtf8(nullptr, 0), "");
    EXPECT_TRUE(utf8ToUtf16le(nullptr, 0, BadUtf8::Latin1).empty());
}
