// levora-reg: reads and edits the machine prefix's registry (system.reg) the way Windows' `reg`
// does: query, add, delete, import, export. The prefix is LEVORA_PREFIX (default ~/.levora).

#include "platform/Error.h"
#include "platform/Prefix.h"
#include "platform/RegistryStore.h"
#include "platform/ReplaceFile.h"
#include "platform/Text.h"
#include "platform/Utf16.h"
#include "platform/Version.h"
#include "platform/WinPath.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace levora;

namespace {

// Laid out as help2man reads it (the manual page is made from it).
const char* const kUsage = R"(Usage: levora-reg query  KEY [/v NAME | /ve] [/s]
  or:  levora-reg add    KEY [/v NAME | /ve] [/t REG_SZ|REG_DWORD|REG_BINARY] [/d DATA] [/f]
  or:  levora-reg delete KEY [/v NAME | /ve] [/f]
  or:  levora-reg import FILE.reg
  or:  levora-reg export KEY FILE.reg [/y] [/utf8]
  or:  levora-reg --help | --version
Reads and edits the machine prefix's registry the way Windows' reg does.

KEY is HKLM\... or HKEY_LOCAL_MACHINE\... (HKCR\... is HKLM\Software\Classes\...).
REG_DWORD data is decimal or 0x-hexadecimal (negative numbers allowed); REG_BINARY data is
hexadecimal digits, two per byte ("e6ffffff"). /f and /y answer yes to every question.
export writes UTF-16LE with a byte-order mark, as the Windows registry editor does; /utf8 writes
UTF-8 without one (what system.reg holds). import reads both.
The registry is $LEVORA_PREFIX/system.reg (default ~/.levora/system.reg).
)";

const char* const kNotFound = "ERROR: The system was unable to find the specified registry key or value.";

struct Args {
    std::string command;
    std::vector<std::string> positional;
    std::optional<std::string> valueName; // /v NAME, or "" for /ve
    std::optional<std::string> type;
    std::optional<std::string> data;
    bool force = false;
    bool recursive = false;
    bool utf8 = false;
};

// Only the known switches: "/tmp/x.reg" or "-26" stay arguments.
bool isSwitch(const std::string& a) {
    if (a.size() < 2 || (a[0] != '/' && a[0] != '-'))
        return false;
    std::string s = lowerAscii(a.substr(1));
    return s == "v" || s == "ve" || s == "t" || s == "d" || s == "f" || s == "y" || s == "s" || s == "utf8";
}

// Parses the arguments after the command; false with a message on bad syntax.
bool parseArgs(int argc, char** argv, Args& a, std::string& error) {
    a.command = lowerAscii(argv[1]);
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (!isSwitch(arg)) {
            a.positional.push_back(arg);
            continue;
        }
        std::string sw = lowerAscii(arg.substr(1));
        auto next = [&](std::optional<std::string>& into) {
            if (into) {
                error = "/" + sw + " is given twice";
                return false;
            }
            if (i + 1 >= argc) {
                error = "/" + sw + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (sw == "v") {
            if (!next(a.valueName))
                return false;
        } else if (sw == "ve") {
            if (a.valueName) {
                error = "/v and /ve exclude each other";
                return false;
            }
            a.valueName = "";
        } else if (sw == "t") {
            if (!next(a.type))
                return false;
        } else if (sw == "d") {
            if (!next(a.data))
                return false;
        } else if (sw == "f" || sw == "y") {
            a.force = true;
        } else if (sw == "s") {
            a.recursive = true;
        } else if (sw == "utf8") {
            a.utf8 = true;
        } else {
            error = "unknown switch " + arg;
            return false;
        }
    }
    return true;
}

// Asks on the terminal; without one (a script) the answer is no.
bool confirm(const std::string& question) {
    if (!::isatty(STDIN_FILENO)) {
        std::cerr << question << " (Yes/No) No: not a terminal; add /f to answer yes.\n";
        return false;
    }
    std::cout << question << " (Yes/No)? " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    answer = lowerAscii(answer);
    return answer == "y" || answer == "yes";
}

std::string typeName(uint32_t t) {
    static const char* names[] = {"REG_NONE",
                                  "REG_SZ",
                                  "REG_EXPAND_SZ",
                                  "REG_BINARY",
                                  "REG_DWORD",
                                  "REG_DWORD_BIG_ENDIAN",
                                  "REG_LINK",
                                  "REG_MULTI_SZ",
                                  "REG_RESOURCE_LIST",
                                  "REG_FULL_RESOURCE_DESCRIPTOR",
                                  "REG_RESOURCE_REQUIREMENTS_LIST",
                                  "REG_QWORD"};
    if (t < sizeof names / sizeof names[0])
        return names[t];
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%x", t);
    return buf;
}

std::string hexBytes(const std::vector<uint8_t>& d) {
    std::string out;
    char buf[4];
    for (uint8_t b : d) {
        std::snprintf(buf, sizeof buf, "%02X", b);
        out += buf;
    }
    return out;
}

std::string showData(const RegistryStore::ValueEntry& v) {
    const auto& d = v.data;
    switch (v.type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
        std::string s(d.begin(), d.end());
        return s.substr(0, s.find('\0'));
    }
    case 7: { // REG_MULTI_SZ: the strings joined by \0, as reg shows them
        std::string s(d.begin(), d.end());
        while (!s.empty() && s.back() == '\0')
            s.pop_back();
        std::string out;
        for (char c : s)
            out += c == '\0' ? std::string("\\0") : std::string(1, c);
        return out;
    }
    case REG_DWORD:
    case 11: // REG_QWORD
        if (d.size() == (v.type == REG_DWORD ? 4u : 8u)) {
            unsigned long long x = 0;
            for (size_t i = d.size(); i-- > 0;)
                x = (x << 8) | d[i];
            char buf[24];
            std::snprintf(buf, sizeof buf, "0x%llx", x);
            return buf;
        }
        return hexBytes(d);
    default:
        return hexBytes(d);
    }
}

void printValue(const RegistryStore::ValueEntry& v) {
    std::cout << "    " << (v.name.empty() ? "(Default)" : v.name) << "    " << typeName(v.type) << "    "
              << showData(v) << "\n";
}

std::optional<RegistryStore::ValueEntry> findValue(RegistryStore& reg, const std::string& key,
                                                   const std::string& name) {
    for (auto& v : reg.values(key))
        if (equalsNoCase(v.name, name))
            return v;
    return std::nullopt;
}

// The key's values and, with /s, everything below it; without /s its direct sub-keys by name.
void listKey(RegistryStore& reg, const std::string& key, bool recursive) {
    std::cout << "\n" << key << "\n";
    for (const auto& v : reg.values(key))
        printValue(v);
    auto subs = reg.subKeys(key);
    if (recursive) {
        for (const auto& s : subs)
            listKey(reg, s, true);
    } else {
        if (!subs.empty())
            std::cout << "\n";
        for (const auto& s : subs)
            std::cout << s << "\n";
    }
}

// The full name of KEY as the store spells it (HKLM\x -> HKEY_LOCAL_MACHINE\x).
std::string displayKey(const std::string& key) {
    std::string k = key;
    while (k.size() > 1 && k.back() == '\\')
        k.pop_back();
    size_t bs = k.find('\\');
    std::string root = upperAscii(k.substr(0, bs));
    std::string rest = bs == std::string::npos ? "" : k.substr(bs);
    if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE")
        return "HKEY_LOCAL_MACHINE" + rest;
    if (root == "HKCR" || root == "HKEY_CLASSES_ROOT")
        return "HKEY_CLASSES_ROOT" + rest;
    return k;
}

bool parseData(const std::string& type, const std::string& text, uint32_t& code, std::vector<uint8_t>& data,
               std::string& error) {
    std::string t = upperAscii(type);
    if (t == "REG_SZ") {
        code = REG_SZ;
        data.assign(text.begin(), text.end());
        data.push_back(0);
        return true;
    }
    if (t == "REG_DWORD") {
        code = REG_DWORD;
        errno = 0;
        char* end = nullptr;
        bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        long long v = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
        if (text.empty() || *end != '\0' || errno == ERANGE || v < -2147483648LL || v > 4294967295LL ||
            (hex && (text[2] == '-' || text[2] == '+'))) {
            error = "REG_DWORD data must be a 32-bit number (decimal or 0x-hexadecimal): \"" + text + "\"";
            return false;
        }
        auto u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<uint8_t>(u >> (8 * i)));
        return true;
    }
    if (t == "REG_BINARY") {
        code = REG_BINARY;
        auto digit = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
        if (text.size() % 2 != 0) {
            error = "REG_BINARY data must be hexadecimal digits, two per byte: \"" + text + "\"";
            return false;
        }
        for (size_t i = 0; i < text.size(); i += 2) {
            if (!digit(text[i]) || !digit(text[i + 1])) {
                error = "REG_BINARY data must be hexadecimal digits, two per byte: \"" + text + "\"";
                return false;
            }
            data.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
        }
        return true;
    }
    error = "unsupported type " + type + " (REG_SZ, REG_DWORD or REG_BINARY)";
    return false;
}

int fail(const std::string& message) {
    std::cerr << (message.rfind("ERROR:", 0) == 0 ? message : "ERROR: " + message) << "\n";
    return 1;
}

int done() {
    std::cout << "The operation completed successfully.\n";
    return 0;
}

// Re-encodes a UTF-8 export in place as UTF-16LE with a byte-order mark, the form that the
// Windows registry editor writes and expects under a version 5.00 header. The file is a
// temporary one beside the target, not yet renamed over it.
bool toUtf16File(const std::filesystem::path& file, std::string& error) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        error = "cannot read " + file.string();
        return false;
    }
    in.close();
    std::vector<uint8_t> bytes{0xFF, 0xFE};
    const std::vector<uint8_t> body =
        utf8ToUtf16le(reinterpret_cast<const uint8_t*>(text.data()), text.size(), BadUtf8::Latin1);
    bytes.insert(bytes.end(), body.begin(), body.end());
    const int fd = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    size_t written = 0;
    while (fd >= 0 && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        written += static_cast<size_t>(n);
    }
    const bool ok = fd >= 0 && written == bytes.size() && ::fsync(fd) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        error = "cannot write " + file.string() + ": " + std::strerror(errno);
    return ok;
}

// Exports KEY to out: through a temporary file beside it, re-encoded unless utf8, then renamed
// over it in one step.
bool exportTo(RegistryStore& reg, const std::string& key, const std::filesystem::path& out, bool utf8,
              std::string& error) {
    if (utf8) {
        if (reg.exportKey(key, out))
            return true;
        error = reg.lastError();
        return false;
    }
    std::string temp;
    const int fd = createTempBeside(out, temp);
    if (fd < 0) {
        error = "cannot write beside " + out.string() + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    std::error_code ec;
    bool ok = reg.exportKey(key, temp);
    if (!ok)
        error = reg.lastError();
    ok = ok && toUtf16File(temp, error);
    if (ok) {
        std::filesystem::rename(temp, replacementTarget(out), ec);
        if (ec) {
            error = "cannot replace " + out.string() + ": " + ec.message();
            ok = false;
        }
    }
    if (!ok)
        std::filesystem::remove(temp, ec);
    return ok;
}

// A .reg file argument: a Windows path in the prefix's namespace, or a host path.
std::filesystem::path fileArg(const PathNamespace& ns, const std::string& arg) {
    return ns.toHost(arg);
}

int run(int argc, char** argv) {
    if (argc < 2)
        return fail(std::string("missing command\n") + kUsage);
    std::string first = lowerAscii(argv[1]);
    if (first == "/?" || first == "-?" || first == "-h" || first == "--help" || first == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (first == "--version") {
        std::cout << "levora-reg " << kVersionText << "\n";
        return 0;
    }
    Args a;
    std::string error;
    if (!parseArgs(argc, argv, a, error))
        return fail("Invalid syntax: " + error + "\n" + kUsage);

    if (a.utf8 && a.command != "export")
        return fail("Invalid syntax: /utf8 applies to export only");

    MachinePrefix prefix(MachinePrefix::defaultRoot());
    RegistryStore reg(prefix.systemReg());
    PathNamespace ns(prefix);

    auto expect = [&](size_t n, bool valueAllowed, bool typeAllowed) -> std::string {
        if (a.positional.size() != n)
            return "expected " + std::to_string(n) + " argument(s) after " + a.command;
        if (!valueAllowed && a.valueName)
            return "/v and /ve do not apply to " + a.command;
        if (!typeAllowed && (a.type || a.data))
            return "/t and /d apply to add only";
        return {};
    };

    if (a.command == "query") {
        if (auto e = expect(1, true, false); !e.empty())
            return fail("Invalid syntax: " + e);
        const std::string& key = a.positional[0];
        if (!reg.keyExists(key))
            return fail(kNotFound);
        if (a.valueName) {
            auto v = findValue(reg, key, *a.valueName);
            if (!v)
                return fail(kNotFound);
            std::cout << "\n" << displayKey(key) << "\n";
            printValue(*v);
            std::cout << "\n";
            return 0;
        }
        listKey(reg, displayKey(key), a.recursive);
        std::cout << "\n";
        return 0;
    }
    if (a.command == "add") {
        if (auto e = expect(1, true, true); !e.empty())
            return fail("Invalid syntax: " + e);
        const std::string& key = a.positional[0];
        if (!a.valueName) {
            if (a.type || a.data)
                return fail("Invalid syntax: /t and /d need /v NAME or /ve");
            if (!reg.createKey(key))
                return fail(reg.lastError());
            return done();
        }
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (!parseData(a.type.value_or("REG_SZ"), a.data.value_or(""), type, data, error))
            return fail(error);
        if (!a.force && findValue(reg, key, *a.valueName) &&
            !confirm("Value " + (a.valueName->empty() ? std::string("(Default)") : *a.valueName) +
                     " exists, overwrite"))
            return fail("the value was not overwritten");
        if (!reg.setValue(key, *a.valueName, type, data))
            return fail(reg.lastError());
        return done();
    }
    if (a.command == "delete") {
        if (auto e = expect(1, true, false); !e.empty())
            return fail("Invalid syntax: " + e);
        const std::string& key = a.positional[0];
        if (!reg.keyExists(key) || (a.valueName && !findValue(reg, key, *a.valueName)))
            return fail(kNotFound);
        std::string what =
            a.valueName ? "the registry value " + (a.valueName->empty() ? std::string("(Default)") : *a.valueName)
                        : "the registry key " + displayKey(key) + " and everything below it";
        if (!a.force && !confirm("Permanently delete " + what))
            return fail("nothing was deleted");
        bool ok = a.valueName ? reg.deleteValue(key, *a.valueName) : reg.deleteKey(key);
        if (!ok)
            return fail(reg.lastError());
        return done();
    }
    if (a.command == "import") {
        if (auto e = expect(1, false, false); !e.empty())
            return fail("Invalid syntax: " + e);
        std::string why;
        if (!reg.importFile(fileArg(ns, a.positional[0]), &why))
            return fail(why);
        return done();
    }
    if (a.command == "export") {
        if (auto e = expect(2, false, false); !e.empty())
            return fail("Invalid syntax: " + e);
        const std::string& key = a.positional[0];
        std::filesystem::path out = fileArg(ns, a.positional[1]);
        if (!reg.keyExists(key))
            return fail(kNotFound);
        std::error_code ec;
        if (!a.force && std::filesystem::exists(out, ec) && !confirm("File " + out.string() + " exists, overwrite"))
            return fail("the file was not overwritten");
        if (!exportTo(reg, key, out, a.utf8, error))
            return fail(error);
        return done();
    }
    return fail("Invalid syntax: unknown command \"" + std::string(argv[1]) + "\"\n" + kUsage);
}

} // namespace

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (...) {
        Error e = toError(std::current_exception());
        return fail(e.description() + " (error " + std::to_string(e.number()) + ")");
    }
}
