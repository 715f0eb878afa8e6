// The host's synchronisation component as an automation server: one JSON request per line in,
// one answer per line out.
//   {"method":"SyncCommit","args":[null,null,1,0,0]}
//   -> {"hresult":0,"args":[rows,"summary",1,0,0],"result":0}
//   -> {"hresult":-2147467261,"description":"..."}   (E_POINTER: did not complete, try again)
#pragma once

#include "GreetingDatabase.h"

#include <cstdint>
#include <functional>
#include <string>

namespace levora::demohost {

namespace hresult {
constexpr int32_t S_OK_ = 0;
constexpr int32_t E_POINTER_ = static_cast<int32_t>(0x80004003);
constexpr int32_t E_FAIL_ = static_cast<int32_t>(0x80004005);
constexpr int32_t E_INVALIDARG_ = static_cast<int32_t>(0x80070057);
constexpr int32_t DISP_E_UNKNOWNNAME_ = static_cast<int32_t>(0x80020006);
constexpr int32_t DISP_E_BADPARAMCOUNT_ = static_cast<int32_t>(0x8002000E);
} // namespace hresult

// Test behaviours, taken from the server's command line.
struct BridgeFaults {
    int failCount = 0; // the first failCount calls fail with failHresult
    int32_t failHresult = hresult::E_POINTER_;
    int crashAfterCalls = -1; // answer this many calls, die in the middle of the next
    bool hang = false;        // never answer
};

class BridgeServer {
public:
    using SyncFunction = std::function<SyncOutcome()>;
    BridgeServer(SyncFunction sync, BridgeFaults faults) : m_sync(std::move(sync)), m_faults(faults) {}

    enum class Action { Answer, Crash, Hang };
    struct Reply {
        Action action = Action::Answer;
        std::string line; // the answer, without the line end
    };
    // One request line to what the server does with it.
    Reply handle(const std::string& requestLine);

    int calls() const { return m_calls; }

private:
    SyncFunction m_sync;
    BridgeFaults m_faults;
    int m_calls = 0;
};

} // namespace levora::demohost
