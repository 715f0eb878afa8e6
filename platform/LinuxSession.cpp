#include "LinuxSession.h"

#include <cstdlib>
#include <unistd.h>

namespace levora {

std::string ThisMachineName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "?";
    return name;
}

std::optional<std::string> LinuxSession::processEnvironment(const std::string& name) {
    if (const char* v = std::getenv(name.c_str()))
        return std::string(v);
    return std::nullopt;
}

bool LinuxSession::isRemoteDisplay(const std::string& display) {
    if (display.empty() || display.front() == '/')
        return false; // no display, or a local socket path
    size_t colon = display.rfind(':');
    if (colon == std::string::npos)
        return false;
    std::string host = display.substr(0, colon);
    if (!host.empty() && host.back() == ':') // DECnet "host::N"
        host.pop_back();
    return !host.empty() && host != "unix";
}

int LinuxSession::GetSystemMetrics(int index) {
    if (index != SM_REMOTESESSION)
        return 0;
    if (m_env("XRDP_SESSION"))
        return 1;
    if (auto display = m_env("DISPLAY"); display && isRemoteDisplay(*display))
        return 1;
    return 0;
}

} // namespace levora
