// Session facts on Linux: is the desktop itself remote?
#pragma once

#include "Session.h"

#include <functional>
#include <optional>
#include <string>

namespace levora {

class LinuxSession : public ISession {
public:
    // Looks up an environment variable; nullopt when it is not set.
    using EnvLookup = std::function<std::optional<std::string>(const std::string&)>;
    static std::optional<std::string> processEnvironment(const std::string& name);

    explicit LinuxSession(EnvLookup env = processEnvironment) : m_env(std::move(env)) {}

    // SM_REMOTESESSION: non-zero in an xrdp session or on an X display of another host
    // ("host:N", SSH's forwarded "localhost:10" included). Other metrics: 0.
    int GetSystemMetrics(int index) override;

    // True for a DISPLAY value that names a host ("host:N.S", "host::N"); ":0", "unix:0" and
    // socket paths are local.
    static bool isRemoteDisplay(const std::string& display);

private:
    EnvLookup m_env;
};

} // namespace levora
