// A Talvio host seen through smbclient (its drive share) and net (its registry over winreg). Both
// programs report failures in their output (smbclient -c even exits 0): each call reads the output
// and turns an NT_STATUS_ or WERR_ code into a numbered failure in plain words.
#pragma once

#include "platform/Error.h"
#include "platform/ProgramRunner.h"

#include <filesystem>
#include <string>
#include <vector>

namespace levora::host {

// Failure numbers of levora-host (docs/errors.md).
constexpr int32_t kHostUnreachable = 1130; // connection, logon or share refused
constexpr int32_t kHostLocked = 1131;      // another workstation holds the host lock
constexpr int32_t kKeysRefused = 1132;     // the keys could not be fetched or their export is damaged
constexpr int32_t kTransferFailed = 1133;  // a file could not be fetched or pushed
constexpr int32_t kPrefixState = 1134;     // the prefix is not attached, or attached already
constexpr int32_t kAgcMismatch = 1135;     // the AGC defaults read back from the host differ
constexpr int32_t kLockLost = 1136;        // the host lock is no longer ours
constexpr int32_t kUnsafeName = 1138;      // a name smbclient cannot be given in a command

struct HostAddress {
    std::string server; // name or address, without the leading slashes
    std::string share = "C$";
    std::filesystem::path authFile; // smbclient's format: "username =", "password =", optionally "domain ="
    std::string unc() const { return "//" + server + "/" + share; }
};

// The first "NT_STATUS_..." or "WERR_..." code in a program's output, empty when there is none.
std::string statusIn(const std::string& output);
// What a status code means to an administrator.
std::string explainStatus(const std::string& status);

class HostShare {
public:
    HostShare(IProgramRunner& runner, HostAddress address) : m_runner(runner), m_address(std::move(address)) {}
    const HostAddress& address() const { return m_address; }

    struct Reply {
        std::string status; // empty: every command went through
        std::string output;
    };
    // Runs smbclient commands (separated by ";"). A refused connection, logon or share throws
    // kHostUnreachable; a command that failed shows in status.
    Reply smb(const std::string& commands, const std::filesystem::path& folder = {});
    // Pulls folders of the share (forward slashes) into a tar file with their times.
    Reply tar(const std::filesystem::path& tarFile, const std::vector<std::string>& folders);
    // The key exported over winreg into file. False when the host has no such key; throws
    // kKeysRefused for any other failure.
    bool exportKey(const std::string& key, const std::filesystem::path& file);
    // Writes a .reg file into the host's registry; throws kKeysRefused.
    void importKeys(const std::filesystem::path& file);

private:
    ProgramResult runChecked(std::vector<std::string> argv, const std::filesystem::path& folder);

    IProgramRunner& m_runner;
    HostAddress m_address;
};

// A share path or local path quoted for an smbclient command; throws kUnsafeName when it holds a
// character smbclient would split the command at.
std::string smbQuote(const std::string& path);
// "\Talvio\Stream Files\x.wav" for "Talvio/Stream Files/x.wav".
std::string sharePath(const std::string& relative);

} // namespace levora::host
