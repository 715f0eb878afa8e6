#include "Attachment.h"

#include "HostShare.h"
#include "levels/LevelState.h"
#include "platform/Error.h"
#include "platform/HostFile.h"
#include "platform/ReplaceFile.h"

#include <ctime>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace levora::host {

namespace {
constexpr const char* kStateFile = "attachment";
constexpr const char* kManifestFile = "manifest.tsv";
} // namespace

std::string readText(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::optional<Attachment> Attachment::load(const fs::path& prefix) {
    const fs::path dir = folder(prefix);
    if (!fs::exists(dir / kStateFile))
        return std::nullopt;
    Attachment a;
    std::istringstream state(readText(dir / kStateFile));
    for (std::string line; std::getline(state, line);) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            a.fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    std::istringstream list(readText(dir / kManifestFile));
    for (std::string line; std::getline(list, line);) {
        std::istringstream row(line);
        std::string hash, size, time, path;
        if (!std::getline(row, hash, '\t') || !std::getline(row, size, '\t') || !std::getline(row, time, '\t') ||
            !std::getline(row, path) || path.empty())
            throw Error(kPrefixState, "the manifest in " + (dir / kManifestFile).string() + " is damaged");
        try {
            a.manifest[path] = {std::stoull(size), std::stoll(time), std::stoull(hash, nullptr, 16)};
        } catch (const std::exception&) {
            throw Error(kPrefixState, "the manifest in " + (dir / kManifestFile).string() + " is damaged");
        }
    }
    if (a.get("server").empty())
        throw Error(kPrefixState, "the attachment in " + dir.string() + " is damaged");
    return a;
}

void Attachment::save(const fs::path& prefix) const {
    const fs::path dir = folder(prefix);
    fs::create_directories(dir);
    std::ostringstream list;
    for (const auto& [path, e] : manifest) {
        char hash[17];
        std::snprintf(hash, sizeof hash, "%016llx", static_cast<unsigned long long>(e.hash));
        list << hash << '\t' << e.size << '\t' << e.hostTime << '\t' << path << '\n';
    }
    writeFileAtomically(dir / kManifestFile, list.str());
    std::ostringstream state;
    for (const auto& [k, v] : fields)
        state << k << '=' << v << '\n';
    writeFileAtomically(dir / kStateFile, state.str());
}

std::optional<ManifestEntry> describeFile(const fs::path& file) {
    try {
        const FileStat stat = statHostFile(file);
        if (!stat.regular)
            return std::nullopt;
        const std::string bytes = readHostFile(file, LevelState::kMaxHashedBytes);
        return ManifestEntry{bytes.size(), stat.writeTimeNs / 1000000000, contentHash(bytes)};
    } catch (const Error&) {
        return std::nullopt;
    }
}

Manifest describeTree(const fs::path& root, const std::string& folder) {
    Manifest m;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(root / folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        if (!it->is_regular_file())
            continue;
        if (auto e = describeFile(it->path()))
            m[fs::relative(it->path(), root).generic_string()] = *e;
    }
    return m;
}

namespace {
std::string formatUtc(std::int64_t seconds, const char* format) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    char buf[64];
    std::strftime(buf, sizeof buf, format, &tm);
    return buf;
}
} // namespace

std::string timeText(std::int64_t seconds) {
    return formatUtc(seconds, "%Y-%m-%d %H:%M:%S UTC");
}
std::string smbTimeText(std::int64_t seconds) {
    return formatUtc(seconds, "%Y:%m:%d-%H:%M:%S");
}

} // namespace levora::host
