#include "HostCommands.h"

#include "platform/Prefix.h"
#include "platform/RegistryStore.h"
#include "platform/ReplaceFile.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <random>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace levora::host {

namespace {

const std::string kLock = std::string("\\") + kLockFolder;
const std::string kHolder = kLock + "\\holder";
// The host's own keys: the release (new layout) and everything of Quillon (roots, AGC defaults).
const char* const kReleaseKey = "HKLM\\SOFTWARE\\Orvane Systems\\Orvane Talvio";
const char* const kQuillonKey = "HKLM\\SOFTWARE\\Quillon";
const char* const kAgcShortKey = "HKLM\\SOFTWARE\\Quillon\\Mevra\\1.0\\Initialization";

std::map<std::string, std::string> keyValues(const std::string& text) {
    std::map<std::string, std::string> m;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (auto eq = line.find('='); eq != std::string::npos && eq > 0 && line.find(' ') > eq)
            m[line.substr(0, eq)] = line.substr(eq + 1);
    return m;
}

bool isMissing(const std::string& status) {
    return status == "NT_STATUS_NO_SUCH_FILE" || status == "NT_STATUS_OBJECT_NAME_NOT_FOUND" ||
           status == "NT_STATUS_OBJECT_PATH_NOT_FOUND";
}

std::string randomToken() {
    std::random_device rd;
    std::ostringstream s;
    s << std::hex << rd() << rd();
    return s.str();
}

void fresh(const fs::path& dir) {
    fs::remove_all(dir);
    fs::create_directories(dir);
}

} // namespace

std::int64_t HostCommands::clock() const {
    if (now)
        return now();
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// ------------------------------------------------------------------ the host lock

std::optional<HostCommands::Holder> HostCommands::readHolder(HostShare& host) {
    // "-": to our output, so reading the lock needs no local file.
    const HostShare::Reply r = host.smb("get " + smbQuote(kHolder) + " -");
    if (!r.status.empty())
        return isMissing(r.status) ? std::nullopt : std::optional<Holder>(Holder{"(unreadable)", "", ""});
    auto m = keyValues(r.output);
    Holder h{m["holder"], m["since"], m["token"]};
    if (!h.since.empty())
        h.since = timeText(std::stoll(h.since));
    return h;
}

std::string HostCommands::takeLock(HostShare& host, const fs::path& work) {
    const std::string unc = host.address().unc();
    HostShare::Reply r = host.smb("mkdir " + smbQuote(kLock));
    if (r.status == "NT_STATUS_OBJECT_NAME_COLLISION") {
        const auto h = readHolder(host);
        const std::string who =
            h && !h->name.empty() ? h->name + " since " + h->since : "a workstation that is taking it right now";
        throw Error(kHostLocked, unc + " is attached by " + who +
                                     ". Detach there first; if that workstation is gone, " +
                                     "break the lock with: levora-host break-lock " + unc + " -A AUTHFILE");
    }
    if (!r.status.empty())
        throw Error(kTransferFailed, "cannot take the lock of " + unc + ": " + explainStatus(r.status));
    const std::string token = randomToken();
    const fs::path local = work / "holder.new";
    writeFileAtomically(local, "holder=" + holder + "\nsince=" + std::to_string(clock()) + "\ntoken=" + token + "\n");
    r = host.smb("put " + smbQuote(local.string()) + " " + smbQuote(kHolder));
    if (!r.status.empty()) {
        host.smb("rmdir " + smbQuote(kLock));
        throw Error(kTransferFailed, "cannot take the lock of " + unc + ": " + explainStatus(r.status));
    }
    return token;
}

void HostCommands::releaseLock(HostShare& host, const std::string& token) {
    const auto h = readHolder(host);
    if (!h || h->token != token)
        throw Error(kLockLost, "the lock of " + host.address().unc() + " is no longer ours" +
                                   (h ? " (held by " + h->name + " since " + h->since + ")" : ""));
    const HostShare::Reply r = host.smb("del " + smbQuote(kHolder) + "; rmdir " + smbQuote(kLock));
    if (!r.status.empty())
        throw Error(kTransferFailed,
                    "cannot release the lock of " + host.address().unc() + ": " + explainStatus(r.status));
}

int HostCommands::breakLock(const HostAddress& address) {
    HostShare host(m_runner, address);
    const auto h = readHolder(host);
    const HostShare::Reply r = host.smb("del " + smbQuote(kHolder) + "; rmdir " + smbQuote(kLock));
    if (!h && isMissing(r.status)) {
        m_out << address.unc() << " is not locked.\n";
        return 0;
    }
    if (!r.status.empty() && !isMissing(r.status))
        throw Error(kTransferFailed, "cannot break the lock of " + address.unc() + ": " + explainStatus(r.status));
    m_out << "Broke the lock of " << address.unc() << " held by " << (h ? h->name + " since " + h->since : "nobody")
          << ". That workstation's prefix cannot detach any more: attach again.\n";
    return 0;
}

// ------------------------------------------------------------------ attach

void HostCommands::fetchKeys(HostShare& host, const fs::path& work, const std::string& unc) {
    RegistryStore store(work / "system.reg");
    int fetched = 0;
    for (const char* key : {kQuillonKey, kReleaseKey}) {
        const fs::path file = work / (std::to_string(fetched) + ".reg");
        if (!host.exportKey(key, file)) {
            if (key == kQuillonKey)
                throw Error(kKeysRefused, unc + " has no " + key + ": is Talvio installed there?");
            continue;
        }
        std::string why;
        if (!store.importFile(file, &why))
            throw Error(kKeysRefused, "the export of " + std::string(key) + " from " + unc +
                                          " is damaged; nothing was imported (" + why + ")");
        ++fetched;
    }
    store.setValue(std::string("HKEY_LOCAL_MACHINE\\") + kAttachedHostKey, kAttachedHostValue, REG_SZ,
                   std::vector<uint8_t>(unc.begin(), unc.end() + 1));
}

std::string HostCommands::hostRoot(const fs::path& systemReg, const std::string& share) {
    RegistryStore store(systemReg);
    std::string root;
    for (const auto& v : store.values("HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantor\\1.0"))
        if (v.name == "Root Path" && v.type == REG_SZ)
            root.assign(v.data.begin(), std::find(v.data.begin(), v.data.end(), '\0'));
    // "C:\Talvio\" on the share C$: "Talvio"
    if (root.size() < 4 || root[1] != ':' || root[2] != '\\' ||
        std::toupper(static_cast<unsigned char>(root[0])) != std::toupper(static_cast<unsigned char>(share[0])))
        throw Error(kKeysRefused, "the host's \"Root Path\" (" + root + ") does not lie on the share " + share);
    root = root.substr(3);
    while (!root.empty() && root.back() == '\\')
        root.pop_back();
    for (char& c : root)
        if (c == '\\')
            c = '/';
    return root;
}

int HostCommands::attach(const HostAddress& address, const fs::path& prefix, bool prompts, const std::string& resync) {
    if (auto a = Attachment::load(prefix); a && a->attached())
        throw Error(kPrefixState, prefix.string() + " is attached to " + a->get("unc") + " since " +
                                      timeText(std::stoll(a->get("since"))) + ": detach it first");
    HostShare host(m_runner, address);
    const MachinePrefix machine(prefix);
    const fs::path work = Attachment::folder(prefix) / "pull";
    fresh(work);
    const std::string token = takeLock(host, work);
    try {
        fetchKeys(host, work, address.unc());
        const std::string root = hostRoot(work / "system.reg", address.share);
        std::vector<std::string> folders{root + "/Stream Files", root + "/Localize/DefaultConfiguration"};
        if (prompts)
            folders.push_back(root + "/Localize/Prompts");
        const HostShare::Reply r = host.tar(work / "pull.tar", folders);
        if (!r.status.empty() && !isMissing(r.status))
            throw Error(kTransferFailed, "cannot fetch the files of " + address.unc() + ": " + explainStatus(r.status));
        fs::create_directories(work / "c");
        const ProgramResult x = m_runner.run({"tar", "-xf", "pull.tar", "-C", "c"}, work);
        if (x.status != 0)
            throw Error(kTransferFailed, "cannot unpack the files of " + address.unc() + ": " + x.output);
        Manifest manifest;
        for (const std::string& f : folders)
            manifest.merge(describeTree(work / "c", f));
        if (describeTree(work / "c", folders[0]).empty())
            throw Error(kTransferFailed, address.unc() + " has no files in " + folders[0]);

        // Into the prefix: a file the prefix holds with the same content stays as it is (with its
        // time, so a nightly --changed-only run still knows it); files gone from the host go here too.
        const fs::path driveC = machine.driveC();
        for (const std::string& f : folders)
            for (const auto& [path, e] : describeTree(driveC, f))
                if (!manifest.count(path))
                    fs::remove(driveC / path);
        for (const auto& [path, e] : manifest) {
            const auto mine = describeFile(driveC / path);
            if (mine && mine->hash == e.hash && mine->size == e.size)
                continue;
            fs::create_directories((driveC / path).parent_path());
            fs::rename(work / "c" / path, driveC / path);
        }
        fs::rename(work / "system.reg", machine.systemReg());
        RegistryStore(machine.systemReg()).exportKey(kAgcFullKey, Attachment::folder(prefix) / "agc-attached.reg");

        Attachment a;
        a.manifest = std::move(manifest);
        a.fields = {{"server", address.server},
                    {"share", address.share},
                    {"unc", address.unc()},
                    {"auth", fs::absolute(address.authFile).string()},
                    {"since", std::to_string(clock())},
                    {"holder", holder},
                    {"token", token},
                    {"resync", resync}};
        a.save(prefix);
        m_out << "Attached " << address.unc() << " to " << prefix.string() << ": " << a.manifest.size()
              << " files and the host's keys. Level them, then: levora-host detach --prefix " << prefix.string()
              << "\n";
    } catch (...) {
        try {
            releaseLock(host, token);
        } catch (const std::exception& e) {
            m_out << "levora-host: " << e.what() << "\n";
        }
        fs::remove_all(work);
        throw;
    }
    fs::remove_all(work);
    return 0;
}

// ------------------------------------------------------------------ detach

std::string HostCommands::replaceOnHost(HostShare& host, const fs::path& local, const std::string& target,
                                        const std::string& token) {
    const std::string temp = target.substr(0, target.rfind('\\') + 1) + ".levora-push-" + token.substr(0, 8);
    std::string status;
    for (int attempt = 1; attempt <= triesInUse; ++attempt) {
        // Two calls: smbclient goes on after a failed command, and a half-sent file must never be renamed.
        status = host.smb("put " + smbQuote(local.string()) + " " + smbQuote(temp)).status;
        if (status.empty())
            status = host.smb("rename " + smbQuote(temp) + " " + smbQuote(target) + " -f").status;
        if (status.empty())
            return {};
        host.smb("del " + smbQuote(temp));
        if (status != "NT_STATUS_SHARING_VIOLATION" && status != "NT_STATUS_ACCESS_DENIED")
            break;
        if (attempt < triesInUse && retryPause)
            retryPause();
    }
    return status;
}

bool HostCommands::pushAgc(HostShare& host, const fs::path& prefix, const fs::path& work) {
    RegistryStore mine(MachinePrefix(prefix).systemReg());
    if (!mine.exportKey(kAgcFullKey, work / "agc.reg"))
        throw Error(kKeysRefused, "cannot read the AGC defaults of " + prefix.string() + ": " + mine.lastError());
    if (readText(work / "agc.reg") == readText(Attachment::folder(prefix) / "agc-attached.reg"))
        return false;
    host.importKeys(work / "agc.reg");
    fs::create_directories(work / "back");
    if (!host.exportKey(kAgcShortKey, work / "back.reg"))
        throw Error(kAgcMismatch, "the AGC defaults are missing on the host after writing them");
    RegistryStore back(work / "back" / "system.reg");
    std::string why;
    if (!back.importFile(work / "back.reg", &why))
        throw Error(kAgcMismatch, "the AGC defaults read back from the host are damaged: " + why);
    for (const auto& v : mine.values(kAgcFullKey)) {
        bool same = false;
        for (const auto& w : back.values(kAgcFullKey))
            same = same || (w.name == v.name && w.type == v.type && w.data == v.data);
        if (!same)
            throw Error(kAgcMismatch,
                        "the host's AGC default \"" + v.name + "\" differs from this prefix's after writing it");
    }
    // What the host has now: a detach run again does not write them twice.
    writeFileAtomically(Attachment::folder(prefix) / "agc-attached.reg", readText(work / "agc.reg"));
    return true;
}

std::string HostCommands::resynchronise(const std::string& command, const std::string& server) {
    if (command.empty())
        return "(warning) levora-host: no host command is configured: the host must resynchronise its database "
               "with its directory now.";
    const ProgramResult r = m_runner.run({"/bin/sh", "-c", command, "levora-host-resync", server});
    if (r.status == 0)
        return "levora-host: the host command ran: the host resynchronises its database with its directory.";
    return "(error) levora-host: the host command failed (exit status " + std::to_string(r.status) +
           "): the host must resynchronise its database with its directory now.";
}

int HostCommands::detach(const fs::path& prefix, const std::optional<std::string>& resync) {
    std::optional<Attachment> loaded = Attachment::load(prefix);
    if (!loaded)
        throw Error(kPrefixState, prefix.string() + " was not made by levora-host attach");
    Attachment& a = *loaded;
    if (!a.attached()) {
        m_out << prefix.string() << " is not attached (detached from " << a.get("unc") << " at "
              << timeText(std::stoll(a.get("detached"))) << "): nothing to do.\n";
        return 0;
    }
    HostShare host(m_runner, {a.get("server"), a.get("share"), a.get("auth")});
    const std::string unc = a.get("unc");
    const std::string token = a.get("token");
    const fs::path work = Attachment::folder(prefix) / "push";
    const fs::path driveC = MachinePrefix(prefix).driveC();
    fresh(work);
    if (const auto h = readHolder(host); !h || h->token != token)
        throw Error(kLockLost, "the lock of " + unc + " is no longer ours" +
                                   (h ? " (held by " + h->name + " since " + h->since + ")" : "") +
                                   "; nothing was pushed. Attach again and level again.");

    // What the runs changed, and whether the host still has what was pulled.
    std::vector<std::string> changed;
    std::vector<std::string> conflicts, failed, inUse, pushed;
    for (const auto& [path, e] : a.manifest)
        if (const auto d = describeFile(driveC / path); d && d->hash != e.hash) {
            if (path.find_first_of("\";") == std::string::npos)
                changed.push_back(path);
            else
                failed.push_back(path + " (its name holds \" or ;, which smbclient cannot be given)");
        }
    std::string gets;
    for (size_t i = 0; i < changed.size(); ++i)
        gets += "get " + smbQuote(sharePath(changed[i])) + " " + smbQuote("check" + std::to_string(i)) + "; ";
    if (!gets.empty())
        host.smb(gets, work);

    for (size_t i = 0; i < changed.size(); ++i) {
        const std::string& path = changed[i];
        const auto there = describeFile(work / ("check" + std::to_string(i)));
        if (!there || there->hash != a.manifest[path].hash) {
            conflicts.push_back(path);
            continue;
        }
        const auto d = describeFile(driveC / path);
        const std::string status = replaceOnHost(host, driveC / path, sharePath(path), token);
        if (!status.empty()) {
            (status == "NT_STATUS_SHARING_VIOLATION" ? inUse : failed)
                .push_back(path + " (" + explainStatus(status) + ")");
            continue;
        }
        // The host's time becomes the local one, so the next attach sees the file as unchanged.
        host.smb("utimes " + smbQuote(sharePath(path)) + " -1 -1 " + smbTimeText(d->hostTime) + " -1");
        a.manifest[path] = *d;
        a.save(prefix);
        pushed.push_back(path);
    }

    const bool agc = pushAgc(host, prefix, work);

    m_out << "Pushed " << pushed.size() << " changed file" << (pushed.size() == 1 ? "" : "s") << " to " << unc
          << (agc ? "; wrote the AGC defaults and read them back (they match)" : "") << ".\n";
    for (const std::string& s : conflicts)
        m_out << "Skipped " << s << ": it changed on the host since attach; the host's copy stays.\n";
    for (const std::string& s : failed)
        m_out << "Skipped " << s << "\n";
    for (const std::string& s : inUse)
        m_out << "Not pushed, in use on the host: " << s << "\n";
    if (!inUse.empty()) {
        m_out << "The host stays locked: run levora-host detach again to push what is left.\n";
        return kExitSkipped;
    }

    // Once per attachment: a detach run again after a failure further on does not ask twice.
    if (a.get("resynced").empty()) {
        a.fields["resynced"] = resynchronise(resync ? *resync : a.get("resync"), a.get("server"));
        a.save(prefix);
    }
    const std::string resyncLine = a.get("resynced");
    m_out << resyncLine << "\n";

    // The run log goes to the host's C:\Levora.log with what detach did.
    if (const fs::path log = driveC / "Levora.log"; fs::exists(log)) {
        std::string text = readText(log);
        const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
        text += "levora-host: detached " + unc + " at " + timeText(clock()) + ": " + std::to_string(pushed.size()) +
                " files pushed, " + std::to_string(conflicts.size() + failed.size()) + " skipped" + eol;
        for (const std::string& s : conflicts)
            text += "(warning) levora-host: skipped " + s + ": changed on the host since attach" + eol;
        for (const std::string& s : failed)
            text += "(error) levora-host: skipped " + s + eol;
        text += resyncLine + eol;
        writeFileAtomically(work / "Levora.log", text);
        if (const std::string status = replaceOnHost(host, work / "Levora.log", "\\Levora.log", token); !status.empty())
            throw Error(kTransferFailed, "cannot write C:\\Levora.log on " + unc + ": " + explainStatus(status));
    }

    releaseLock(host, token);
    a.fields["detached"] = std::to_string(clock());
    a.save(prefix);
    fs::remove_all(work);
    m_out << "Released the lock of " << unc << ".\n";
    return conflicts.empty() && failed.empty() ? 0 : kExitSkipped;
}

// ------------------------------------------------------------------ status

int HostCommands::status(const fs::path& prefix) {
    const std::optional<Attachment> a = Attachment::load(prefix);
    if (!a) {
        m_out << prefix.string() << " is not attached to a host.\n";
        return 0;
    }
    if (!a->attached()) {
        m_out << prefix.string() << " was detached from " << a->get("unc") << " at "
              << timeText(std::stoll(a->get("detached"))) << ".\n";
        return 0;
    }
    const fs::path driveC = MachinePrefix(prefix).driveC();
    std::vector<std::string> pending;
    for (const auto& [path, e] : a->manifest)
        if (const auto d = describeFile(driveC / path); d && d->hash != e.hash)
            pending.push_back(path);
    m_out << "Attached to " << a->get("unc") << " since " << timeText(std::stoll(a->get("since"))) << " (lock held as "
          << a->get("holder") << "); " << a->manifest.size() << " files pulled.\n";
    const fs::path agcNow = Attachment::folder(prefix) / "agc-status.reg";
    RegistryStore(MachinePrefix(prefix).systemReg()).exportKey(kAgcFullKey, agcNow);
    const bool agc = readText(agcNow) != readText(Attachment::folder(prefix) / "agc-attached.reg");
    fs::remove(agcNow);
    m_out << "Pending for detach: " << pending.size() << " changed file" << (pending.size() == 1 ? "" : "s")
          << (agc ? " and the AGC defaults" : "") << ".\n";
    for (const std::string& p : pending)
        m_out << "  " << p << "\n";
    return 0;
}

} // namespace levora::host
