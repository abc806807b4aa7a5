#include "handles.h"

#include <mutex>
#include <unordered_map>

namespace tessel::platform {

namespace {
std::mutex handlesMutex;
std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> &Handles()
{
    static auto *handles = new std::unordered_map<HANDLE, std::shared_ptr<KernelObject>>;
    return *handles;
}
} // namespace

HANDLE RegisterHandle(std::shared_ptr<KernelObject> object)
{
    HANDLE handle = object.get();
    std::lock_guard<std::mutex> lock(handlesMutex);
    Handles()[handle] = std::move(object);
    return handle;
}

std::shared_ptr<KernelObject> LookUpHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(handlesMutex);
    auto found = Handles().find(handle);
    return found == Handles().end() ? nullptr : found->second;
}

bool ReleaseHandle(HANDLE handle)
{
    std::shared_ptr<KernelObject> object;
    {
        std::lock_guard<std::mutex> lock(handlesMutex);
        auto found = Handles().find(handle);
        if (found == Handles().end())
            return false;
        object = std::move(found->second);
        Handles().erase(found);
    }
    return true; // the object is destroyed here, outside the lock
}

} // namespace tessel::platform

using namespace tessel::platform;

extern "C" BOOL WINAPI CloseHandle(HANDLE object)
{
    if (!ReleaseHandle(object)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}
