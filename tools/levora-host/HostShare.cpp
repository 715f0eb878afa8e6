#include "HostShare.h"

#include <array>
#include <regex>
#include <utility>

namespace levora::host {

namespace {

// Codes that mean the host as a whole was not reached: nothing after them can have run.
bool isConnectionStatus(const std::string& s) {
    static const std::array<const char*, 12> codes = {
        "NT_STATUS_LOGON_FAILURE",       "NT_STATUS_BAD_NETWORK_NAME",        "NT_STATUS_HOST_UNREACHABLE",
        "NT_STATUS_NETWORK_UNREACHABLE", "NT_STATUS_CONNECTION_REFUSED",      "NT_STATUS_IO_TIMEOUT",
        "NT_STATUS_ACCOUNT_DISABLED",    "NT_STATUS_ACCOUNT_LOCKED_OUT",      "NT_STATUS_PASSWORD_EXPIRED",
        "NT_STATUS_CONNECTION_RESET",    "NT_STATUS_CONNECTION_DISCONNECTED", "NT_STATUS_NO_LOGON_SERVERS"};
    for (const char* c : codes)
        if (s == c)
            return true;
    return false;
}

bool isMissingKey(const std::string& s) {
    return s == "NT_STATUS_NO_SUCH_DEVICE" || s == "NT_STATUS_OBJECT_NAME_NOT_FOUND" || s == "WERR_BADFILE" ||
           s == "WERR_FILE_NOT_FOUND";
}

std::string lastLines(const std::string& output) {
    std::string t = output;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r'))
        t.pop_back();
    if (t.size() > 400)
        t = "..." + t.substr(t.size() - 400);
    return t;
}

} // namespace

std::string statusIn(const std::string& output) {
    static const std::regex code(R"((NT_STATUS_[A-Z0-9_]+|WERR_[A-Z0-9_]+))");
    std::smatch m;
    return std::regex_search(output, m, code) ? m.str(1) : std::string();
}

std::string explainStatus(const std::string& s) {
    static const std::array<std::pair<const char*, const char*>, 16> words = {{
        {"NT_STATUS_LOGON_FAILURE", "the host refused the user name or password of the auth file"},
        {"NT_STATUS_BAD_NETWORK_NAME", "the host has no such share"},
        {"NT_STATUS_HOST_UNREACHABLE", "the host cannot be reached"},
        {"NT_STATUS_NETWORK_UNREACHABLE", "the host's network cannot be reached"},
        {"NT_STATUS_CONNECTION_REFUSED", "the host refuses connections (is file sharing on?)"},
        {"NT_STATUS_IO_TIMEOUT", "the host did not answer in time"},
        {"NT_STATUS_ACCESS_DENIED", "the host denied access (the user needs administrator rights)"},
        {"NT_STATUS_OBJECT_NAME_NOT_FOUND", "no such file on the host"},
        {"NT_STATUS_OBJECT_PATH_NOT_FOUND", "no such folder on the host"},
        {"NT_STATUS_NO_SUCH_FILE", "no such file or folder on the host"},
        {"NT_STATUS_OBJECT_NAME_COLLISION", "the name exists already on the host"},
        {"NT_STATUS_SHARING_VIOLATION", "the file is in use on the host"},
        {"NT_STATUS_DISK_FULL", "the host's disk is full"},
        {"NT_STATUS_NO_SUCH_DEVICE", "the host has no such registry key"},
        {"WERR_ACCESS_DENIED", "the host denied access to its registry"},
        {"NT_STATUS_ACCOUNT_LOCKED_OUT", "the host's account is locked out"},
    }};
    for (const auto& [code, text] : words)
        if (s == code)
            return text + std::string(" (") + s + ")";
    return "the host answered " + s;
}

std::string smbQuote(const std::string& path) {
    if (path.find_first_of("\";\n\r") != std::string::npos)
        throw Error(kUnsafeName, "the name " + path + " holds a character smbclient cannot be given (\" or ;)");
    return "\"" + path + "\"";
}

std::string sharePath(const std::string& relative) {
    std::string p = "\\" + relative;
    for (char& c : p)
        if (c == '/')
            c = '\\';
    return p;
}

ProgramResult HostShare::runChecked(std::vector<std::string> argv, const std::filesystem::path& folder) {
    ProgramResult r = m_runner.run(argv, folder);
    const std::string status = statusIn(r.output);
    if (r.timedOut)
        throw Error(kHostUnreachable, argv[0] + " did not finish talking to " + m_address.unc() + " in time");
    if (r.status < 0)
        throw Error(kHostUnreachable, "cannot start " + lastLines(r.output) + " (scripts/bootstrap installs it)");
    if (isConnectionStatus(status) || (status.empty() && r.status != 0 && argv[0] == "smbclient"))
        throw Error(kHostUnreachable, "cannot use " + m_address.unc() + ": " +
                                          (status.empty() ? lastLines(r.output) : explainStatus(status)));
    return r;
}

HostShare::Reply HostShare::smb(const std::string& commands, const std::filesystem::path& folder) {
    ProgramResult r =
        runChecked({"smbclient", m_address.unc(), "-A", m_address.authFile.string(), "-c", commands}, folder);
    return {statusIn(r.output), r.output};
}

HostShare::Reply HostShare::tar(const std::filesystem::path& tarFile, const std::vector<std::string>& folders) {
    std::vector<std::string> argv{"smbclient", m_address.unc(), "-A", m_address.authFile.string(),
                                  "-Tc",       tarFile.string()};
    argv.insert(argv.end(), folders.begin(), folders.end());
    ProgramResult r = runChecked(argv, tarFile.parent_path());
    return {statusIn(r.output), r.output};
}

bool HostShare::exportKey(const std::string& key, const std::filesystem::path& file) {
    ProgramResult r = runChecked({"net", "rpc", "registry", "export", key, file.string(), "-S", m_address.server, "-A",
                                  m_address.authFile.string()},
                                 {});
    const std::string status = statusIn(r.output);
    if (r.status == 0 && status.empty())
        return true;
    if (isMissingKey(status))
        return false;
    throw Error(kKeysRefused, "cannot fetch " + key + " from " + m_address.server + ": " +
                                  (status.empty() ? lastLines(r.output) : explainStatus(status)));
}

void HostShare::importKeys(const std::filesystem::path& file) {
    ProgramResult r = runChecked(
        {"net", "rpc", "registry", "import", file.string(), "-S", m_address.server, "-A", m_address.authFile.string()},
        {});
    const std::string status = statusIn(r.output);
    if (r.status != 0 || !status.empty())
        throw Error(kKeysRefused, "cannot write the AGC defaults to " + m_address.server + ": " +
                                      (status.empty() ? lastLines(r.output) : explainStatus(status)));
}

} // namespace levora::host
