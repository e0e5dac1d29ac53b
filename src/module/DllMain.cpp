// The DLL entry point: starts the diagnostic log on process attach. It does
// nothing that is unsafe under the loader lock: the XMP Toolkit starts on
// first use, with the configuration, and stops here only when the module is
// freed (FreeLibrary), not when the process ends and its other threads are
// already gone.
#include "diag/Debugger.h"
#include "common/Product.h"
#include "toolkit/XmpToolkit.h"

using namespace velmora;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    moduleInstance = instance;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        debugger.Initialize(kProductKeyPath, kProductDisplayName);
        debugger.Log(2, L"INFO: DLL was loaded \n");
        return TRUE;
    case DLL_PROCESS_DETACH:
        if (!reserved) StopXmpToolkit();
        debugger.Log(2, L"INFO: DLL was unloaded \n");
        return TRUE;
    default:
        return TRUE;
    }
}
