#include "mdlPriority.h"

namespace levora {

bool bSetProcessPriority(IProcesses& processes, uint32_t priorityClass) {
    try {
        return processes.SetPriorityClass(processes.CurrentProcessId(), priorityClass);
    } catch (...) {
        return false;
    }
}

} // namespace levora
