// Placeholder exports until registration lands.
#include <windows.h>
#include <olectl.h>

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() { return SELFREG_E_CLASS; }
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() { return S_FALSE; }
extern "C" HRESULT STDAPICALLTYPE SpsTiffRegister() { return E_NOTIMPL; }
extern "C" HRESULT STDAPICALLTYPE SpsTiffUnregister() { return E_NOTIMPL; }
