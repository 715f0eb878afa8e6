// Automation objects served by local programs: the ProgID names a CLSID in HKEY_CLASSES_ROOT, whose
// LocalServer32 command line is started with pipes on its standard input and output. Each call is
// one JSON line each way:
//   -> {"method":"SyncCommit","args":[null,null,1,0,0]}
//   <- {"hresult":0,"args":[...],"result":...}   or   {"hresult":-2147467259,"description":"..."}
// Releasing the object closes the server's input; the server is then expected to exit.
#pragma once

#include "Automation.h"
#include "Registry.h"
#include "WinPath.h"

#include <cstdint>
#include <string>

namespace levora {

class LinuxAutomation : public IAutomation {
public:
    // programFolder: the running program's folder as a Windows path, where a bare server name is
    // looked for first.
    LinuxAutomation(IRegistry& registry, const PathNamespace& ns, std::string programFolder);

    // Throws 429 when the ProgID or its class is not registered or the server cannot be started.
    std::shared_ptr<IDispatchObject> CreateObject(const std::string& progId) override;

    // A call that is not answered within this bound kills the server; the object is dead from then
    // on (every call fails at once with RPC_E_DISCONNECTED). Default 10 minutes.
    void setCallTimeoutMs(uint32_t ms) { m_callTimeoutMs = ms; }
    uint32_t callTimeoutMs() const { return m_callTimeoutMs; }
    // How long a released server may take to exit after its input is closed before it is killed.
    void setExitGraceMs(uint32_t ms) { m_exitGraceMs = ms; }

    static constexpr uint32_t kDefaultCallTimeoutMs = 10 * 60 * 1000;

    // The LocalServer32 command line registered for a ProgID; empty when any link is missing.
    std::string serverCommandLine(const std::string& progId);

private:
    std::string defaultValue(const std::string& subKey);

    IRegistry& m_registry;
    const PathNamespace& m_ns;
    std::string m_programFolder;
    uint32_t m_callTimeoutMs = kDefaultCallTimeoutMs;
    uint32_t m_exitGraceMs = 5000;
};

} // namespace levora
