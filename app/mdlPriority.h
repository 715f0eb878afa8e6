// mdlPriority: the priority class of Levora's own process.
#pragma once

#include "platform/Process.h"

#include <cstdint>

namespace levora {

// True when the class was set (start-up lowers itself to BELOW_NORMAL_PRIORITY_CLASS).
bool bSetProcessPriority(IProcesses& processes, uint32_t priorityClass);

} // namespace levora
