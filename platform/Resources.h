// Resource-only language libraries (PE files) read in place of LoadLibraryEx/LoadStringW.
#pragma once

#include <cstdint>
#include <string>

namespace levora {

using HMODULE = uintptr_t;

class IResources {
public:
    virtual ~IResources() = default;
    // Loads a library as a data file; 0 when it is missing or not a valid resource library.
    virtual HMODULE LoadLibraryAsData(const std::string& path) = 0;
    virtual void FreeLibrary(HMODULE module) = 0;
    // LoadStringW: copies at most bufferChars-1 characters and a NUL into buffer (resized to
    // bufferChars), returns the characters copied, 0 when the ID is missing or empty.
    // Module 0 means the program's own resources.
    virtual int LoadStringW(HMODULE module, uint32_t id, std::u16string& buffer, int bufferChars) = 0;
};

} // namespace levora
