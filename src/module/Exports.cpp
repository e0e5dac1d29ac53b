// The six exports of the DLL, as Velmora.def lists them. DllGetClassObject
// hands out a fresh class object for the filter class, and DllCanUnloadNow
// tells the host whether anything of the DLL is still alive; the other four
// run the registration steps. No exception leaves any of them.
#include "common/Product.h"
#include "filter/Velmora.h"
#include "module/ClassFactory.h"
#include "registration/Registration.h"
#include "registration/SearchHosts.h"

using namespace velmora;

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    return ExceptionBoundary([&]() -> HRESULT {
        if (!IsEqualCLSID(rclsid, CLSID_VelmoraFilter)) return CLASS_E_CLASSNOTAVAILABLE;
        if (!ppv) return E_POINTER;
        auto* factory = new (std::nothrow) CFilterCF<CVelmora>();
        if (!factory) return E_OUTOFMEMORY;
        const HRESULT hr = factory->QueryInterface(riid, ppv);
        // Leaves the caller's reference as the only one, or destroys the
        // class object when the interface was refused (E_NOINTERFACE).
        factory->Release();
        return hr;
    });
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return ModuleCount <= 0 ? S_OK : S_FALSE; }

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
    return ExceptionBoundary([] { return RegisterServer(); });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
    return ExceptionBoundary([] { return UnregisterServer(); });
}

extern "C" HRESULT STDAPICALLTYPE SpsTiffRegister() {
    return ExceptionBoundary([] { return UpdateSharePointTiffRegistration(true); });
}

extern "C" HRESULT STDAPICALLTYPE SpsTiffUnregister() {
    return ExceptionBoundary([] { return UpdateSharePointTiffRegistration(false); });
}
