// Kernel objects behind HANDLE values: every live object is registered, so a stale or
// made-up handle is refused with ERROR_INVALID_HANDLE instead of being dereferenced.
#pragma once

#include <windows.h>

#include <memory>

namespace tessel::platform {

class KernelObject {
public:
    virtual ~KernelObject() = default;
};

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle);
// Removes the handle; the object lives on while a caller still holds it.
bool ReleaseHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> HandleAs(HANDLE handle)
{
    return std::dynamic_pointer_cast<T>(LookUpHandle(handle));
}

} // namespace tessel::platform
