// Numbered failures, as the Windows runtime reports them, and the one
// "report and go on" helper that every procedure with an error trap uses.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>

namespace levora {

namespace err {
constexpr int32_t InvalidCall = 5;        // "Invalid procedure call or argument"
constexpr int32_t Overflow = 6;           // "Overflow"
constexpr int32_t TypeMismatch = 13;      // "Type mismatch"
constexpr int32_t FileNotFound = 53;      // "File not found"
constexpr int32_t FileExists = 58;        // "File already exists"
constexpr int32_t PermissionDenied = 70;  // "Permission denied"
constexpr int32_t PathFileAccess = 75;    // "Path/File access error"
constexpr int32_t PathNotFound = 76;      // "Path not found"
constexpr int32_t ObjectNotSet = 91;      // "Object variable or With block variable not set"
constexpr int32_t CantCreateObject = 429; // "ActiveX component can't create object"
constexpr int32_t UnsupportedValueType = 1001;
// Failures of our own, numbered in the application range (see docs/errors.md).
constexpr int32_t ToolFailed = 1101;        // the gain tool ended with a non-zero exit code
constexpr int32_t ToolTimedOut = 1102;      // the gain tool did not end in time and was killed
constexpr int32_t TempNotWritten = 1103;    // the gain tool wrote no new temporary file
constexpr int32_t UnsafePath = 1104;        // a path that cannot be quoted on a command line
constexpr int32_t StaleTempFile = 1105;     // a leftover temporary file could not be deleted
constexpr int32_t CaseClash = 1106;         // two entries differ only in letter case
constexpr int32_t NoRootPath = 1107;        // the host's "Root Path" is empty
constexpr int32_t RunLockFailed = 1108;     // the machine's run lock could not be tried
constexpr int32_t NoBackupFolder = 1109;    // the typed backup folder could not be made
constexpr int32_t ToolOutputRefused = 1110; // the tool's output is not a complete WAV in the file's format
constexpr int32_t BackupInsideHost = 1111;  // the backup folder is, holds or lies inside a host folder
constexpr int32_t SyncTimedOut = 1112;      // the synchronisation did not complete within its bound
constexpr int32_t NotRegularFile = 1120;    // a file to read is a FIFO, device or socket
constexpr int32_t FileTooLarge = 1121;      // a file to read is larger than its documented bound
constexpr int32_t NetworkDrive = 1122;      // a drive the run writes lies on a network or FUSE file system

// The leveling run's own.
constexpr int32_t ToolTimeoutsInARow = 1140; // the gain tool timed out on several files in a row: no more
constexpr int32_t ToolNotRunnable = 1141;    // the gain tool is there but cannot be run

// HRESULTs of automation calls
constexpr int32_t E_POINTER_ = static_cast<int32_t>(0x80004003);
constexpr int32_t E_FAIL_ = static_cast<int32_t>(0x80004005);
constexpr int32_t RPC_E_DISCONNECTED_ = static_cast<int32_t>(0x80010108);
} // namespace err

// The standard description of a runtime error number ("Overflow" for 6), empty if unknown.
std::string standardDescription(int32_t number);

class Error : public std::runtime_error {
public:
    Error(int32_t number, std::string description);
    explicit Error(int32_t number); // with the standard description
    int32_t number() const noexcept { return m_number; }
    const std::string& description() const noexcept { return m_description; }

private:
    int32_t m_number;
    std::string m_description;
};

[[noreturn]] void raiseError(int32_t number, std::string description = {});

// Turns whatever a step threw into a numbered Error (std::bad_alloc -> 7 "Out of memory",
// filesystem errors by their errno, anything else -> 5).
Error toError(std::exception_ptr ep);

// Runs the steps of a procedure under one error trap: a failing step is reported and the
// next step runs ("On Error Resume Next" with a reporter).
class StepRunner {
public:
    using Reporter = std::function<void(const Error&)>;
    explicit StepRunner(Reporter reporter) : m_reporter(std::move(reporter)) {}

    // Returns true when the step ran without failing.
    template <class F> bool step(F&& f) {
        try {
            f();
            return true;
        } catch (...) {
            report(toError(std::current_exception()));
            return false;
        }
    }
    void report(const Error& e) const {
        if (m_reporter)
            m_reporter(e);
    }

private:
    Reporter m_reporter;
};

// "(error):6 (Overflow) in procedure getVersion of Module TalvioVersion"
std::string formatProcedureError(const Error& e, const std::string& procedure, const std::string& kind,
                                 const std::string& owner);

} // namespace levora
