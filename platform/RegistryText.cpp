#include "RegistryText.h"

#include "Text.h"
#include "Utf16.h"
#include "WinPath.h"

#include <cstdio>
#include <cstring>

namespace levora {

namespace {

const char* const kHeader5 = "Windows Registry Editor Version 5.00";
const char* const kHeader4 = "REGEDIT4";
const char* const kMachine = "HKEY_LOCAL_MACHINE";
const char* const kClasses = "HKEY_LOCAL_MACHINE\\Software\\Classes";

bool isUtf16Type(uint32_t type) {
    return type == REG_EXPAND_SZ || type == 7 /* REG_MULTI_SZ */;
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

// Levels below the root: "HKLM\a\b\" has two.
size_t keyDepth(std::string_view full) {
    if (!full.empty() && full.back() == '\\')
        full.remove_suffix(1);
    size_t depth = 0;
    for (char c : full)
        depth += c == '\\';
    return depth;
}

// Parses the quoted text starting at s[pos] == '"'. Escapes: \\ and \"; any other backslash is kept.
bool parseQuoted(std::string_view s, size_t& pos, std::string& out) {
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

// The reading of one file: its lines, where we are, and the first error.
class Loader {
public:
    Loader(std::string_view text, const std::string& fileName, bool utf16) : m_utf16(utf16) {
        m_out.error.file = fileName;
        size_t start = 0;
        for (;;) {
            size_t nl = text.find('\n', start);
            std::string_view line =
                text.substr(start, nl == std::string_view::npos ? std::string_view::npos : nl - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            m_lines.push_back(line);
            if (nl == std::string_view::npos)
                break;
            start = nl + 1;
        }
    }

    RegText run(bool complete) {
        if (!loadHeader())
            return std::move(m_out);
        if (!complete)
            return fail(m_lines.size() - 1, "the last line has no line break: the file was cut off");
        for (m_i = 1; m_i < m_lines.size(); ++m_i) {
            std::string_view line = trimView(m_lines[m_i]);
            if (line.empty() || line[0] == ';')
                continue;
            bool ok = line[0] == '['                     ? loadKey(line)
                      : line[0] == '"' || line[0] == '@' ? loadValue(line)
                                                         : failed("neither a key nor a value: " + excerpt(line));
            if (!ok)
                return std::move(m_out);
        }
        return std::move(m_out);
    }

private:
    RegText fail(size_t index, const std::string& what) {
        m_i = index;
        failed(what);
        return std::move(m_out);
    }
    bool failed(const std::string& what) {
        m_out.error.line = m_i + 1;
        m_out.error.what = what;
        m_out.ops.clear();
        return false;
    }

    bool loadHeader() {
        std::string_view first = trimView(m_lines[0]);
        m_i = 0;
        if (first == kHeader5)
            m_v5 = true;
        else if (first != kHeader4)
            return failed("not a registry file (expected \"" + std::string(kHeader5) + "\" or \"" + kHeader4 + "\")");
        if (m_utf16 && !m_v5)
            return failed("a REGEDIT4 file cannot be UTF-16");
        return true;
    }

    // [KEY] starts a key's values; [-KEY] deletes the key and ignores the values that follow.
    bool loadKey(std::string_view line) {
        size_t close = line.rfind(']');
        if (close == std::string_view::npos || close == 0)
            return failed("a key line must end with ']'");
        std::string inner(line.substr(1, close - 1));
        bool del = !inner.empty() && inner[0] == '-';
        if (del)
            inner.erase(0, 1);
        if (keyDepth(inner) > kMaxKeyDepth)
            return failed("the key is more than " + std::to_string(kMaxKeyDepth) + " levels deep");
        std::string path;
        Root root = normalizeKey(inner, path);
        if (root == Root::Invalid)
            return failed("not a valid key name: " + excerpt(inner));
        m_current = path;
        m_currentRoot = root;
        m_inKey = !del;
        m_inDeleted = del;
        m_out.ops.push_back(RegOp{del ? RegOp::DeleteKey : RegOp::Key, std::move(path), root, {}});
        return true;
    }

    // "name"=DATA or @=DATA.
    bool loadValue(std::string_view line) {
        if (!m_inKey && !m_inDeleted)
            return failed("a value before the first key");
        RegValue v;
        size_t pos = 0;
        if (line[0] == '@')
            pos = 1;
        else if (!parseQuoted(line, pos, v.name))
            return failed("the value name has no closing quote");
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size() || line[pos] != '=')
            return failed("'=' expected after the value name");
        std::string_view rest = trimView(line.substr(pos + 1));
        RegOp op{RegOp::Set, m_current, m_currentRoot, {}};
        if (rest == "-") {
            op.kind = RegOp::DeleteValue;
        } else if (!rest.empty() && rest[0] == '"') {
            size_t q = 0;
            std::string s;
            if (!parseQuoted(rest, q, s) || !trimView(rest.substr(q)).empty())
                return failed("the text value is not closed by a quote");
            v.type = REG_SZ;
            v.data.assign(s.begin(), s.end());
            v.data.push_back(0);
        } else if (startsWithNoCase(rest, "dword:")) {
            if (!parseDword(trimView(rest.substr(6)), v.data))
                return failed("dword: needs one to eight hexadecimal digits");
            v.type = REG_DWORD;
        } else if (startsWithNoCase(rest, "hex")) {
            if (!parseHex(rest, v))
                return false;
        } else {
            return failed("unknown value data: " + excerpt(rest));
        }
        if (m_inDeleted)
            return true;
        op.val = std::move(v);
        m_out.ops.push_back(std::move(op));
        return true;
    }

    static bool parseDword(std::string_view digits, std::vector<uint8_t>& out) {
        if (digits.empty() || digits.size() > 8)
            return false;
        uint32_t d = 0;
        for (char c : digits) {
            if (hexDigit(c) < 0)
                return false;
            d = d * 16 + static_cast<uint32_t>(hexDigit(c));
        }
        for (int k = 0; k < 4; ++k)
            out.push_back(static_cast<uint8_t>(d >> (8 * k)));
        return true;
    }

    // hex:LIST or hex(n):LIST, the list going on over the next lines while a line ends in '\'.
    bool parseHex(std::string_view rest, RegValue& v) {
        size_t colon = rest.find(':');
        if (colon == std::string_view::npos)
            return failed("':' expected after hex");
        std::string_view tag = rest.substr(3, colon - 3);
        if (tag.empty()) {
            v.type = REG_BINARY;
        } else {
            if (tag.size() < 3 || tag.front() != '(' || tag.back() != ')' || tag.size() > 10)
                return failed("hex(n): expected");
            uint32_t t = 0;
            for (size_t k = 1; k + 1 < tag.size(); ++k) {
                if (hexDigit(tag[k]) < 0)
                    return failed("hex(n): expected");
                t = t * 16 + static_cast<uint32_t>(hexDigit(tag[k]));
            }
            v.type = t;
        }
        std::string_view part = trimView(rest.substr(colon + 1));
        for (;;) {
            bool more = !part.empty() && part.back() == '\\';
            if (more)
                part.remove_suffix(1);
            if (!appendHexBytes(part, v.data, more))
                return failed("not a list of hexadecimal bytes");
            if (!more)
                break;
            if (m_i + 1 >= m_lines.size() || trimView(m_lines[m_i + 1]).empty())
                return failed("the value is cut off: its continuation line is missing");
            part = trimView(m_lines[++m_i]);
        }
        // Text types in a version 5 file are UTF-16LE; the store keeps REG_SZ as the A calls see it
        // and the other text types as a version 5 file has them.
        if (m_v5 && v.type == REG_SZ) {
            std::string s = utf16leToUtf8(v.data.data(), v.data.size());
            v.data.assign(s.begin(), s.end());
        } else if (!m_v5 && isUtf16Type(v.type)) {
            v.data = utf8ToUtf16le(v.data.data(), v.data.size(), BadUtf8::Latin1);
        }
        return true;
    }

    // One line's piece of a byte list: "e6,ff, 00". A piece that goes on on the next line ends in
    // a comma (or is empty).
    static bool appendHexBytes(std::string_view s, std::vector<uint8_t>& out, bool goesOn) {
        if (goesOn && !trimView(s).empty() && trimView(s).back() != ',')
            return false;
        size_t i = 0;
        auto blanks = [&] {
            while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
                ++i;
        };
        blanks();
        while (i < s.size()) {
            int v = 0, digits = 0;
            while (i < s.size() && hexDigit(s[i]) >= 0 && digits < 2) {
                v = v * 16 + hexDigit(s[i]);
                ++i;
                ++digits;
            }
            if (digits == 0)
                return false;
            out.push_back(static_cast<uint8_t>(v));
            blanks();
            if (i < s.size()) {
                if (s[i] != ',')
                    return false;
                ++i;
                blanks();
            }
        }
        return true;
    }

    std::vector<std::string_view> m_lines;
    size_t m_i = 0;
    bool m_utf16;
    bool m_v5 = false;
    std::string m_current;
    Root m_currentRoot = Root::Machine;
    bool m_inKey = false;     // values go to m_current
    bool m_inDeleted = false; // values after [-KEY] are ignored, as regedit does
    RegText m_out;
};

void apply(RegHive& h, const RegOp& op) {
    switch (op.kind) {
    case RegOp::Key:
        h.ensure(op.key);
        break;
    case RegOp::DeleteKey:
        h.erase(op.key);
        break;
    case RegOp::Set:
        h.set(op.key, op.val);
        break;
    case RegOp::DeleteValue:
        if (RegKey* k = h.find(op.key))
            k->erase(op.val.name);
        break;
    }
}

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

void writeValue(std::string& out, const RegValue& v) {
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

} // namespace

Root normalizeKey(const std::string& full, std::string& out) {
    if (keyDepth(full) > kMaxKeyDepth)
        return Root::Invalid;
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

std::string RegTextError::message() const {
    return file + ", line " + std::to_string(line) + ": " + what;
}

std::string excerpt(std::string_view text) {
    constexpr size_t kMax = 40;
    std::string out;
    size_t n = std::min(text.size(), kMax);
    // Never end inside a UTF-8 sequence.
    while (n < text.size() && n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    for (char c : text.substr(0, n))
        out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    if (n < text.size())
        out += "...";
    return out;
}

RegText loadKeys(std::string_view bytes, const std::string& fileName, bool emptyIsValid) {
    std::string decoded;
    std::string_view text = bytes;
    bool utf16 = bytes.size() >= 2 && static_cast<uint8_t>(bytes[0]) == 0xFF && static_cast<uint8_t>(bytes[1]) == 0xFE;
    bool complete = true;
    if (utf16) {
        decoded = utf16leToUtf8(reinterpret_cast<const uint8_t*>(bytes.data()) + 2, bytes.size() - 2);
        text = decoded;
        complete = bytes.size() % 2 == 0; // an odd last byte is half a character
    } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        text = bytes.substr(3);
    }
    if (emptyIsValid && complete && trimView(text).empty())
        return {};
    // Every line that was written whole ends in a line break.
    complete = complete && !text.empty() && text.back() == '\n';
    return Loader(text, fileName, utf16).run(complete);
}

void applyAll(RegHive& h, const std::vector<RegOp>& ops) {
    // The values of a section go straight to its key, which is looked up once.
    RegKey* section = nullptr;
    const std::string* sectionKey = nullptr;
    for (const auto& op : ops) {
        if (op.kind == RegOp::Key) {
            section = &h.ensure(op.key);
            sectionKey = &op.key;
        } else if (op.kind == RegOp::DeleteKey) {
            section = nullptr; // its pointer may be gone
            apply(h, op);
        } else if (section && *sectionKey == op.key) {
            if (op.kind == RegOp::Set)
                section->set(op.val);
            else
                section->erase(op.val.name);
        } else {
            apply(h, op);
        }
    }
}

namespace {

std::string writeSections(const RegHive& h, const std::string& onlyKey, bool emptyAncestors) {
    std::string out = std::string(kHeader5) + "\r\n\r\n";
    h.forEach(
        [&](const std::string& path, const RegKey& k, bool isRoot) {
            if (isRoot && k.values().empty())
                return; // a root that carries nothing is not written: HKEY_LOCAL_MACHINE always exists
            if (!emptyAncestors && k.values().empty() && k.hasChildren())
                return;
            out += "[" + path + "]\r\n";
            for (const auto& v : k.values())
                writeValue(out, v);
            out += "\r\n";
        },
        onlyKey);
    return out;
}

} // namespace

std::string writeKeys(const RegHive& h, const std::string& onlyKey) {
    return writeSections(h, onlyKey, true);
}

std::string writeStoreKeys(const RegHive& h) {
    return writeSections(h, {}, false);
}

} // namespace levora
