// Velmora.dll beside the test program, loaded the way a host loads it, and
// a host's whole use of one filter object over one file: create it through
// the class object, load the file, ask for everything, drain every chunk.
#pragma once

#include "common/Product.h"

#include "ChunkRecorder.h"
#include "ComPtr.h"
#include "TestSupport.h"

#include <filter.h>
#include <filterr.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace velmora::test {

inline std::wstring BuiltDllPath() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\') + 1) + L"Velmora.dll";
}

class LoadedDll {
public:
    LoadedDll() : module(LoadLibraryW(BuiltDllPath().c_str())) {
        if (!module) ADD_FAILURE() << "cannot load " << Narrow(BuiltDllPath()) << ", error " << GetLastError();
    }
    ~LoadedDll() {
        if (module) FreeLibrary(module);
    }
    LoadedDll(const LoadedDll&) = delete;
    LoadedDll& operator=(const LoadedDll&) = delete;

    // The chunks a host that asks for every property receives for the file,
    // one line each (ChunkRecorder's Describe), or one line naming the step
    // that failed.
    std::vector<std::wstring> Chunks(const std::wstring& path) const {
        using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
        const auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
            reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
        if (!getClassObject) return {L"no DllGetClassObject"};
        ComPtr<IClassFactory> factory;
        if (FAILED(getClassObject(CLSID_VelmoraFilter, IID_IClassFactory, factory.PutVoid()))) return {L"no class object"};
        ComPtr<IFilter> filter;
        if (FAILED(factory->CreateInstance(nullptr, IID_IFilter, filter.PutVoid()))) return {L"CreateInstance failed"};
        ComPtr<IPersistFile> file;
        if (FAILED(filter.As(IID_IPersistFile, file))) return {L"no IPersistFile"};
        const HRESULT load = file->Load(path.c_str(), STGM_READ);
        if (load != S_OK) return {L"Load failed"};
        ULONG flags = 0;
        if (filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags) != S_OK) return {L"Init failed"};
        const Drain drain = DrainFilter(filter.Get());
        EXPECT_HR(FILTER_E_END_OF_CHUNKS, drain.end);
        return Describe(drain);
    }

private:
    HMODULE module = nullptr;
};

}  // namespace velmora::test
