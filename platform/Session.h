#pragma once

#include <string>

namespace levora {

constexpr int SM_REMOTESESSION = 0x1000;

class ISession {
public:
    virtual ~ISession() = default;
    virtual int GetSystemMetrics(int index) = 0;
};

// This machine's network name ("?" when the system will not say), for lock holders and logs.
std::string ThisMachineName();

} // namespace levora
