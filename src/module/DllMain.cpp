// The DLL entry point: starts the diagnostic log and the XMP Toolkit on
// process attach and stops the toolkit on detach.
#include "diag/Debugger.h"
#include "common/Product.h"
#include "xmp/XmpToolkit.h"

using namespace velmora;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    moduleInstance = instance;
    switch (reason) {
    case DLL_PROCESS_ATTACH:
        DisableThreadLibraryCalls(instance);
        debugger.Initialize(kProductKeyPath, kProductDisplayName);
        debugger.Log(2, L"INFO: DLL was loaded \n");
        try {
            SXMPMeta::Initialize();
        } catch (...) {
            debugger.Log(1, L"ERROR: SXMPMeta::Initialize() failed \n");
            return FALSE;
        }
        return TRUE;
    case DLL_PROCESS_DETACH:
        try {
            SXMPMeta::Terminate();
        } catch (...) {
        }
        debugger.Log(2, L"INFO: DLL was unloaded \n");
        return TRUE;
    default:
        return TRUE;
    }
}
