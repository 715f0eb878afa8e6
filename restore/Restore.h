// Copying a backup back over the host's live greetings and voice names (File menu, mnuRestore).
#pragma once

#include "leveling/RunContext.h"

namespace levora {

// Shown when the host's "Root Path" is not set: without it the copies would land relative to the
// process's current folder.
constexpr const char* kRestoreNoRootText =
    "The Talvio installation folder (\"Root Path\" under HKEY_LOCAL_MACHINE\\SOFTWARE\\Quillon\\Vantor\\1.0) is "
    "not set in the registry.  Nothing was restored.";
// String ID of the restore's own completion text.
constexpr int32_t kRestoreDoneStringId = 55;

class GreetingRestore {
public:
    explicit GreetingRestore(RunContext& ctx) : m_ctx(ctx) {}

    void mnuRestore_Click();

private:
    RunContext& m_ctx;
};

} // namespace levora
