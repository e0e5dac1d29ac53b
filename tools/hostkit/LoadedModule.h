// A DLL loaded with LoadLibraryW and freed on destruction, and Velmora.dll
// seen through it as a host sees an in-process server: its class object,
// DllCanUnloadNow and the self-registration exports. Each owner loads the
// DLL afresh, so that it sees a fresh configuration and a fresh diagnostic
// log once the last owner has freed it. A loaded module may be shared by
// threads; the objects made through it belong to their callers.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <string>

namespace velmora::hostkit {

class LoadedModule {
public:
    explicit LoadedModule(const std::wstring& path);
    ~LoadedModule();
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;

    HMODULE Handle() const { return module; }
    const std::wstring& Path() const { return path; }
    // GetLastError of the failed LoadLibraryW; 0 when it loaded.
    DWORD LoadError() const { return loadError; }

    // The export called name as a Function pointer, or null.
    template <class Function>
    Function Export(const char* name) const {
        return reinterpret_cast<Function>(reinterpret_cast<void*>(Address(name)));
    }
    bool Exports(const char* name) const { return Address(name) != nullptr; }

private:
    FARPROC Address(const char* name) const { return module ? GetProcAddress(module, name) : nullptr; }

    std::wstring path;
    HMODULE module = nullptr;
    DWORD loadError = 0;
};

// Velmora.dll (by default the one beside the running program).
class VelmoraDll : public LoadedModule {
public:
    VelmoraDll();
    explicit VelmoraDll(const std::wstring& path);

    // Loaded, with the two exports every host calls.
    bool IsLoaded() const { return Handle() && getClassObject && canUnloadNow; }

    // The exports; E_UNEXPECTED when the DLL does not have them.
    HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) const;
    HRESULT CanUnloadNow() const;
    HRESULT RegisterServer() const;
    HRESULT UnregisterServer() const;

    // DllGetClassObject for the filter class, CreateInstance for riid, and
    // the class object released again.
    HRESULT CreateFilter(REFIID riid, void** ppv) const;

private:
    using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    using ServerFunction = HRESULT(STDAPICALLTYPE*)();

    static HRESULT Call(ServerFunction function) { return function ? function() : E_UNEXPECTED; }

    GetClassObjectFunction getClassObject = nullptr;
    ServerFunction canUnloadNow = nullptr;
    ServerFunction registerServer = nullptr;
    ServerFunction unregisterServer = nullptr;
};

}  // namespace velmora::hostkit
