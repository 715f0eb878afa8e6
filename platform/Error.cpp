#include "Error.h"

#include <cerrno>
#include <filesystem>
#include <new>
#include <system_error>

namespace levora {

std::string standardDescription(int32_t number) {
    switch (number) {
    case 5:
        return "Invalid procedure call or argument";
    case 6:
        return "Overflow";
    case 7:
        return "Out of memory";
    case 9:
        return "Subscript out of range";
    case 11:
        return "Division by zero";
    case 13:
        return "Type mismatch";
    case 52:
        return "Bad file name or number";
    case 53:
        return "File not found";
    case 55:
        return "File already open";
    case 57:
        return "Device I/O error";
    case 58:
        return "File already exists";
    case 61:
        return "Disk full";
    case 70:
        return "Permission denied";
    case 75:
        return "Path/File access error";
    case 76:
        return "Path not found";
    case 91:
        return "Object variable or With block variable not set";
    case 429:
        return "ActiveX component can't create object";
    case 1001:
        return "Unsupported value type";
    case err::ToolFailed:
        return "The gain tool reported a failure";
    case err::ToolTimedOut:
        return "The gain tool did not finish in time and was stopped";
    case err::TempNotWritten:
        return "The gain tool wrote no levelled file";
    case err::UnsafePath:
        return "The path contains a character that cannot be passed on a command line";
    case err::StaleTempFile:
        return "A leftover temporary file could not be deleted";
    case err::CaseClash:
        return "Two entries differ only in letter case";
    case err::NoRootPath:
        return "The host's installation folder is not set in the registry";
    case err::ToolOutputRefused:
        return "The levelled file is not a complete WAV file in the original's format";
    case err::NotRegularFile:
        return "Not a regular file";
    case err::FileTooLarge:
        return "The file is too large to read";
    case err::NetworkDrive:
        return "The drive lies on a network or FUSE file system";
    case err::ToolTimeoutsInARow:
        return "The gain tool ran out of time on three files in a row: the run stopped leveling";
    case err::ToolNotRunnable:
        return "The gain tool is there but cannot be run";
    case err::RPC_E_DISCONNECTED_:
        return "The object invoked has disconnected from its clients.";
    case err::E_FAIL_:
        return "Unspecified error";
    case err::E_POINTER_:
        return "Invalid pointer";
    default:
        return {};
    }
}

Error::Error(int32_t number, std::string description)
    : std::runtime_error(description), m_number(number), m_description(std::move(description)) {}

Error::Error(int32_t number) : Error(number, standardDescription(number)) {}

void raiseError(int32_t number, std::string description) {
    if (description.empty())
        throw Error(number);
    throw Error(number, std::move(description));
}

static int32_t numberForErrno(int e) {
    switch (e) {
    case ENOENT:
        return err::FileNotFound;
    case ENOTDIR:
        return err::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return err::PermissionDenied;
    case EEXIST:
        return err::FileExists;
    case ENOSPC:
        return 61;
    case EIO:
        return 57;
    default:
        return err::PathFileAccess;
    }
}

Error toError(std::exception_ptr ep) {
    try {
        std::rethrow_exception(ep);
    } catch (const Error& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return Error(7);
    } catch (const std::filesystem::filesystem_error& e) {
        return Error(numberForErrno(e.code().value()));
    } catch (const std::system_error& e) {
        return Error(numberForErrno(e.code().value()));
    } catch (const std::exception& e) {
        return Error(err::InvalidCall, e.what());
    } catch (...) {
        return Error(err::InvalidCall);
    }
}

std::string formatProcedureError(const Error& e, const std::string& procedure, const std::string& kind,
                                 const std::string& owner) {
    return "(error):" + std::to_string(e.number()) + " (" + e.description() + ") in procedure " + procedure + " of " +
           kind + " " + owner;
}

} // namespace levora
