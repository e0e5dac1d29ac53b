// Velmora.dll beside the test program, loaded the way a host loads it, and
// a host's whole use of one filter object over one file: create it through
// the class object, load the file, ask for everything, drain every chunk.
#pragma once

#include "ChunkRecorder.h"
#include "ComPtr.h"
#include "LoadedModule.h"
#include "TestSupport.h"

#include <filter.h>
#include <filterr.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace velmora::test {

// The kit's loader, failing the test when the DLL does not load.
class LoadedDll {
public:
    LoadedDll() {
        if (!dll.IsLoaded()) ADD_FAILURE() << "cannot load " << Narrow(dll.Path()) << ", error " << dll.LoadError();
    }

    // The chunks a host that asks for every property receives for the file,
    // one line each (ChunkRecorder's Describe), or one line naming the step
    // that failed.
    std::vector<std::wstring> Chunks(const std::wstring& path) const {
        std::wstring failure;
        const Drain drain = Drained(path, failure);
        if (!failure.empty()) return {failure};
        return Describe(drain);
    }

    // The same host's whole drain, for what Describe does not show; failure
    // names the step that failed, if one did.
    Drain Drained(const std::wstring& path, std::wstring& failure) const {
        ComPtr<IFilter> filter;
        if (FAILED(dll.CreateFilter(IID_IFilter, filter.PutVoid()))) return failure = L"CreateInstance failed", Drain{};
        ComPtr<IPersistFile> file;
        if (FAILED(filter.As(IID_IPersistFile, file))) return failure = L"no IPersistFile", Drain{};
        const HRESULT load = file->Load(path.c_str(), STGM_READ);
        if (load != S_OK) return failure = L"Load failed", Drain{};
        ULONG flags = 0;
        if (filter->Init(IFILTER_INIT_APPLY_INDEX_ATTRIBUTES, 0, nullptr, &flags) != S_OK) {
            return failure = L"Init failed", Drain{};
        }
        const Drain drain = DrainFilter(filter.Get());
        EXPECT_HR(FILTER_E_END_OF_CHUNKS, drain.end);
        return drain;
    }

private:
    hostkit::VelmoraDll dll;
};

}  // namespace velmora::test
