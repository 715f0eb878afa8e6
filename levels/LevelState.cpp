#include "levels/LevelState.h"

#include "platform/Error.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <vector>

namespace levora {

namespace {

constexpr std::string_view kHeader = "levora-state\t2";
constexpr std::string_view kFirstHeader = "levora-state\t1"; // the same lines, ended by "end\t<count>"
constexpr std::string_view kForgotten = "-";

// Texts are kept on one line each: the characters that would break a line or a field are %-escaped.
std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '%' || c == '\t' || c == '\n' || c == '\r') {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", static_cast<unsigned char>(c));
            out += buf;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> unescape(std::string_view s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') {
            out += s[i];
            continue;
        }
        unsigned v = 0;
        if (i + 2 >= s.size() || std::from_chars(s.data() + i + 1, s.data() + i + 3, v, 16).ptr != s.data() + i + 3)
            return std::nullopt;
        out += static_cast<char>(v);
        i += 2;
    }
    return out;
}

template <class T> bool parseNumber(std::string_view s, T& v, int base = 10) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::vector<std::string_view> split(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos)
            return fields;
        line.remove_prefix(tab + 1);
    }
}

} // namespace

std::optional<FileStamp> statFile(IFileSystem& fs, const std::string& path) {
    try {
        FileStamp s;
        s.size = fs.ReadHead(path, 0).size; // also refuses what is not a regular file
        const auto written = std::chrono::file_clock::to_sys(fs.LastWriteTime(path));
        s.mtimeNs = std::chrono::duration_cast<std::chrono::nanoseconds>(written.time_since_epoch()).count();
        return s;
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::optional<std::uint64_t> hashFile(IFileSystem& fs, const std::string& path) {
    FileHead head;
    try {
        head = fs.ReadHead(path, LevelState::kMaxHashedBytes);
    } catch (const Error&) {
        return std::nullopt;
    }
    if (head.bytes.size() != head.size)
        return std::nullopt; // larger than the bound, or changed while it was read
    return contentHash({reinterpret_cast<const char*>(head.bytes.data()), head.bytes.size()});
}

std::uint64_t contentHash(std::string_view bytes) {
    std::uint64_t h = 0xcbf29ce484222325ull; // FNV-1a
    for (const char c : bytes) {
        h ^= static_cast<std::uint8_t>(c);
        h *= 0x100000001b3ull;
    }
    return h;
}

LevelState LevelState::parse(std::string_view text) {
    LevelState state;
    if (text.empty())
        return state; // missing: nothing recorded yet
    const size_t eol = text.find('\n');
    const std::string_view header = text.substr(0, eol);
    if (eol == std::string_view::npos || (header != kHeader && header != kFirstHeader)) {
        state.m_damaged = true;
        return state;
    }
    text.remove_prefix(eol + 1);
    // Only whole lines: a last line without its line end was cut by a killed run.
    for (size_t end; (end = text.find('\n')) != std::string_view::npos; text.remove_prefix(end + 1)) {
        const std::vector<std::string_view> f = split(text.substr(0, end));
        if (f.size() == 2 && f[0] == "end") {
            continue; // the first form's end line
        }
        if (f.size() == 2 && f[0] == kForgotten) {
            if (const std::optional<std::string> key = unescape(f[1]); key && !key->empty()) {
                state.m_entries.erase(*key);
                continue;
            }
        }
        Entry e;
        const std::optional<std::string> options = f.size() == 5 ? unescape(f[3]) : std::nullopt;
        const std::optional<std::string> key = f.size() == 5 ? unescape(f[4]) : std::nullopt;
        if (!options || !key || key->empty() || !parseNumber(f[0], e.stamp.size) ||
            !parseNumber(f[1], e.stamp.mtimeNs) || f[2].size() != 16 || !parseNumber(f[2], e.stamp.hash, 16)) {
            state.m_damaged = true;
            continue;
        }
        e.options = *options;
        state.m_entries[*key] = std::move(e);
    }
    return state;
}

bool LevelState::unchanged(IFileSystem& fs, const std::string& key, const std::string& path,
                           const std::string& options) const {
    const auto it = m_entries.find(key);
    if (it == m_entries.end() || it->second.options != options)
        return false;
    const std::optional<FileStamp> now = statFile(fs, path);
    if (!now || now->size != it->second.stamp.size || now->mtimeNs != it->second.stamp.mtimeNs)
        return false;
    const std::optional<std::uint64_t> hash = hashFile(fs, path);
    return hash && *hash == it->second.stamp.hash;
}

bool LevelState::record(IFileSystem& fs, const std::string& key, const std::string& path, const std::string& options) {
    std::optional<FileStamp> stamp = statFile(fs, path);
    const std::optional<std::uint64_t> hash = stamp ? hashFile(fs, path) : std::nullopt;
    if (!stamp || !hash) {
        m_entries.erase(key);
        return false;
    }
    stamp->hash = *hash;
    m_entries[key] = Entry{*stamp, options};
    return true;
}

std::string LevelState::line(const std::string& key) const {
    const auto it = m_entries.find(key);
    if (it == m_entries.end())
        return std::string(kForgotten) + '\t' + escape(key) + '\n';
    const Entry& e = it->second;
    char stamp[80];
    std::snprintf(stamp, sizeof stamp, "%llu\t%lld\t%016llx\t", static_cast<unsigned long long>(e.stamp.size),
                  static_cast<long long>(e.stamp.mtimeNs), static_cast<unsigned long long>(e.stamp.hash));
    return stamp + escape(e.options) + '\t' + escape(key) + '\n';
}

std::string LevelState::text() const {
    std::string out(kHeader);
    out += '\n';
    for (const auto& entry : m_entries)
        out += line(entry.first);
    return out;
}

} // namespace levora
