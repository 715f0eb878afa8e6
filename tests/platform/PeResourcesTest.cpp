#include "platform/PeResources.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

using namespace levora;
using levora::test::TempDir;
using levora::test::writeFile;

namespace {

void put16(std::string& b, size_t off, uint32_t v) {
    if (b.size() < off + 2)
        b.resize(off + 2, '\0');
    b[off] = static_cast<char>(v & 0xFF);
    b[off + 1] = static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& b, size_t off, uint32_t v) {
    put16(b, off, v & 0xFFFF);
    put16(b, off + 2, v >> 16);
}

struct PeLayout {
    bool pe32plus = true;
    uint32_t resourceType = 6; // RT_STRING; another type makes a library without a string table
    // block id -> its 16 strings (fewer are padded with empty ones)
    std::map<uint16_t, std::vector<std::u16string>> blocks;
};

// A minimal PE image: headers, one ".rsrc" section at RVA 0x1000 holding the resource tree
// type -> block -> language 0x409 -> data, as resource compilers lay it out.
std::string buildPe(const PeLayout& layout) {
    constexpr uint32_t kSectionVa = 0x1000, kSectionRaw = 0x200;
    std::string rsrc;
    auto dirHeader = [&](size_t off, uint16_t idEntries) {
        put32(rsrc, off, 0);
        put16(rsrc, off + 12, 0);
        put16(rsrc, off + 14, idEntries);
    };
    const size_t n = layout.blocks.size();
    const size_t typeDir = 16 + 8;
    const size_t langDirs = typeDir + 16 + 8 * n;
    const size_t dataEntries = langDirs + (16 + 8) * n;
    size_t data = dataEntries + 16 * n;
    dirHeader(0, 1);
    put32(rsrc, 16, layout.resourceType);
    put32(rsrc, 20, 0x80000000u | static_cast<uint32_t>(typeDir));
    dirHeader(typeDir, static_cast<uint16_t>(n));
    size_t i = 0;
    for (const auto& [blockId, strings] : layout.blocks) {
        const size_t langDir = langDirs + 24 * i, entry = dataEntries + 16 * i;
        put32(rsrc, typeDir + 16 + 8 * i, blockId);
        put32(rsrc, typeDir + 20 + 8 * i, 0x80000000u | static_cast<uint32_t>(langDir));
        dirHeader(langDir, 1);
        put32(rsrc, langDir + 16, 0x409);
        put32(rsrc, langDir + 20, static_cast<uint32_t>(entry));
        std::string bytes;
        for (size_t k = 0; k < 16; ++k) {
            const std::u16string s = k < strings.size() ? strings[k] : u"";
            put16(bytes, bytes.size(), static_cast<uint32_t>(s.size()));
            for (char16_t c : s)
                put16(bytes, bytes.size(), c);
        }
        put32(rsrc, entry, kSectionVa + static_cast<uint32_t>(data));
        put32(rsrc, entry + 4, static_cast<uint32_t>(bytes.size()));
        rsrc.resize(data);
        rsrc += bytes;
        data = rsrc.size();
        ++i;
    }

    std::string img(kSectionRaw, '\0');
    img[0] = 'M';
    img[1] = 'Z';
    put32(img, 0x3C, 0x40);
    img.replace(0x40, 4, std::string("PE\0\0", 4));
    const size_t coff = 0x44, opt = coff + 20;
    const uint16_t optSize = layout.pe32plus ? 240 : 224;
    put16(img, coff, layout.pe32plus ? 0x8664 : 0x14C);
    put16(img, coff + 2, 1);
    put16(img, coff + 16, optSize);
    put16(img, opt, layout.pe32plus ? 0x20B : 0x10B);
    const size_t dirs = opt + (layout.pe32plus ? 112 : 96);
    put32(img, opt + (layout.pe32plus ? 108 : 92), 16);
    put32(img, dirs + 16, kSectionVa);
    put32(img, dirs + 20, static_cast<uint32_t>(rsrc.size()));
    const size_t sec = opt + optSize;
    img.replace(sec, 8, std::string(".rsrc\0\0\0", 8));
    put32(img, sec + 8, static_cast<uint32_t>(rsrc.size()));
    put32(img, sec + 12, kSectionVa);
    put32(img, sec + 16, static_cast<uint32_t>(rsrc.size()));
    put32(img, sec + 20, kSectionRaw);
    img.resize(kSectionRaw);
    return img + rsrc;
}

// Strings 0..15 in block 1, 16..31 in block 2 and 48..54 in block 4; block 3 absent.
PeLayout sampleLayout(bool pe32plus) {
    PeLayout layout;
    layout.pe32plus = pe32plus;
    layout.blocks[1] = {u"zero", u"", u"two"};
    layout.blocks[1].resize(16, u"");
    layout.blocks[1][15] = u"fifteen";
    layout.blocks[2] = {u"sixteen \u00E4\u30D3"};
    layout.blocks[4] = {u"forty-eight", u"", u"", u"", u"", u"", u"fifty-four"};
    return layout;
}

std::u16string load(PeResources& r, HMODULE h, uint32_t id, int chars = 1200) {
    std::u16string buffer(static_cast<size_t>(chars), u'\0');
    const int n = r.LoadStringW(h, id, buffer, chars);
    return n > 0 ? buffer.substr(0, static_cast<size_t>(n)) : u"";
}

PeResources noOwnStrings() {
    return PeResources([](uint32_t) { return std::u16string(); });
}

} // namespace

TEST(PeResources, ReadsStringBlocksOfPe32AndPe32Plus) {
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        TempDir dir;
        writeFile(dir.path() / "lib.dll", buildPe(sampleLayout(plus)));
        PeResources r = noOwnStrings();
        const HMODULE h = r.LoadLibraryAsData((dir.path() / "lib.dll").string());
        ASSERT_NE(h, 0u);
        const std::map<uint32_t, std::u16string> expected = {{0, u"zero"},
                                                             {1, u""},
                                                             {2, u"two"},
                                                             {15, u"fifteen"},
                                                             {16, u"sixteen \u00E4\u30D3"},
                                                             {17, u""},
                                                             {32, u""} /* block 3 absent */,
                                                             {48, u"forty-eight"},
                                                             {54, u"fifty-four"},
                                                             {55, u""},
                                                             {64, u""}};
        for (const auto& [id, text] : expected)
            EXPECT_EQ(load(r, h, id), text) << "id " << id;
    }
}

TEST(PeResources, LoadStringWCopiesAtMostBufferMinusOneCharacters) {
    TempDir dir;
    writeFile(dir.path() / "lib.dll", buildPe(sampleLayout(true)));
    PeResources r = noOwnStrings();
    const HMODULE h = r.LoadLibraryAsData((dir.path() / "lib.dll").string());
    ASSERT_NE(h, 0u);

    std::u16string buffer(5, u'#');
    EXPECT_EQ(r.LoadStringW(h, 15, buffer, 5), 4);
    EXPECT_EQ(buffer, std::u16string(u"fift\0", 5));

    std::u16string exact;
    EXPECT_EQ(r.LoadStringW(h, 0, exact, 5), 4); // "zero" and its NUL fit exactly
    EXPECT_EQ(exact.substr(0, 5), std::u16string(u"zero\0", 5));

    std::u16string untouched = u"keep";
    EXPECT_EQ(r.LoadStringW(h, 0, untouched, 0), 0);
    EXPECT_EQ(r.LoadStringW(h, 1, buffer, 5), 0) << "an empty string counts as missing";
    EXPECT_EQ(buffer[0], u'\0');
    // IDs are 16-bit: 65536 must not alias string 0.
    EXPECT_EQ(r.LoadStringW(h, 65536, buffer, 5), 0);
}

TEST(PeResources, ModuleZeroIsTheProgramsOwnTable) {
    PeResources r([](uint32_t id) { return id == 7 ? std::u16string(u"own seven") : std::u16string(); });
    EXPECT_EQ(load(r, 0, 7), u"own seven");
    EXPECT_EQ(load(r, 0, 8), u"");
    EXPECT_EQ(load(r, 0, 7, 4), u"own");
}

TEST(PeResources, WhatIsNotAStringLibraryCannotBeLoaded) {
    TempDir dir;
    PeLayout versionOnly = sampleLayout(true);
    versionOnly.resourceType = 16; // RT_VERSION only
    std::string badMagic = buildPe(sampleLayout(true));
    put16(badMagic, 0x44 + 20, 0x999);
    std::string noSignature = buildPe(sampleLayout(false));
    noSignature[0x41] = 'X';
    const std::map<std::string, std::string> files = {
        {"empty.dll", ""},           {"text.dll", "This is not a library.\n"},
        {"mz-only.dll", "MZ"},       {"no-strings.dll", buildPe(versionOnly)},
        {"bad-magic.dll", badMagic}, {"no-signature.dll", noSignature},
    };
    PeResources r = noOwnStrings();
    for (const auto& [name, bytes] : files) {
        writeFile(dir.path() / name, bytes);
        EXPECT_EQ(r.LoadLibraryAsData((dir.path() / name).string()), 0u) << name;
    }
    EXPECT_EQ(r.LoadLibraryAsData((dir.path() / "missing.dll").string()), 0u);
    std::filesystem::create_directory(dir.path() / "folder.dll");
    EXPECT_EQ(r.LoadLibraryAsData((dir.path() / "folder.dll").string()), 0u);
}

TEST(PeResources, PathsGoThroughTheMapperAndFreedHandlesAreGone) {
    TempDir dir;
    writeFile(dir.path() / "Levora_DEU.dll", buildPe(sampleLayout(true)));
    std::vector<std::string> asked;
    PeResources r([](uint32_t) { return std::u16string(); },
                  [&](const std::string& win) {
                      asked.push_back(win);
                      if (win.starts_with("Q:"))
                          throw std::runtime_error("no such drive");
                      return dir.path() / win.substr(win.rfind('\\') + 1);
                  });
    const HMODULE h = r.LoadLibraryAsData("C:\\Program Files\\Levora\\Levora_DEU.dll");
    ASSERT_NE(h, 0u);
    EXPECT_EQ(asked, std::vector<std::string>{"C:\\Program Files\\Levora\\Levora_DEU.dll"});
    EXPECT_EQ(r.LoadLibraryAsData("Q:\\Levora_DEU.dll"), 0u) << "an unmappable path is a missing library";

    const HMODULE second = r.LoadLibraryAsData("C:\\Levora_DEU.dll");
    EXPECT_NE(second, h);
    r.FreeLibrary(h);
    EXPECT_EQ(load(r, h, 0), u"");
    EXPECT_EQ(load(r, second, 0), u"zero");
    EXPECT_EQ(load(r, 12345, 0), u"") << "a handle never given out";
}

TEST(PeResources, TruncatedFilesLoseStringsButNeverReturnWrongOnes) {
    const std::string image = buildPe(sampleLayout(true));
    StringTable full;
    ASSERT_TRUE(parsePeStringTable(image, full));
    size_t partial = 0;
    for (size_t len = 0; len <= image.size(); ++len) {
        StringTable got;
        if (!parsePeStringTable(std::string_view(image).substr(0, len), got)) {
            EXPECT_TRUE(got.empty());
            continue;
        }
        for (const auto& [id, text] : got)
            EXPECT_EQ(text, full.at(id)) << "length " << len << " id " << id;
        if (got.size() < full.size())
            ++partial;
    }
    EXPECT_GT(partial, 0u) << "some cut must fall inside the string data";
    StringTable got;
    ASSERT_TRUE(parsePeStringTable(image, got));
    EXPECT_EQ(got, full);
}

TEST(PeResources, RandomDamageNeverCrashes) {
    // Under the sanitizers a single out-of-bounds read fails this test.
    const std::string image = buildPe(sampleLayout(false));
    std::mt19937 rng(20031999);
    std::uniform_int_distribution<size_t> pos(0, image.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    int loaded = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string damaged = image;
        const int flips = 1 + round % 8;
        for (int k = 0; k < flips; ++k)
            damaged[pos(rng)] = static_cast<char>(byte(rng));
        if (round % 3 == 0)
            damaged.resize(pos(rng));
        StringTable table;
        if (parsePeStringTable(damaged, table))
            ++loaded;
        for (const auto& [id, text] : table)
            EXPECT_LE(text.size(), damaged.size() / 2) << "a string longer than the file";
    }
    EXPECT_GT(loaded, 0);
}
