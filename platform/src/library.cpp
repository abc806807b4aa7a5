// Modules are shared objects opened through the dynamic loader.
#include <windows.h>

#include <dlfcn.h>

extern "C" HMODULE WINAPI LoadLibraryA(LPCSTR name)
{
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    void *module = dlopen(name, RTLD_NOW | RTLD_LOCAL);
    if (!module)
        SetLastError(ERROR_MOD_NOT_FOUND);
    return static_cast<HMODULE>(module);
}

extern "C" FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name)
{
    void *symbol = module && name ? dlsym(module, name) : nullptr;
    if (!symbol)
        SetLastError(ERROR_PROC_NOT_FOUND);
    return reinterpret_cast<FARPROC>(symbol);
}
