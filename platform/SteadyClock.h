// The monotonic clock that pauses measure elapsed time on.
#pragma once

#include "Ui.h"

namespace levora {

class SteadyClock : public IClock {
public:
    double Now() override;
};

} // namespace levora
