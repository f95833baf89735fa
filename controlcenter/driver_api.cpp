#include "driver_api.h"

#ifdef _WIN32
#    include <windows.h>
#else
#    include <dlfcn.h>
#endif

namespace
{

#ifdef _WIN32
const char kLibraryName[] = "Tarvexmain.dll";
void *OpenLibrary()
{
    return reinterpret_cast<void *>(LoadLibraryA(kLibraryName));
}
void *FindOperation(void *library, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}
void CloseLibrary(void *library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}
#else
const char kLibraryName[] = "libTarvexmain.so";
void *OpenLibrary()
{
    return dlopen(kLibraryName, RTLD_NOW);
}
void *FindOperation(void *library, const char *name)
{
    return dlsym(library, name);
}
void CloseLibrary(void *library)
{
    dlclose(library);
}
#endif

template <typename Operation> bool Bind(void *library, const char *name, Operation &operation)
{
    operation = reinterpret_cast<Operation>(FindOperation(library, name));
    return operation != nullptr;
}

bool BindAll(void *library, DriverApi &api)
{
#define TARVEX_BIND(name) Bind(library, #name, api.name)
    return TARVEX_BIND(kaQueryVersionLibrary) && TARVEX_BIND(kaOpen) && TARVEX_BIND(kaClose) &&
           TARVEX_BIND(kaQueryVersionMainDriver) && TARVEX_BIND(kaQueryNumberDevices) &&
           TARVEX_BIND(kaQueryInfoDevice) && TARVEX_BIND(kaQueryNameDevice) &&
           TARVEX_BIND(kaQueryDescriptionDevice) && TARVEX_BIND(kaQueryNameDeviceDriver) &&
           TARVEX_BIND(kaQueryVersionDeviceDriver) && TARVEX_BIND(kaQueryNumberSubdevices) &&
           TARVEX_BIND(kaQuerySubdeviceType) && TARVEX_BIND(kaQueryNumberChannels);
#undef TARVEX_BIND
}

} // namespace

const DriverApi *BindDriverLibrary()
{
    static DriverApi api;
    static bool bound = false;
    if (bound)
        return &api;
    void *library = OpenLibrary();
    if (!library)
        return nullptr;
    if (!BindAll(library, api)) {
        CloseLibrary(library);
        return nullptr;
    }
    bound = true; // the library stays loaded for the program's life
    return &api;
}
