// Late-bound call on an object variable that may hold nothing, as the runtime does it.
#pragma once

#include "Automation.h"
#include "Error.h"

#include <memory>
#include <string>
#include <vector>

namespace levora {

// Throws Error 91 "Object variable or With block variable not set" when obj is empty.
inline Variant CallByName(const std::shared_ptr<IDispatchObject>& obj, const std::string& method,
                          std::vector<Variant>& args) {
    if (!obj)
        throw Error(err::ObjectNotSet);
    return obj->Invoke(method, args);
}

} // namespace levora
