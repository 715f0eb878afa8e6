#include "RegistryStore.h"

#include "Text.h"
#include "Utf16.h"
#include "WinPath.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>

namespace fs = std::filesystem;

namespace levora {

namespace {

const char* const kHeader5 = "Windows Registry Editor Version 5.00";
const char* const kHeader4 = "REGEDIT4";
const char* const kMachine = "HKEY_LOCAL_MACHINE";
const char* const kClasses = "HKEY_LOCAL_MACHINE\\Software\\Classes";

// ------------------------------------------------------------------ text helpers

bool isUtf16Type(uint32_t type) {
    return type == REG_EXPAND_SZ || type == 7 /* REG_MULTI_SZ */;
}

// ------------------------------------------------------------------ key paths

// A key path's sort key: its upper-case form with the separator below every other character, so
// that a map lists keys in tree order (a key, then its sub-keys, then its next sibling).
std::string foldKey(const std::string& path) {
    std::string f = upperForm(path);
    for (char& c : f)
        if (c == '\\')
            c = '\x01';
    return f;
}

enum class Root { Machine, Other, Invalid };

// Turns "HKLM\a\b\" into "HKEY_LOCAL_MACHINE\a\b". HKEY_CLASSES_ROOT becomes
// HKLM\Software\Classes. Other roots keep their full name and are reported as Other.
Root normalizeKey(const std::string& full, std::string& out) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t bs = full.find('\\', start);
        parts.push_back(full.substr(start, bs == std::string::npos ? std::string::npos : bs - start));
        if (bs == std::string::npos)
            break;
        start = bs + 1;
    }
    if (parts.size() > 1 && parts.back().empty())
        parts.pop_back(); // a trailing backslash names the same key
    for (const auto& p : parts)
        if (p.empty() || p.find_first_of("\r\n") != std::string::npos)
            return Root::Invalid;
    std::string root = upperAscii(parts[0]);
    Root kind = Root::Other;
    if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") {
        out = kMachine;
        kind = Root::Machine;
    } else if (root == "HKCR" || root == "HKEY_CLASSES_ROOT") {
        out = kClasses;
        kind = Root::Machine;
    } else if (root == "HKCU" || root == "HKEY_CURRENT_USER") {
        out = "HKEY_CURRENT_USER";
    } else if (root == "HKU" || root == "HKEY_USERS") {
        out = "HKEY_USERS";
    } else if (root == "HKCC" || root == "HKEY_CURRENT_CONFIG") {
        out = "HKEY_CURRENT_CONFIG";
    } else {
        return Root::Invalid;
    }
    for (size_t i = 1; i < parts.size(); ++i)
        out += '\\' + parts[i];
    return kind;
}

// ------------------------------------------------------------------ the hive in memory

struct Val {
    std::string name;
    uint32_t type = REG_NONE;
    std::vector<uint8_t> data; // as the file means it: types 2 and 7 in UTF-16LE, the rest as the A calls see it
};

struct KeyData {
    std::string path; // spelling of its first creation
    std::vector<Val> values;
    std::unordered_map<std::string, size_t> index; // upperForm(name) -> position in values

    Val* find(const std::string& name) {
        auto it = index.find(upperForm(name));
        return it == index.end() ? nullptr : &values[it->second];
    }
    void set(Val v) {
        auto [it, added] = index.try_emplace(upperForm(v.name), values.size());
        if (added) {
            values.push_back(std::move(v));
        } else {
            values[it->second].type = v.type; // the name keeps its first spelling
            values[it->second].data = std::move(v.data);
        }
    }
    bool erase(const std::string& name) {
        auto it = index.find(upperForm(name));
        if (it == index.end())
            return false;
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(it->second));
        index.clear();
        for (size_t i = 0; i < values.size(); ++i)
            index.emplace(upperForm(values[i].name), i);
        return true;
    }
};

struct Hive {
    std::map<std::string, KeyData> keys; // by foldKey

    KeyData* find(const std::string& path) {
        auto it = keys.find(foldKey(path));
        return it == keys.end() ? nullptr : &it->second;
    }
    bool exists(const std::string& path) { return find(path) || upperAscii(path) == kMachine; }
    KeyData& ensure(const std::string& path) {
        size_t pos = path.find('\\');
        if (pos == std::string::npos)
            pos = path.size();
        for (;;) {
            std::string prefix = path.substr(0, pos);
            auto [it, added] = keys.try_emplace(foldKey(prefix));
            if (added)
                it->second.path = prefix;
            if (pos >= path.size())
                return it->second;
            pos = path.find('\\', pos + 1);
            if (pos == std::string::npos)
                pos = path.size();
        }
    }
    // Removes the key and everything below it; false if it was not there.
    bool erase(const std::string& path) {
        std::string f = foldKey(path);
        auto it = keys.find(f);
        if (it == keys.end())
            return false;
        std::string below = f + '\x01';
        while (it != keys.end() && (it->first == f || it->first.compare(0, below.size(), below) == 0))
            it = keys.erase(it);
        return true;
    }
    void set(const std::string& path, Val v) { ensure(path).set(std::move(v)); }
};

// Root sections that carry nothing are not kept: "HKEY_LOCAL_MACHINE" always exists.
bool isBareRoot(const KeyData& k) {
    return k.values.empty() && k.path.find('\\') == std::string::npos;
}

// ------------------------------------------------------------------ reading .reg text

struct Op {
    enum Kind { Key, DeleteKey, Set, DeleteValue } kind;
    std::string key;
    Root root = Root::Machine;
    Val val;
};

// Parses the quoted text starting at s[pos] == '"'. Escapes: \\ and \"; any other backslash is kept.
bool parseQuoted(const std::string& s, size_t& pos, std::string& out) {
    ++pos;
    while (pos < s.size()) {
        char c = s[pos];
        if (c == '\\' && pos + 1 < s.size()) {
            char n = s[pos + 1];
            if (n != '\\' && n != '"')
                out += '\\';
            out += n;
            pos += 2;
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out += c;
            ++pos;
        }
    }
    return false;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool parseHexList(const std::string& s, std::vector<uint8_t>& out) {
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i >= s.size())
            break;
        int v = 0, digits = 0;
        while (i < s.size() && hexDigit(s[i]) >= 0 && digits < 2) {
            v = v * 16 + hexDigit(s[i]);
            ++i;
            ++digits;
        }
        if (digits == 0)
            return false;
        out.push_back(static_cast<uint8_t>(v));
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
        if (i < s.size()) {
            if (s[i] != ',')
                return false;
            ++i;
        }
    }
    return true;
}

struct Parsed {
    std::vector<Op> ops;
    std::string error; // "line N: ..." when the text is not a registry file
    bool ok() const { return error.empty(); }
};

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

Parsed parseRegText(const std::string& bytes, bool emptyIsValid) {
    Parsed r;
    std::string text;
    if (bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE)
        text = utf16leToUtf8(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
    else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text = bytes.substr(3);
    else
        text = bytes;
    if (emptyIsValid && trim(text).empty())
        return r;

    std::vector<std::string> lines = splitLines(text);
    std::string first = trim(lines[0]);
    bool v5;
    if (first == kHeader5)
        v5 = true;
    else if (first == kHeader4)
        v5 = false;
    else {
        r.error = "line 1: not a registry file (expected \"" + std::string(kHeader5) + "\" or \"" + kHeader4 + "\")";
        return r;
    }
    bool utf16 = bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF;
    if (utf16 && !v5) {
        r.error = "line 1: a REGEDIT4 file cannot be UTF-16";
        return r;
    }

    auto fail = [&](size_t i, const std::string& what) {
        r.error = "line " + std::to_string(i + 1) + ": " + what;
        r.ops.clear();
    };
    std::string current;
    Root currentRoot = Root::Machine;
    bool inKey = false;     // values go to `current`
    bool inDeleted = false; // values after [-KEY] are ignored, as regedit does
    for (size_t i = 1; i < lines.size(); ++i) {
        std::string line = trim(lines[i]);
        if (line.empty() || line[0] == ';')
            continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            if (close == std::string::npos || close == 0) {
                fail(i, "a key line must end with ']'");
                return r;
            }
            std::string inner = line.substr(1, close - 1);
            bool del = !inner.empty() && inner[0] == '-';
            if (del)
                inner.erase(0, 1);
            std::string path;
            Root root = normalizeKey(inner, path);
            if (root == Root::Invalid) {
                fail(i, "not a valid key name: " + inner);
                return r;
            }
            Op op{del ? Op::DeleteKey : Op::Key, path, root, {}};
            r.ops.push_back(std::move(op));
            current = path;
            currentRoot = root;
            inKey = !del;
            inDeleted = del;
            continue;
        }
        if (line[0] != '"' && line[0] != '@') {
            fail(i, "neither a key nor a value: " + line);
            return r;
        }
        if (!inKey && !inDeleted) {
            fail(i, "a value before the first key");
            return r;
        }
        Val v;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!parseQuoted(line, pos, v.name)) {
            fail(i, "the value name has no closing quote");
            return r;
        }
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != '=') {
            fail(i, "'=' expected after the value name");
            return r;
        }
        ++pos;
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        std::string rest = line.substr(pos);
        Op op{Op::Set, current, currentRoot, {}};
        if (rest == "-") {
            op.kind = Op::DeleteValue;
        } else if (!rest.empty() && rest[0] == '"') {
            size_t q = 0;
            std::string s;
            if (!parseQuoted(rest, q, s) || !trim(rest.substr(q)).empty()) {
                fail(i, "the text value is not closed by a quote");
                return r;
            }
            v.type = REG_SZ;
            v.data.assign(s.begin(), s.end());
            v.data.push_back(0);
        } else if (startsWithNoCase(rest, "dword:")) {
            std::string digits = trim(rest.substr(6));
            uint32_t d = 0;
            if (digits.empty() || digits.size() > 8) {
                fail(i, "dword: needs one to eight hexadecimal digits");
                return r;
            }
            for (char c : digits) {
                if (hexDigit(c) < 0) {
                    fail(i, "dword: needs one to eight hexadecimal digits");
                    return r;
                }
                d = d * 16 + static_cast<uint32_t>(hexDigit(c));
            }
            v.type = REG_DWORD;
            for (int k = 0; k < 4; ++k)
                v.data.push_back(static_cast<uint8_t>(d >> (8 * k)));
        } else if (startsWithNoCase(rest, "hex")) {
            size_t colon = rest.find(':');
            std::string tag = rest.substr(3, colon == std::string::npos ? std::string::npos : colon - 3);
            if (colon == std::string::npos) {
                fail(i, "':' expected after hex");
                return r;
            }
            if (tag.empty()) {
                v.type = REG_BINARY;
            } else {
                if (tag.size() < 3 || tag.front() != '(' || tag.back() != ')' || tag.size() > 10) {
                    fail(i, "hex(n): expected");
                    return r;
                }
                uint32_t t = 0;
                for (size_t k = 1; k + 1 < tag.size(); ++k) {
                    if (hexDigit(tag[k]) < 0) {
                        fail(i, "hex(n): expected");
                        return r;
                    }
                    t = t * 16 + static_cast<uint32_t>(hexDigit(tag[k]));
                }
                v.type = t;
            }
            std::string list = trim(rest.substr(colon + 1));
            while (!list.empty() && list.back() == '\\') {
                list.pop_back();
                if (i + 1 >= lines.size() || trim(lines[i + 1]).empty()) {
                    fail(i, "the value is cut off: its continuation line is missing");
                    return r;
                }
                list += trim(lines[++i]);
            }
            if (!parseHexList(list, v.data)) {
                fail(i, "not a list of hexadecimal bytes");
                return r;
            }
            // Text types in a version 5 file are UTF-16LE; the store keeps REG_SZ as the A calls see it
            // and the other text types as a version 5 file has them.
            if (v5 && v.type == REG_SZ) {
                std::string s = utf16leToUtf8(v.data.data(), v.data.size());
                v.data.assign(s.begin(), s.end());
            } else if (!v5 && isUtf16Type(v.type)) {
                v.data = utf8ToUtf16le(v.data.data(), v.data.size(), BadUtf8::Latin1);
            }
        } else {
            fail(i, "unknown value data: " + rest);
            return r;
        }
        if (inDeleted)
            continue;
        op.val = std::move(v);
        r.ops.push_back(std::move(op));
    }
    return r;
}

void apply(Hive& h, const Op& op) {
    switch (op.kind) {
    case Op::Key:
        h.ensure(op.key);
        break;
    case Op::DeleteKey:
        h.erase(op.key);
        break;
    case Op::Set:
        h.set(op.key, op.val);
        break;
    case Op::DeleteValue:
        if (KeyData* k = h.find(op.key))
            k->erase(op.val.name);
        break;
    }
}

// Applies a parsed file. The values of a section go straight to its key, which is looked up once.
void applyAll(Hive& h, const std::vector<Op>& ops) {
    KeyData* section = nullptr;
    const std::string* sectionKey = nullptr;
    for (const auto& op : ops) {
        if (op.kind == Op::Key) {
            section = &h.ensure(op.key);
            sectionKey = &op.key;
        } else if (op.kind == Op::DeleteKey) {
            section = nullptr; // its pointer may be gone
            apply(h, op);
        } else if (section && *sectionKey == op.key) {
            if (op.kind == Op::Set)
                section->set(op.val);
            else
                section->erase(op.val.name);
        } else {
            apply(h, op);
        }
    }
}

// ------------------------------------------------------------------ writing .reg text

std::string quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

void appendHex(std::string& out, std::string line, const std::vector<uint8_t>& data) {
    static const char* digits = "0123456789abcdef";
    for (size_t i = 0; i < data.size(); ++i) {
        std::string token{digits[data[i] >> 4], digits[data[i] & 15]};
        if (i + 1 < data.size())
            token += ',';
        // regedit keeps lines within 80 columns, the continuation backslash included.
        if (line.size() + token.size() > 79 && line.size() > 2) {
            out += line + "\\\r\n";
            line = "  ";
        }
        line += token;
    }
    out += line + "\r\n";
}

void writeValue(std::string& out, const Val& v) {
    std::string head = v.name.empty() ? "@=" : quote(v.name) + "=";
    if (v.type == REG_SZ) {
        const auto& d = v.data;
        bool plain = !d.empty() && d.back() == 0;
        for (size_t i = 0; plain && i + 1 < d.size(); ++i)
            if (d[i] == 0 || d[i] == '\r' || d[i] == '\n')
                plain = false;
        if (plain) {
            out += head + quote(std::string(d.begin(), d.end() - 1)) + "\r\n";
            return;
        }
        // Text that a quoted string cannot carry keeps its exact bytes as hex(1), UTF-16LE as regedit writes it.
        appendHex(out, head + "hex(1):", utf8ToUtf16le(d.data(), d.size(), BadUtf8::Latin1));
        return;
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        char buf[16];
        uint32_t x = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
        std::snprintf(buf, sizeof buf, "dword:%08x", x);
        out += head + buf + "\r\n";
        return;
    }
    if (v.type == REG_BINARY) {
        appendHex(out, head + "hex:", v.data);
        return;
    }
    char tag[24];
    std::snprintf(tag, sizeof tag, "hex(%x):", v.type);
    appendHex(out, head + tag, v.data);
}

// The keys whose fold starts with `fold` (the key itself and everything below), or all when empty.
std::string serialize(const Hive& h, const std::string& onlyKey = {}) {
    std::string out = std::string(kHeader5) + "\r\n\r\n";
    std::string f = onlyKey.empty() ? std::string() : foldKey(onlyKey);
    std::string below = f + '\x01';
    for (const auto& [fold, k] : h.keys) {
        if (!f.empty() && fold != f && fold.compare(0, below.size(), below) != 0)
            continue;
        if (isBareRoot(k))
            continue;
        out += "[" + k.path + "]\r\n";
        for (const auto& v : k.values)
            writeValue(out, v);
        out += "\r\n";
    }
    return out;
}

// ------------------------------------------------------------------ files

struct Stamp {
    bool exists = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtime = 0;
    long long ctime = 0;
    bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const struct stat& st) {
    Stamp s;
    s.exists = true;
    s.dev = st.st_dev;
    s.ino = st.st_ino;
    s.size = st.st_size;
    s.mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.ctime = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return s;
}

enum class ReadResult { Ok, Missing, Failed };

// Reads the whole file; the stamp describes exactly the bytes read.
ReadResult readWhole(const fs::path& p, std::string& bytes, Stamp& stamp, int& error) {
    bytes.clear();
    stamp = {};
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return error == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = errno;
        ::close(fd);
        return ReadResult::Failed;
    }
    stamp = stampOf(st);
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error = errno;
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

bool writeAll(int fd, const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Writes beside the target, flushes and renames over it: readers see the old file or the new one.
bool replaceFile(const fs::path& target, const std::string& content, std::string& error) {
    static std::atomic<unsigned> counter{0};
    fs::path tmp = target;
    tmp += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    mode_t mode = 0666;
    struct stat st {};
    bool keepMode = ::stat(target.c_str(), &st) == 0;
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
        error = "cannot create " + tmp.string() + ": " + std::strerror(errno);
        return false;
    }
    bool ok = (!keepMode || ::fchmod(fd, st.st_mode & 07777) == 0) && writeAll(fd, content) && ::fdatasync(fd) == 0;
    int e = errno;
    ok = (::close(fd) == 0) && ok;
    if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) {
        e = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        error = "cannot write " + target.string() + ": " + std::strerror(e);
        return false;
    }
    // The directory is not flushed: after a crash the store is the old file or the new one, both whole.
    return true;
}

class FileLock {
public:
    explicit FileLock(const fs::path& p) {
        m_fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd < 0)
            return;
        while (::flock(m_fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(m_fd);
                m_fd = -1;
                return;
            }
        }
    }
    ~FileLock() {
        if (m_fd >= 0)
            ::close(m_fd); // releases the lock
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

bool isPredefined(HKEY k) {
    return k >= 0x80000000u && k <= 0x80000006u;
}

} // namespace

// ====================================================================== RegistryStore

struct RegistryStore::Impl {
    fs::path file;
    fs::path lockFile;
    mutable std::mutex mutex;

    Hive cache;
    Stamp cacheStamp;
    bool cacheLoaded = false;
    Stamp reportedStamp; // the malformed file state already reported
    bool reported = false;

    struct Handle {
        std::string path;
        uint32_t access;
    };
    std::map<HKEY, Handle> handles;
    HKEY nextHandle = 0x1000;
    std::string lastError;

    enum class Load { Ok, Malformed, Unreadable };

    Load load(Hive& out, Stamp& stamp, std::string& why) {
        std::string bytes;
        int err = 0;
        out = Hive{};
        switch (readWhole(file, bytes, stamp, err)) {
        case ReadResult::Missing:
            return Load::Ok;
        case ReadResult::Failed:
            why = std::strerror(err);
            reportOnce(stamp, "cannot be read (" + why + "); it is read as empty");
            return Load::Unreadable;
        case ReadResult::Ok:
            break;
        }
        Parsed p = parseRegText(bytes, true);
        if (!p.ok()) {
            why = p.error;
            reportOnce(stamp, "cannot be parsed (" + p.error + "); it is read as empty and left as it is");
            return Load::Malformed;
        }
        applyAll(out, p.ops);
        return Load::Ok;
    }

    void reportOnce(const Stamp& stamp, const std::string& what) {
        if (reported && reportedStamp == stamp)
            return;
        reported = true;
        reportedStamp = stamp;
        std::cerr << "levora: registry " << file.string() << " " << what << std::endl;
    }

    // The hive as the file holds it now (re-read when another process replaced it).
    Hive& current() {
        struct stat st {};
        Stamp now = ::stat(file.c_str(), &st) == 0 ? stampOf(st) : Stamp{};
        if (cacheLoaded && now == cacheStamp)
            return cache;
        std::string why;
        Stamp read;
        if (load(cache, read, why) != Load::Ok)
            cache = Hive{};
        cacheStamp = read;
        cacheLoaded = true;
        return cache;
    }

    // One change under the lock: re-read, apply, replace the file. `change` returns a Windows
    // error code; anything but success writes nothing.
    long modify(const std::function<long(Hive&)>& change) {
        std::error_code ec;
        if (file.has_parent_path())
            fs::create_directories(file.parent_path(), ec);
        FileLock lock(lockFile);
        if (!lock.held()) {
            lastError = "cannot lock " + lockFile.string() + ": " + std::strerror(errno);
            return ERROR_ACCESS_DENIED;
        }
        Hive h;
        Stamp stamp;
        std::string why;
        switch (load(h, stamp, why)) {
        case Load::Ok:
            break;
        case Load::Malformed:
            lastError = file.string() + " cannot be parsed (" + why + "); it is left unchanged";
            return ERROR_BADDB;
        case Load::Unreadable:
            lastError = "cannot read " + file.string() + ": " + why;
            return ERROR_ACCESS_DENIED;
        }
        long rc = change(h);
        if (rc != ERROR_SUCCESS)
            return rc;
        if (!replaceFile(file, serialize(h), lastError))
            return ERROR_WRITE_FAULT;
        struct stat st {};
        if (::stat(file.c_str(), &st) == 0) {
            cache = std::move(h);
            cacheStamp = stampOf(st);
            cacheLoaded = true;
        } else {
            cacheLoaded = false;
        }
        lastError.clear();
        return ERROR_SUCCESS;
    }

    // The key a handle stands for; empty when the handle is unknown.
    bool resolve(HKEY key, std::string& path, uint32_t& access) const {
        if (key == HKEY_LOCAL_MACHINE || key == HKEY_CLASSES_ROOT) {
            path = key == HKEY_LOCAL_MACHINE ? kMachine : kClasses;
            access = ~0u;
            return true;
        }
        auto it = handles.find(key);
        if (it == handles.end())
            return false;
        path = it->second.path;
        access = it->second.access;
        return true;
    }

    // The path of an open key that was opened with `right`; otherwise the error the call returns.
    long openedWith(HKEY key, uint32_t right, std::string& path) const {
        uint32_t access = 0;
        if (!resolve(key, path, access))
            return ERROR_INVALID_HANDLE;
        return (access & right) ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
    }

    // Normalizes an administration path; false (with lastError) for a root the store does not keep.
    bool adminPath(const std::string& full, std::string& path) {
        Root r = normalizeKey(full, path);
        if (r == Root::Machine)
            return true;
        lastError = r == Root::Invalid ? "not a valid key name: " + full
                                       : "only HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT are kept here: " + full;
        return false;
    }
};

RegistryStore::RegistryStore(fs::path systemReg) : m_impl(std::make_unique<Impl>()) {
    m_impl->file = std::move(systemReg);
    m_impl->lockFile = m_impl->file;
    m_impl->lockFile += ".lock";
}

RegistryStore::~RegistryStore() = default;

long RegistryStore::RegOpenKeyExA(HKEY root, const std::string& subKey, uint32_t, uint32_t samDesired, HKEY* result) {
    if (!result)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(m_impl->mutex);
    std::string base;
    uint32_t access = 0;
    if (isPredefined(root) && root != HKEY_LOCAL_MACHINE && root != HKEY_CLASSES_ROOT)
        return ERROR_FILE_NOT_FOUND; // only the machine's keys are kept
    if (!m_impl->resolve(root, base, access))
        return ERROR_INVALID_HANDLE;
    std::string path = base;
    if (!subKey.empty()) {
        if (subKey[0] == '\\')
            return ERROR_BAD_PATHNAME;
        std::string rest = subKey;
        if (rest.back() == '\\')
            rest.pop_back(); // "Software\Quillon\" opens "Software\Quillon"
        if (rest.empty() || rest.find("\\\\") != std::string::npos)
            return ERROR_BAD_PATHNAME;
        path += '\\' + rest;
    }
    Hive& h = m_impl->current();
    bool isClassesRoot = path == kClasses && root == HKEY_CLASSES_ROOT;
    if (!h.exists(path) && !isClassesRoot)
        return ERROR_FILE_NOT_FOUND;
    HKEY k = m_impl->nextHandle;
    m_impl->nextHandle += 4;
    m_impl->handles[k] = {path, samDesired};
    *result = k;
    return ERROR_SUCCESS;
}

long RegistryStore::RegQueryValueExA(HKEY key, const std::string& valueName, uint32_t* type, uint8_t* data,
                                     uint32_t* cbData) {
    if (data && !cbData)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (long rc = m_impl->openedWith(key, KEY_QUERY_VALUE, path); rc != ERROR_SUCCESS)
        return rc;
    KeyData* k = m_impl->current().find(path);
    if (!k && path != kMachine && path != kClasses)
        return ERROR_KEY_DELETED; // deleted by another process since it was opened
    Val* v = k ? k->find(valueName) : nullptr;
    if (!v)
        return ERROR_FILE_NOT_FOUND;
    std::vector<uint8_t> bytes = v->data;
    if (isUtf16Type(v->type)) {
        std::string s = utf16leToUtf8(bytes.data(), bytes.size());
        bytes.assign(s.begin(), s.end());
    }
    if (type)
        *type = v->type;
    if (!cbData)
        return ERROR_SUCCESS;
    uint32_t size = static_cast<uint32_t>(bytes.size());
    if (data && *cbData < size) {
        *cbData = size;
        return ERROR_MORE_DATA;
    }
    if (data && size)
        std::memcpy(data, bytes.data(), size);
    *cbData = size;
    return ERROR_SUCCESS;
}

long RegistryStore::RegSetValueExA(HKEY key, const std::string& valueName, uint32_t type, const uint8_t* data,
                                   uint32_t cbData) {
    if (!data && cbData)
        return ERROR_INVALID_PARAMETER;
    if (valueName.find_first_of("\r\n") != std::string::npos)
        return ERROR_INVALID_PARAMETER;
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (long rc = m_impl->openedWith(key, KEY_SET_VALUE, path); rc != ERROR_SUCCESS)
        return rc;
    Val v{valueName, type, std::vector<uint8_t>(data, data + cbData)};
    if (isUtf16Type(type))
        v.data = utf8ToUtf16le(v.data.data(), v.data.size(), BadUtf8::Latin1);
    return m_impl->modify([&](Hive& h) -> long {
        if (!h.exists(path))
            return ERROR_KEY_DELETED; // removed since it was opened: never re-created by a set
        h.set(path, std::move(v));
        return ERROR_SUCCESS;
    });
}

long RegistryStore::RegCloseKey(HKEY key) {
    if (isPredefined(key))
        return ERROR_SUCCESS;
    std::lock_guard g(m_impl->mutex);
    return m_impl->handles.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

bool RegistryStore::createKey(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    return m_impl->modify([&](Hive& h) -> long {
        h.ensure(path);
        return ERROR_SUCCESS;
    }) == ERROR_SUCCESS;
}

bool RegistryStore::deleteKey(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    if (path.find('\\') == std::string::npos) {
        m_impl->lastError = "a root key cannot be deleted";
        return false;
    }
    return m_impl->modify([&](Hive& h) -> long {
        if (!h.erase(path)) {
            m_impl->lastError = "the key does not exist: " + path;
            return ERROR_FILE_NOT_FOUND;
        }
        return ERROR_SUCCESS;
    }) == ERROR_SUCCESS;
}

bool RegistryStore::setValue(const std::string& fullKey, const std::string& name, uint32_t type,
                             const std::vector<uint8_t>& data) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    if (name.find_first_of("\r\n") != std::string::npos) {
        m_impl->lastError = "a value name cannot contain a line break";
        return false;
    }
    Val v{name, type, data};
    if (isUtf16Type(type))
        v.data = utf8ToUtf16le(data.data(), data.size(), BadUtf8::Latin1);
    return m_impl->modify([&](Hive& h) -> long {
        h.set(path, std::move(v));
        return ERROR_SUCCESS;
    }) == ERROR_SUCCESS;
}

bool RegistryStore::deleteValue(const std::string& fullKey, const std::string& name) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    return m_impl->modify([&](Hive& h) -> long {
        KeyData* k = h.find(path);
        Val* v = k ? k->find(name) : nullptr;
        if (!v) {
            m_impl->lastError = k ? "the value does not exist: " + (name.empty() ? "(Default)" : name)
                                  : "the key does not exist: " + path;
            return ERROR_FILE_NOT_FOUND;
        }
        apply(h, Op{Op::DeleteValue, path, Root::Machine, Val{name, REG_NONE, {}}});
        return ERROR_SUCCESS;
    }) == ERROR_SUCCESS;
}

bool RegistryStore::importFile(const fs::path& regFile, std::string* error) {
    std::lock_guard g(m_impl->mutex);
    auto failWith = [&](const std::string& why) {
        m_impl->lastError = why;
        if (error)
            *error = why;
        return false;
    };
    std::string bytes;
    Stamp stamp;
    int err = 0;
    if (readWhole(regFile, bytes, stamp, err) != ReadResult::Ok)
        return failWith("cannot read " + regFile.string() + ": " + std::strerror(err));
    Parsed p = parseRegText(bytes, false);
    if (!p.ok())
        return failWith(regFile.string() + ": " + p.error);
    for (const auto& op : p.ops)
        if (op.root != Root::Machine)
            return failWith(regFile.string() + ": only HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT can be imported (" +
                            op.key + ")");
    long rc = m_impl->modify([&](Hive& h) -> long {
        applyAll(h, p.ops);
        return ERROR_SUCCESS;
    });
    if (rc != ERROR_SUCCESS)
        return failWith(m_impl->lastError);
    return true;
}

bool RegistryStore::exportKey(const std::string& fullKey, const fs::path& regFile) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (!m_impl->adminPath(fullKey, path))
        return false;
    Hive& h = m_impl->current();
    if (!h.find(path) && path != kMachine) {
        m_impl->lastError = "the key does not exist: " + path;
        return false;
    }
    if (!replaceFile(regFile, serialize(h, path), m_impl->lastError))
        return false;
    m_impl->lastError.clear();
    return true;
}

bool RegistryStore::keyExists(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::string path;
    if (normalizeKey(fullKey, path) == Root::Invalid)
        return false;
    return m_impl->current().exists(path);
}

std::vector<std::string> RegistryStore::subKeys(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::vector<std::string> out;
    std::string path;
    if (normalizeKey(fullKey, path) == Root::Invalid)
        return out;
    std::string below = foldKey(path) + '\x01';
    const Hive& h = m_impl->current();
    for (auto it = h.keys.lower_bound(below); it != h.keys.end(); ++it) {
        if (it->first.compare(0, below.size(), below) != 0)
            break;
        if (it->first.find('\x01', below.size()) == std::string::npos)
            out.push_back(path + '\\' + it->second.path.substr(it->second.path.rfind('\\') + 1));
    }
    return out;
}

std::vector<RegistryStore::ValueEntry> RegistryStore::values(const std::string& fullKey) {
    std::lock_guard g(m_impl->mutex);
    std::vector<ValueEntry> out;
    std::string path;
    if (normalizeKey(fullKey, path) == Root::Invalid)
        return out;
    KeyData* k = m_impl->current().find(path);
    if (!k)
        return out;
    for (const auto& v : k->values) {
        ValueEntry e{v.name, v.type, v.data};
        if (isUtf16Type(v.type)) {
            std::string s = utf16leToUtf8(v.data.data(), v.data.size());
            e.data.assign(s.begin(), s.end());
        }
        out.push_back(std::move(e));
    }
    return out;
}

std::string RegistryStore::lastError() const {
    std::lock_guard g(m_impl->mutex);
    return m_impl->lastError;
}

} // namespace levora
