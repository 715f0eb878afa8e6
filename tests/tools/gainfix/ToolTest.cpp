// The gain tool as the host's administration program runs it: a child process with a command line.
#include "speech/Leveler.h"
#include "speech/SpeechTestUtil.h"
#include "support/TestSupport.h"

#include "platform/Prefix.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sys/stat.h>

using namespace gainfix;
using namespace gainfix::test;
namespace fs = std::filesystem;

namespace {

class GainfixTool : public ::testing::Test {
protected:
    fs::path work() const { return m_dir.path(); }
    fs::path out() const { return m_dir.path() / "out.wav"; }
    ToolRun run315(const fs::path& src, const std::vector<std::string>& more) {
        std::vector<std::string> args{"-s", src.string(), "-d", out().string()};
        args.insert(args.end(), more.begin(), more.end());
        return runTool(work(), "gainfix315", args);
    }
    bool sameBytes(const fs::path& a, const fs::path& b) const {
        return levora::test::readFile(a) == levora::test::readFile(b);
    }
    // Nothing but out.wav (if present) and the runner's own folders may be left in the work folder.
    void expectNoStrayFiles() const {
        for (const auto& e : fs::directory_iterator(work())) {
            const std::string name = e.path().filename().string();
            EXPECT_TRUE(name == "out.wav" || name == "home" || name == "prefix" || name == "in" ||
                        name.rfind("src", 0) == 0)
                << "stray file " << name;
        }
    }

    levora::test::TempDir m_dir;
};

// A clipped sample shows as a sudden drop of the output/input ratio at a peak; a gain that only
// ramps changes that ratio slowly. Checks every pair of large samples a few samples apart.
void expectNoClipping(const std::vector<double>& in, const std::vector<double>& out, double tolerance) {
    ASSERT_EQ(in.size(), out.size());
    std::size_t checked = 0;
    for (std::size_t i = 0; i + 4 < in.size(); ++i) {
        if (std::fabs(in[i]) < 0.25)
            continue;
        for (std::size_t j = i + 1; j <= i + 4; ++j) {
            if (std::fabs(in[j]) < 0.25)
                continue;
            const double ri = out[i] / in[i], rj = out[j] / in[j];
            ASSERT_NEAR(ri / rj, 1.0, tolerance) << "samples " << i << " and " << j;
            ++checked;
        }
    }
    EXPECT_GT(checked, 100u); // the check had loud material to look at
}

TEST_F(GainfixTool, RaisesAQuietGreetingToTheTargetWithinTheLargestChange) {
    struct Case {
        const char* gain;
        double expected;
    };
    for (const Case c : {Case{"20", -26.0}, Case{"5", -33.0}}) {
        SCOPED_TRACE(c.gain);
        const ToolRun r =
            run315(speech("greet10_pcm16_m38.wav"), {"-t", "-26", "-m", "-45", "-b", "8000", "-g", c.gain});
        ASSERT_EQ(r.status, 0) << r.err;
        const double original = measureFile(speech("greet10_pcm16_m38.wav")).level;
        // The gain moves the level by exactly itself; the meter's own offset cancels.
        EXPECT_NEAR(measureFile(out()).level - original, c.expected - original, 0.1);
        EXPECT_NEAR(measureFile(out()).level, c.expected, 0.1);
        EXPECT_NE(r.out.find("greet10_pcm16_m38.wav: level -37.99 dBov"), std::string::npos) << r.out;
    }
}

TEST_F(GainfixTool, LowersALoudGreetingByAtMostTheLargestChange) {
    const ToolRun r = run315(speech("greet10_pcm16_m15.wav"), {"-t", "-26", "-m", "-45", "-b", "8000", "-g", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(measureFile(out()).level, -20.02, 0.1);
    EXPECT_NE(r.out.find("gain -5.00 dB"), std::string::npos) << r.out;
}

TEST_F(GainfixTool, CopiesByteForByteWhenNothingIsToBeDone) {
    struct Case {
        const char* file;
        std::vector<std::string> args;
        const char* reason;
    };
    const std::vector<Case> cases{
        {"greet10_ulaw_m50.wav", {"-t", "-26", "-m", "-45", "-b", "8000", "-g", "5"}, "below -45 dBov"},
        {"greet10_pcm16_m38.wav", {"-t", "0", "-m", "-45", "-b", "8000", "-g", "5"}, "gain control off"},
        {"greet10_ulaw_m38.wav", {"-t", " 0", "-m", "-45", "-b", "8000", "-g", "20"}, "gain control off"},
        {"greet10_pcm16_m26.wav", {"-t", "-26", "-m", "-45", "-b", "8000", "-g", "5"}, "already at target"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        fs::remove(out());
        const ToolRun r = run315(speech(c.file), c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(sameBytes(speech(c.file), out()));
        EXPECT_NE(r.out.find(c.reason), std::string::npos) << r.out;
    }
}

TEST_F(GainfixTool, SilenceIsCopiedUnchanged) {
    const fs::path src = work() / "src-silence.wav";
    writeAudio(src, SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, std::vector<double>(40000, 0.0));
    const ToolRun r = run315(src, {"-t", "-26"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(sameBytes(src, out()));
    EXPECT_NE(r.out.find("level silent"), std::string::npos) << r.out;
}

TEST_F(GainfixTool, CompandedFilesKeepTheirHeader) {
    for (const char* file : {"greet10_ulaw_m38.wav", "greet10_alaw_m26.wav"}) {
        SCOPED_TRACE(file);
        const ToolRun r = run315(speech(file), {"-t", "-30", "-g", "10"});
        ASSERT_EQ(r.status, 0) << r.err;
        const WavHeader in = wavHeader(speech(file)), got = wavHeader(out());
        EXPECT_EQ(got.formatTag, in.formatTag);
        EXPECT_EQ(got.fmtSize, in.fmtSize);
        EXPECT_EQ(got.channels, in.channels);
        EXPECT_EQ(got.sampleRate, in.sampleRate);
        EXPECT_EQ(got.byteRate, in.byteRate);
        EXPECT_EQ(got.blockAlign, in.blockAlign);
        EXPECT_EQ(got.bitsPerSample, in.bitsPerSample);
        EXPECT_EQ(got.chunks, in.chunks);
        EXPECT_EQ(fs::file_size(out()), fs::file_size(speech(file)));
        EXPECT_FALSE(sameBytes(speech(file), out()));
        EXPECT_NEAR(measureFile(out()).level - measureFile(speech(file)).level, -30.0 - measureFile(speech(file)).level,
                    0.1);
    }
}

struct EncodingCase {
    const char* name;
    int format;
    double tolerance;   // dB, for the level after re-encoding
    bool stereo = true; // GSM 6.10 in WAV is mono only
};
void PrintTo(const EncodingCase& c, std::ostream* os) {
    *os << c.name;
}

class EveryEncoding : public ::testing::TestWithParam<EncodingCase> {};

// Each encoding comes back in the same encoding, rate and channels, at the asked level.
TEST_P(EveryEncoding, LevelsAndKeepsTheFormat) {
    const EncodingCase c = GetParam();
    levora::test::TempDir dir;
    const Audio speech38 = readAudio(speech("greet10_pcm16_m38.wav"));
    std::vector<double> stereo;
    for (double v : speech38.samples) {
        stereo.push_back(v);
        stereo.push_back(0.5 * v);
    }
    for (int channels : {1, 2}) {
        if (channels == 2 && !c.stereo)
            continue;
        SCOPED_TRACE(channels);
        const fs::path src = dir.path() / "src.wav", dst = dir.path() / "dst.wav";
        writeAudio(src, c.format, 8000, channels, channels == 1 ? speech38.samples : stereo);
        const double before = measureFile(src).level;
        const ToolRun r =
            runTool(dir.path(), "gainfix315", {"-s", src.string(), "-d", dst.string(), "-t", "-30", "-g", "20"});
        ASSERT_EQ(r.status, 0) << r.err;
        const Audio a = readAudio(src), b = readAudio(dst);
        EXPECT_EQ(b.info.format, a.info.format);
        EXPECT_EQ(b.info.samplerate, a.info.samplerate);
        EXPECT_EQ(b.info.channels, a.info.channels);
        EXPECT_EQ(b.info.frames, a.info.frames);
        EXPECT_NEAR(measureFile(dst).level, -30.0, c.tolerance) << "before " << before;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, EveryEncoding,
                         ::testing::Values(EncodingCase{"pcm_u8", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 0.2},
                                           EncodingCase{"pcm16", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.1},
                                           EncodingCase{"pcm24", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 0.1},
                                           EncodingCase{"pcm32", SF_FORMAT_WAV | SF_FORMAT_PCM_32, 0.1},
                                           EncodingCase{"float", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0.1},
                                           EncodingCase{"double", SF_FORMAT_WAV | SF_FORMAT_DOUBLE, 0.1},
                                           EncodingCase{"ulaw", SF_FORMAT_WAV | SF_FORMAT_ULAW, 0.15},
                                           EncodingCase{"alaw", SF_FORMAT_WAV | SF_FORMAT_ALAW, 0.15},
                                           EncodingCase{"ima_adpcm", SF_FORMAT_WAV | SF_FORMAT_IMA_ADPCM, 0.3},
                                           EncodingCase{"gsm610", SF_FORMAT_WAV | SF_FORMAT_GSM610, 0.5, false},
                                           EncodingCase{"wavex_pcm16", SF_FORMAT_WAVEX | SF_FORMAT_PCM_16, 0.1}),
                         [](const auto& info) { return std::string(info.param.name); });

// A loud, heavily compressed greeting raised to -12 dBov: its peaks would pass full scale, so the
// limiter lowers those blocks; no sample may be clipped, in a linear or a companded encoding.
TEST_F(GainfixTool, LoudGreetingRaisedToMinus12IsNeverClipped) {
    const Audio loud = readAudio(speech("greet10_pcm16_m15.wav"));
    const fs::path ulaw = work() / "src-ulaw.wav";
    writeAudio(ulaw, SF_FORMAT_WAV | SF_FORMAT_ULAW, 8000, 1, loud.samples);
    struct Case {
        fs::path src;
        int rail; // largest magnitude the encoding decodes to
        double tolerance;
    };
    for (const Case& c : {Case{speech("greet10_pcm16_m15.wav"), 32767, 0.01}, Case{ulaw, 32124, 0.07}}) {
        SCOPED_TRACE(c.src.filename().string());
        const ToolRun r = run315(c.src, {"-t", "-12", "-m", "-45", "-b", "8000", "-g", "5"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("limited 0 of"), std::string::npos) << r.out;
        const Audio in = readAudio(c.src), got = readAudio(out());
        const auto values = as16(got.samples);
        const auto inValues = as16(in.samples);
        int peak = 0;
        for (int v : values)
            peak = std::max(peak, std::abs(v));
        if (c.rail == 32767)
            EXPECT_LT(peak, 32767); // nothing sits on the rail
        else
            EXPECT_LE(peak, c.rail);
        expectNoClipping(in.samples, got.samples, c.tolerance);
        // Never quieter than before, never past the target. (The compressed greeting has peaks
        // 14.8 dB above its level, so at -12 most blocks need limiting; mu-law already has
        // samples on its top code, leaving those blocks no room at all.)
        const double level = measureFile(out()).level;
        EXPECT_GT(level, measureFile(c.src).level - 0.02);
        EXPECT_LT(level, -12.0 + 0.1);
    }
}

// A loud greeting whose peaks exceed full scale only in a few places: the limiter touches just
// those blocks, so the level lands within 1 dB of the target.
TEST_F(GainfixTool, LoudGreetingWithFewPeaksReachesTheTarget) {
    const Audio base = readAudio(speech("greet10_pcm16_m15.wav"));
    // Soft-limit the compressed greeting to -6 dBFS peaks, then put three short bursts near full scale.
    std::vector<double> x(base.samples);
    for (auto& v : x)
        v = 0.5 * std::tanh(v / 0.5);
    for (std::size_t at : {20000u, 52000u, 90000u})
        for (std::size_t i = 0; i < 200; ++i)
            x[at + i] += 0.75 * std::sin(2.0 * M_PI * 500.0 * static_cast<double>(i) / 8000.0);
    const fs::path src = work() / "src-peaks.wav";
    writeAudio(src, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 8000, 1, x);
    const ToolRun r = run315(src, {"-t", "-12", "-m", "-45", "-b", "8000", "-g", "5"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("limited 3 of 13 blocks"), std::string::npos) << r.out;
    const Audio got = readAudio(out());
    for (int v : as16(got.samples))
        ASSERT_LT(std::abs(v), 32767);
    expectNoClipping(readAudio(src).samples, got.samples, 0.01);
    EXPECT_NEAR(measureFile(out()).level, -12.0, 1.0);
}

TEST_F(GainfixTool, BadSourcesFailAndLeaveNoDestination) {
    const std::string good = levora::test::readFile(speech("greet10_pcm16_m26.wav"));
    struct Case {
        const char* name;
        std::string bytes; // empty name content means: do not create
        bool create;
    };
    std::string corrupt = good;
    corrupt.replace(20, 2, std::string("\x34\x12", 2)); // unknown format tag
    std::string badFmt = good;
    badFmt.replace(22, 2, std::string("\0\0", 2)); // zero channels
    auto withRate = [&](uint32_t rate) {
        std::string bytes = good;
        for (int i = 0; i < 4; ++i)
            bytes[24 + i] = static_cast<char>(rate >> (8 * i));
        return bytes;
    };
    // A float recording with one sample that is not a finite number: damaged, never a huge gain.
    auto floatWith = [&](double odd) {
        std::vector<double> x = tone(-30.0, 440.0, 1.0, 8000);
        x[4000] = odd;
        writeAudio(work() / "src-float.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 8000, 1, x);
        return levora::test::readFile(work() / "src-float.wav");
    };
    const std::vector<Case> cases{
        {"missing", "", false},
        {"float NaN sample", floatWith(std::nan("")), true},
        {"float infinite sample", floatWith(-std::numeric_limits<double>::infinity()), true},
        {"empty", "", true},
        {"text", "this is not a recording\n", true},
        {"truncated", good.substr(0, good.size() / 2), true},
        {"header only, cut", good.substr(0, 30), true},
        {"corrupt format tag", corrupt, true},
        {"zero channels", badFmt, true},
        {"rate 999 Hz", withRate(999), true},
        {"rate 384001 Hz", withRate(384001), true},
        {"rate 1e8 Hz", withRate(100000000), true},
        {"rate 0x7fffffff Hz", withRate(0x7fffffff), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path src = work() / "src-bad.wav";
        fs::remove(src);
        if (c.create)
            levora::test::writeFile(src, c.bytes);
        fs::remove(out());
        const ToolRun r = run315(src, {"-t", "-26"});
        EXPECT_EQ(r.status, 3) << r.out;
        EXPECT_FALSE(fs::exists(out()));
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        expectNoStrayFiles();
    }
    for (uint32_t rate : {1000u, 384000u}) {
        const fs::path src = work() / "src-rate.wav";
        levora::test::writeFile(src, withRate(rate));
        EXPECT_EQ(run315(src, {"-t", "-26"}).status, 0) << rate;
    }
}

TEST_F(GainfixTool, FailureLeavesAnExistingDestinationUntouched) {
    levora::test::writeFile(out(), "previous contents");
    levora::test::writeFile(work() / "src-text.wav", "not audio");
    const ToolRun r = run315(work() / "src-text.wav", {"-t", "-26"});
    EXPECT_NE(r.status, 0);
    EXPECT_EQ(levora::test::readFile(out()), "previous contents");
}

TEST_F(GainfixTool, UnwritableDestinationFails) {
    fs::create_directories(work() / "in");
    const std::vector<fs::path> destinations{work() / "no-such-folder" / "out.wav", work() / "in"};
    for (const fs::path& dst : destinations) {
        SCOPED_TRACE(dst.string());
        const ToolRun r = runTool(work(), "gainfix315",
                                  {"-s", speech("greet10_pcm16_m38.wav").string(), "-d", dst.string(), "-t", "-26"});
        EXPECT_EQ(r.status, 4) << r.out;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        expectNoStrayFiles();
    }
    EXPECT_TRUE(fs::is_empty(work() / "in"));
}

TEST_F(GainfixTool, ReplacingAFileKeepsItsPermissions) {
    levora::test::writeFile(out(), "old");
    fs::permissions(out(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const ToolRun r = run315(speech("greet10_pcm16_m38.wav"), {"-t", "-26"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fs::status(out()).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    expectNoStrayFiles();
}

TEST_F(GainfixTool, BadArgumentsShowUsageAndFail) {
    const std::string src = speech("greet10_pcm16_m38.wav").string();
    const std::string dst = out().string();
    const std::vector<std::vector<std::string>> cases{
        {},
        {"-s", src, "-d", dst},                              // no target
        {"-s", src, "-t", "-26"},                            // no destination
        {"-d", dst, "-t", "-26"},                            // no source
        {"-s", src, "-d", dst, "-t", "loud"},                // not a number
        {"-s", src, "-d", dst, "-t", "-26dB"},               // trailing text
        {"-s", src, "-d", dst, "-t", "6"},                   // above full scale
        {"-s", src, "-d", dst, "-t", "-26", "-b", "0"},      // empty block
        {"-s", src, "-d", dst, "-t", "-26", "-b", "8000.5"}, // fractional block
        {"-s", src, "-d", dst, "-t", "-26", "-g", "-5"},     // negative largest change
        {"-s", src, "-d", dst, "-t", "-26", "-m", "45"},     // minimum as a magnitude
        {"-s", src, "-d", dst, "-t", "-26", "-x", "1"},      // unknown flag
        {"-s", src, "-d", dst, "-t", "-26", "extra"},        // stray word
        {"-s", src, "-d", dst, "-t", "-26", "-t", "-30"},    // flag twice
        {"-s", src, "-d", dst, "-t"},                        // flag without value
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args)
            joined += "[" + a + "]";
        SCOPED_TRACE(joined);
        const ToolRun r = runTool(work(), "gainfix315", args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage: gainfix315 -s SRC -d DST -t T [-m M] [-b B] [-g G]"), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(fs::exists(out()));
    }
}

TEST_F(GainfixTool, OldNameTakesOnlySourceDestinationAndTarget) {
    const std::string src = speech("greet10_pcm16_m38.wav").string();
    for (const char* flag : {"-m", "-b", "-g"}) {
        SCOPED_TRACE(flag);
        const ToolRun r = runTool(work(), "gainfix", {"-s", src, "-d", out().string(), "-t", "-26", flag, "5"});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage: gainfix -s SRC -d DST -t T"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(out()));
    }
    // With its own three flags it levels, with the fixed defaults (largest change 5 dB).
    const ToolRun r = runTool(work(), "gainfix", {"-s", src, "-d", out().string(), "-t", "-26"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NEAR(measureFile(out()).level, measureFile(speech("greet10_pcm16_m38.wav")).level + 5.0, 0.05);
    // gainfix314 is the same tool as gainfix315.
    fs::remove(out());
    const ToolRun r314 = runTool(work(), "gainfix314",
                                 {"-s", src, "-d", out().string(), "-t", "-26", "-m", "-45", "-b", "4000", "-g", "3"});
    ASSERT_EQ(r314.status, 0) << r314.err;
    EXPECT_NEAR(measureFile(out()).level, measureFile(speech("greet10_pcm16_m38.wav")).level + 3.0, 0.05);
}

TEST_F(GainfixTool, HelpIsAManualPage) {
    for (const char* name : {"gainfix", "gainfix315"}) {
        const ToolRun r = runTool(work(), name, {"--help"});
        EXPECT_EQ(r.status, 0);
        for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "EXIT STATUS"})
            EXPECT_NE(r.out.find(section), std::string::npos) << name << " " << section;
        EXPECT_EQ(r.out.find("-g G") == std::string::npos, std::string(name) == "gainfix") << name;
    }
}

// The host's administration program passes Windows paths, resolved through the machine prefix
// the child inherits; letter case does not matter, as on the host's file system.
TEST_F(GainfixTool, WindowsPathsResolveThroughThePrefix) {
    const fs::path prefixRoot = work() / "machine";
    levora::MachinePrefix prefix(prefixRoot);
    const fs::path streamFiles = prefix.driveC() / "Talvio" / "Stream Files";
    fs::create_directories(streamFiles);
    fs::copy_file(speech("greet10_ulaw_m38.wav"), streamFiles / "greeting1.wav");
    fs::create_directories(work() / "e-drive");
    prefix.mapDrive('e', work() / "e-drive");

    const std::map<std::string, std::string> env{{"LEVORA_PREFIX", prefixRoot.string()}};
    ToolRun r = runTool(work(), "gainfix315",
                        {"-s", "C:\\talvio\\STREAM FILES\\Greeting1.WAV", "-d", "c:\\mytempwavfile774.WAV", "-t", "-26",
                         "-m", "-45", "-b", "8000", "-g", "5"},
                        env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("C:\\talvio\\STREAM FILES\\Greeting1.WAV: level", 0), 0u) << r.out;
    ASSERT_TRUE(fs::exists(prefix.driveC() / "mytempwavfile774.WAV"));
    EXPECT_NEAR(measureFile(prefix.driveC() / "mytempwavfile774.WAV").level, -33.0, 0.1);

    // Another drive, forward slashes, and a host path mixed in.
    r = runTool(work(), "gainfix315",
                {"-s", (streamFiles / "greeting1.wav").string(), "-d", "E:/levelled.wav", "-t", "-30"}, env);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(work() / "e-drive" / "levelled.wav"));

    // An unknown drive is a destination that cannot be written.
    r = runTool(work(), "gainfix315", {"-s", "C:\\Talvio\\Stream Files\\greeting1.wav", "-d", "Q:\\x.wav", "-t", "-26"},
                env);
    EXPECT_EQ(r.status, 4);
    r = runTool(work(), "gainfix315", {"-s", "C:\\Talvio\\nothing.wav", "-d", "C:\\x.wav", "-t", "-26"}, env);
    EXPECT_EQ(r.status, 3);
    EXPECT_FALSE(fs::exists(prefix.driveC() / "x.wav"));
}

TEST_F(GainfixTool, HostPathsNeedNoPrefix) {
    const fs::path noPrefix = work() / "absent-prefix";
    const ToolRun r = runTool(work(), "gainfix315",
                              {"-s", speech("greet10_pcm16_m38.wav").string(), "-d", out().string(), "-t", "-26"},
                              {{"LEVORA_PREFIX", noPrefix.string()}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(out()));
    EXPECT_FALSE(fs::exists(noPrefix)); // host paths never open the machine prefix
}

} // namespace
