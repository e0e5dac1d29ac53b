// The IUnknown of a COM object that offers one interface (with the interfaces
// it derives from): QueryInterface answers IID_IUnknown and what the class
// offers, AddRef and Release keep an interlocked count that starts at 1, and
// the last Release deletes the object.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace velmora {

template <class Interface>
class ComObject : public Interface {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || Offers(riid)) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&referenceCount)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&referenceCount);
        if (count == 0) delete this;
        return static_cast<ULONG>(count);
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // Whether the object offers riid besides IID_IUnknown.
    virtual bool Offers(REFIID riid) const = 0;

    LONG References() const { return referenceCount; }

private:
    LONG referenceCount = 1;
};

}  // namespace velmora
