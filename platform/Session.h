#pragma once

namespace levora {

constexpr int SM_REMOTESESSION = 0x1000;

class ISession {
public:
    virtual ~ISession() = default;
    virtual int GetSystemMetrics(int index) = 0;
};

} // namespace levora
