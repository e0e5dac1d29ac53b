// Placeholder exports until the class factory lands.
#include "module/ModuleCount.h"

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID, REFIID, void** ppv) {
    if (ppv) *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return velmora::ModuleCount <= 0 ? S_OK : S_FALSE; }
