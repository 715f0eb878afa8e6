// Automation objects created by ProgID and called by method name (late binding).
#pragma once

#include "Variant.h"

#include <memory>
#include <string>
#include <vector>

namespace levora {

class IDispatchObject {
public:
    virtual ~IDispatchObject() = default;
    // Throws Error(hresult, description) when the call fails. args are in/out.
    virtual Variant Invoke(const std::string& method, std::vector<Variant>& args) = 0;
};

class IAutomation {
public:
    virtual ~IAutomation() = default;
    // Throws Error 429 "ActiveX component can't create object" when the ProgID is not registered
    // or its server cannot be started.
    virtual std::shared_ptr<IDispatchObject> CreateObject(const std::string& progId) = 0;
};

} // namespace levora
