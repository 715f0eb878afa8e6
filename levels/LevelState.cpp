#include "levels/LevelState.h"

#include "platform/ReplaceFile.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace levora {

namespace {

constexpr const char* kHeader = "levora-state\t1";

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

std::optional<std::string> unescape(const std::string& s) {
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

template <class T> bool parseNumber(const std::string& s, T& v, int base = 10) {
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, base);
    return !s.empty() && r.ec == std::errc() && r.ptr == s.data() + s.size();
}

std::vector<std::string> split(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

} // namespace

std::optional<FileStamp> statFile(const fs::path& hostPath) {
    struct stat st {};
    if (::stat(hostPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    FileStamp s;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return s;
}

std::optional<std::uint64_t> hashFile(const fs::path& hostPath) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::uint64_t h = 0xcbf29ce484222325ull;
    std::vector<unsigned char> buf(1 << 16);
    for (;;) {
        const ssize_t n = ::read(fd, buf.data(), buf.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return std::nullopt;
        }
        for (ssize_t i = 0; i < n; ++i) {
            h ^= buf[static_cast<size_t>(i)];
            h *= 0x100000001b3ull;
        }
    }
    ::close(fd);
    return h;
}

LevelState LevelState::load(const fs::path& file) {
    LevelState state;
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return state; // missing: nothing recorded yet
    auto damaged = [] {
        LevelState d;
        d.m_damaged = true;
        return d;
    };
    std::string line;
    if (!std::getline(in, line) || line != kHeader)
        return damaged();
    bool ended = false;
    while (std::getline(in, line)) {
        if (ended)
            return damaged(); // nothing may follow the end line
        const std::vector<std::string> f = split(line);
        if (f.size() == 2 && f[0] == "end") {
            std::size_t count = 0;
            if (!parseNumber(f[1], count) || count != state.m_entries.size())
                return damaged();
            ended = true;
            continue;
        }
        Entry e;
        const std::optional<std::string> options = f.size() == 5 ? unescape(f[3]) : std::nullopt;
        const std::optional<std::string> key = f.size() == 5 ? unescape(f[4]) : std::nullopt;
        if (!options || !key || key->empty() || !parseNumber(f[0], e.stamp.size) ||
            !parseNumber(f[1], e.stamp.mtimeNs) || f[2].size() != 16 || !parseNumber(f[2], e.stamp.hash, 16))
            return damaged();
        e.options = *options;
        if (!state.m_entries.emplace(*key, std::move(e)).second)
            return damaged();
    }
    // A record cut short (no end line) is not trusted either.
    return ended ? state : damaged();
}

bool LevelState::unchanged(const std::string& key, const fs::path& hostPath, const std::string& options) const {
    const auto it = m_entries.find(key);
    if (it == m_entries.end() || it->second.options != options)
        return false;
    const std::optional<FileStamp> now = statFile(hostPath);
    if (!now || now->size != it->second.stamp.size || now->mtimeNs != it->second.stamp.mtimeNs)
        return false;
    const std::optional<std::uint64_t> hash = hashFile(hostPath);
    return hash && *hash == it->second.stamp.hash;
}

bool LevelState::record(const std::string& key, const fs::path& hostPath, const std::string& options) {
    std::optional<FileStamp> stamp = statFile(hostPath);
    const std::optional<std::uint64_t> hash = stamp ? hashFile(hostPath) : std::nullopt;
    if (!stamp || !hash) {
        m_entries.erase(key);
        return false;
    }
    stamp->hash = *hash;
    m_entries[key] = Entry{*stamp, options};
    return true;
}

std::string LevelState::text() const {
    std::ostringstream out;
    out << kHeader << '\n';
    for (const auto& [key, e] : m_entries) {
        char hash[20];
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(e.stamp.hash));
        out << e.stamp.size << '\t' << e.stamp.mtimeNs << '\t' << hash << '\t' << escape(e.options) << '\t'
            << escape(key) << '\n';
    }
    out << "end\t" << m_entries.size() << '\n';
    return out.str();
}

void LevelState::save(const fs::path& file) const {
    writeFileAtomically(file, text());
}

} // namespace levora
