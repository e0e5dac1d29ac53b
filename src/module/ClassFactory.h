// The class object that DllGetClassObject hands out: an IClassFactory that
// makes filter objects of class T over the process-wide configuration. Each
// class object counts in ModuleCount for as long as it lives, and so does
// every outstanding LockServer(TRUE). Aggregation is never supported.
#pragma once

#include "common/ComObject.h"
#include "common/Win32.h"
#include "config/VelmoraConfiguration.h"
#include "common/Product.h"
#include "toolkit/XmpToolkit.h"

#include <windows.h>
#include <unknwn.h>

#include <memory>
#include <new>

namespace velmora {

template <class T>
class CFilterCF : public ComObject<IClassFactory> {
public:
    CFilterCF() noexcept { InterlockedIncrement(&ModuleCount); }
    virtual ~CFilterCF() { InterlockedDecrement(&ModuleCount); }

    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override {
        if (pUnkOuter) return CLASS_E_NOAGGREGATION;
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        return ExceptionBoundary([&]() -> HRESULT {
            // The memory comes first, so that a machine out of memory does
            // not build the configuration for nothing.
            std::unique_ptr<void, RawMemoryDeleter> memory(::operator new(sizeof(T), std::nothrow));
            if (!memory) return E_OUTOFMEMORY;
            // The toolkit first: the configuration registers namespaces with it.
            if (!StartXmpToolkit()) return E_FAIL;
            const VelmoraConfiguration& configuration = VelmoraConfiguration::Instance();
            T* object = new (memory.get()) T(configuration);
            memory.release();  // owned by the object now; its last Release deletes it

            const HRESULT hr = object->QueryInterface(riid, ppv);
            object->Release();  // destroys the object when the interface was refused
            return hr;
        });
    }

    STDMETHODIMP LockServer(BOOL fLock) override {
        if (fLock) {
            InterlockedIncrement(&ModuleCount);
        } else {
            InterlockedDecrement(&ModuleCount);
        }
        return S_OK;
    }

protected:
    bool Offers(REFIID riid) const override { return IsEqualIID(riid, IID_IClassFactory); }

private:
    struct RawMemoryDeleter {
        void operator()(void* memory) const noexcept { ::operator delete(memory); }
    };
};

}  // namespace velmora
