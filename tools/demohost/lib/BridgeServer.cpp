#include "BridgeServer.h"

#include "platform/WinPath.h"

#include <nlohmann/json.hpp>

namespace levora::demohost {
namespace {

using nlohmann::json;

std::string failure(int32_t hr, const std::string& description) {
    return json{{"hresult", hr}, {"description", description}}.dump();
}

} // namespace

BridgeServer::Reply BridgeServer::handle(const std::string& requestLine) {
    json request;
    try {
        request = json::parse(requestLine);
    } catch (const json::exception& e) {
        return {Action::Answer, failure(hresult::E_INVALIDARG_, std::string("malformed request: ") + e.what())};
    }
    if (!request.is_object() || !request.contains("method") || !request["method"].is_string())
        return {Action::Answer, failure(hresult::E_INVALIDARG_, "malformed request: no method name")};
    json args = request.value("args", json::array());
    if (!args.is_array())
        return {Action::Answer, failure(hresult::E_INVALIDARG_, "malformed request: args is not a list")};

    // Names are looked up as a dispatch interface does: without regard to case.
    if (!equalsNoCase(request["method"].get<std::string>(), "SyncCommit"))
        return {Action::Answer, failure(hresult::DISP_E_UNKNOWNNAME_, "Unknown name.")};

    if (args.size() != 5)
        return {Action::Answer, failure(hresult::DISP_E_BADPARAMCOUNT_, "Invalid number of parameters.")};

    ++m_calls;
    if (m_faults.hang)
        return {Action::Hang, {}};
    if (m_faults.crashAfterCalls >= 0 && m_calls > m_faults.crashAfterCalls)
        return {Action::Crash, R"({"hresult":)"};
    if (m_calls <= m_faults.failCount) {
        const std::string what = m_faults.failHresult == hresult::E_POINTER_ ? "SyncCommit did not complete, try again"
                                                                             : "SyncCommit failed";
        return {Action::Answer, failure(m_faults.failHresult, what + " (test failure " + std::to_string(m_calls) +
                                                                  " of " + std::to_string(m_faults.failCount) + ")")};
    }

    const SyncOutcome r = m_sync();
    switch (r.status) {
    case SyncOutcome::Status::Busy:
        return {Action::Answer, failure(hresult::E_POINTER_, "SyncCommit did not complete, try again: the database "
                                                             "is locked by another writer (" +
                                                                 r.message + ")")};
    case SyncOutcome::Status::Failed:
        return {Action::Answer, failure(hresult::E_FAIL_, "SyncCommit failed: " + r.message)};
    case SyncOutcome::Status::Done:
        break;
    }
    // The first two arguments are passed by reference; they come back with what was done.
    const SyncCounts& c = r.counts;
    args[0] = c.rows();
    args[1] = std::to_string(c.inserted) + " inserted, " + std::to_string(c.updated) + " updated, " +
              std::to_string(c.deleted) + " deleted, " + std::to_string(c.unchanged) + " unchanged";
    return {Action::Answer, json{{"hresult", hresult::S_OK_}, {"args", args}, {"result", 0}}.dump()};
}

} // namespace levora::demohost
