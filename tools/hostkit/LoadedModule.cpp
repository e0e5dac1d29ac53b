#include "LoadedModule.h"

#include "Files.h"

#include "common/ComPtr.h"
#include "common/Product.h"

namespace velmora::hostkit {

LoadedModule::LoadedModule(const std::wstring& path) : path(path), module(LoadLibraryW(path.c_str())) {
    if (!module) loadError = GetLastError();
}

LoadedModule::~LoadedModule() {
    if (module) FreeLibrary(module);
}

VelmoraDll::VelmoraDll() : VelmoraDll(ProgramDirectory() + L"Velmora.dll") {}

VelmoraDll::VelmoraDll(const std::wstring& path)
    : LoadedModule(path),
      getClassObject(Export<GetClassObjectFunction>("DllGetClassObject")),
      canUnloadNow(Export<ServerFunction>("DllCanUnloadNow")),
      registerServer(Export<ServerFunction>("DllRegisterServer")),
      unregisterServer(Export<ServerFunction>("DllUnregisterServer")) {}

HRESULT VelmoraDll::GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const {
    return getClassObject ? getClassObject(clsid, riid, ppv) : E_UNEXPECTED;
}

HRESULT VelmoraDll::CanUnloadNow() const { return Call(canUnloadNow); }
HRESULT VelmoraDll::RegisterServer() const { return Call(registerServer); }
HRESULT VelmoraDll::UnregisterServer() const { return Call(unregisterServer); }

HRESULT VelmoraDll::CreateFilter(REFIID riid, void** ppv) const {
    ComPtr<IClassFactory> factory;
    const HRESULT hr = GetClassObject(CLSID_VelmoraFilter, IID_IClassFactory, factory.PutVoid());
    if (FAILED(hr)) return hr;
    return factory->CreateInstance(nullptr, riid, ppv);
}

}  // namespace velmora::hostkit
