#include "Cli.h"

#include "speech/ToolError.h"

#include "platform/Text.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace gainfix {

namespace {

[[noreturn]] void usageError(const std::string& program, const std::string& message) {
    throw ToolError(Failure::Usage, program + ": " + message + " (" + usageLine(program) + "; see --help)");
}

// A number as the option fields write it: blanks around it allowed (the target " 0"),
// nothing else after it.
double number(const std::string& program, const std::string& flag, const std::string& text) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    if (first == std::string::npos)
        usageError(program, flag + " needs a number, got \"" + text + "\"");
    const std::string t = text.substr(first, last - first + 1);
    char* end = nullptr;
    const double v = std::strtod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || !std::isfinite(v) || t.find_first_of("xXpP") != std::string::npos)
        usageError(program, flag + " needs a number, got \"" + text + "\"");
    return v;
}

void checkRange(const std::string& program, const std::string& flag, double v, double lo, double hi,
                const std::string& unit) {
    if (v < lo || v > hi) {
        char buf[160];
        std::snprintf(buf, sizeof buf, "%s must lie between %g and %g %s, got %g", flag.c_str(), lo, hi, unit.c_str(),
                      v);
        usageError(program, buf);
    }
}

} // namespace

std::string programName(const std::string& argv0) {
    std::string name = argv0.substr(argv0.find_last_of("/\\") == std::string::npos ? 0 : argv0.find_last_of("/\\") + 1);
    if (name.size() > 4 && levora::lowerAscii(name.substr(name.size() - 4)) == ".exe")
        name.resize(name.size() - 4);
    return name.empty() ? std::string("gainfix") : name;
}

bool takesTuningFlags(const std::string& program) {
    return levora::lowerAscii(program) != "gainfix";
}

std::string usageLine(const std::string& program) {
    if (takesTuningFlags(program))
        return "usage: " + program + " -s SRC -d DST -t T [-m M] [-b B] [-g G]";
    return "usage: " + program + " -s SRC -d DST -t T";
}

Invocation parseArguments(const std::vector<std::string>& args) {
    Invocation inv;
    inv.program = programName(args.empty() ? std::string() : args.front());
    const bool tuning = takesTuningFlags(inv.program);
    const std::string& program = inv.program;

    std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
    for (const std::string& a : rest) {
        if (a == "--help" || a == "-h" || a == "-?" || a == "/?") {
            inv.help = true;
            return inv;
        }
        if (a == "--version") {
            inv.version = true;
            return inv;
        }
        if (!tuning && (a == "-m" || a == "-b" || a == "-g" || a.rfind("--minimum", 0) == 0 ||
                        a.rfind("--block", 0) == 0 || a.rfind("--max-gain", 0) == 0))
            usageError(program, a + " is not taken by " + program + " (gainfix314 and gainfix315 take it)");
    }

    CLI::App app;
    app.set_help_flag();
    app.allow_windows_style_options(false);
    std::string target, minimum, block, maxGain;
    app.add_option("-s,--source", inv.source)->required();
    app.add_option("-d,--destination", inv.destination)->required();
    app.add_option("-t,--target", target)->required();
    if (tuning) {
        app.add_option("-m,--minimum", minimum);
        app.add_option("-b,--block", block);
        app.add_option("-g,--max-gain", maxGain);
    }
    try {
        std::reverse(rest.begin(), rest.end());
        app.parse(rest);
    } catch (const CLI::ParseError& e) {
        std::string what = e.what();
        if (what.empty())
            what = e.get_name();
        usageError(program, what);
    }
    if (inv.source.empty())
        usageError(program, "-s needs a source file");
    if (inv.destination.empty())
        usageError(program, "-d needs a destination file");

    inv.options.target = number(program, "-t", target);
    checkRange(program, "-t", inv.options.target, -90.0, 0.0, "dBov");
    if (!minimum.empty()) {
        inv.options.minimum = number(program, "-m", minimum);
        checkRange(program, "-m", inv.options.minimum, -100.0, 0.0, "dBov");
    }
    if (!block.empty()) {
        const double b = number(program, "-b", block);
        if (b != std::floor(b))
            usageError(program, "-b needs a whole number of samples, got \"" + block + "\"");
        checkRange(program, "-b", b, 1.0, 1048576.0, "samples");
        inv.options.block = static_cast<std::size_t>(b);
    }
    if (!maxGain.empty()) {
        inv.options.maxGain = number(program, "-g", maxGain);
        checkRange(program, "-g", inv.options.maxGain, 0.0, 60.0, "dB");
    }
    return inv;
}

std::string manual(const std::string& program) {
    const bool tuning = takesTuningFlags(program);
    std::string m;
    m += "NAME\n";
    m += "    " + program + " - bring the speech level of a WAV recording to a target level\n\n";
    m += "SYNOPSIS\n";
    m += "    " + usageLine(program).substr(7) + "\n";
    m += "    " + program + " --help | --version\n\n";
    m += "DESCRIPTION\n"
         "    Measures the active speech level of SRC (ITU-T P.56 method B, in dBov, on a\n"
         "    DC-blocked mono mix) and writes DST with the gain that moves that level to the\n"
         "    target. Nothing but the gain changes: DST has the container, encoding, sample rate\n"
         "    and channels of SRC. DST appears only when complete (written beside it, flushed,\n"
         "    renamed); on any failure it is neither created nor changed.\n\n"
         "    DST is a byte-for-byte copy of SRC when the target is 0, when SRC holds no active\n"
         "    speech, when its level is below the minimum, or when the gain would be below\n"
         "    0.1 dB.\n\n"
         "    A levelled DST is measured again before it replaces anything: it must read within\n"
         "    0.1 dB of the target, so that running the tool on it again copies it. Where rounding\n"
         "    onto the encoding's steps moves the reading, gains up to 0.15 dB either side are\n"
         "    tried; where none comes 0.05 dB nearer the target than SRC already is, DST is a\n"
         "    copy of SRC.\n\n"
         "    SRC and DST are Windows paths (C:\\Folder\\file.wav), resolved through the machine\n"
         "    prefix named by LEVORA_PREFIX, or host paths beginning with '/'.\n\n";
    m += "OPTIONS\n"
         "    -s SRC  The WAV file to read: PCM 8/16/24/32-bit, float, mu-law, A-law, IMA ADPCM,\n"
         "            GSM 6.10, or any other WAV encoding libsndfile decodes.\n"
         "    -d DST  The file to write.\n"
         "    -t T    Target active speech level in dBov, -90 to 0 (-26 is the telephony\n"
         "            nominal level). 0 switches gain control off: DST is a copy of SRC.\n"
         "            Leading blanks are allowed (\" 0\").\n";
    if (tuning)
        m += "    -m M    Minimum level in dBov, -100 to 0 (default -45). Recordings whose active\n"
             "            level is below M are copied unchanged.\n"
             "    -b B    Block size in samples, 1 to 1048576 (default 8000). The file is read in\n"
             "            blocks of B samples, twice: once to measure, once to apply the gain.\n"
             "            Where the gain would push a block's peak past the largest value the\n"
             "            encoding holds, that block gets just the gain that fits, with 20 ms\n"
             "            raised-cosine ramps into and out of it: no output sample is clipped.\n"
             "    -g G    Largest gain change in dB, 0 to 60 (default 5): the gain is the target\n"
             "            minus the level, clamped to -G..+G.\n";
    else
        m += "            The minimum level (-45 dBov), block size (8000) and largest change (5 dB)\n"
             "            are fixed; gainfix314 and gainfix315 take them as -m, -b and -g.\n";
    m += "    -h, --help\n"
         "            Show this text.\n"
         "    --version\n"
         "            Show the program's version.\n\n";
    m += "OUTPUT\n"
         "    One line on standard output: the source, its active level, the activity, the gain,\n"
         "    and how many blocks the clipping protection lowered.\n\n";
    m += "EXIT STATUS\n"
         "    0  DST written (levelled or copied).\n"
         "    2  Bad arguments.\n"
         "    3  SRC missing, unreadable, not a WAV file, truncated or damaged.\n"
         "    4  DST cannot be written.\n"
         "    1  Any other failure.\n"
         "    On failure one line on standard error says why.\n\n";
    m += "EXAMPLE\n";
    if (tuning)
        m += "    " + program +
             " -s \"C:\\Talvio\\Stream Files\\greeting1.wav\" -d c:\\out.wav -t -26 -m -45 -b 8000 -g 5\n";
    else
        m += "    " + program + " -s \"C:\\Talvio\\Stream Files\\greeting1.wav\" -d c:\\out.wav -t -26\n";
    return m;
}

} // namespace gainfix
