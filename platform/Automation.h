// Automation objects created by ProgID and called by method name (late binding).
#pragma once

#include "Variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace levora {

class IDispatchObject {
public:
    virtual ~IDispatchObject() = default;
    // Throws Error(hresult, description) when the call fails. args are in/out.
    virtual Variant Invoke(const std::string& method, std::vector<Variant>& args) = 0;
    // False once the object is gone for good (its server ended or was stopped): every later call
    // fails at once, and only a new object can answer.
    virtual bool alive() const { return true; }
    // Bounds each later call: one that gets no answer within ms stops the server and fails with
    // RPC_E_DISCONNECTED. Objects that cannot hang ignore it.
    virtual void setCallTimeoutMs(uint32_t /*ms*/) {}
};

class IAutomation {
public:
    virtual ~IAutomation() = default;
    // Throws Error 429 "ActiveX component can't create object" when the ProgID is not registered
    // or its server cannot be started. (A server that ends before its first answer fails that
    // first call with 429 too.)
    virtual std::shared_ptr<IDispatchObject> CreateObject(const std::string& progId) = 0;
};

} // namespace levora
