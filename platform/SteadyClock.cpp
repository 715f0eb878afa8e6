#include "SteadyClock.h"

#include <chrono>

namespace levora {

double SteadyClock::Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

} // namespace levora
