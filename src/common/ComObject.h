// The one IUnknown of Velmora's COM objects. UnknownOf gives an object with
// one or more interface faces a single QueryInterface, AddRef and Release
// shared by every face: an interlocked count that starts at 1, the last
// Release deleting the object, and the faces found by the object's own
// Face(riid) (null for an interface it does not offer). ComObject is the
// common case of one interface (with the interfaces it derives from), which
// answers IID_IUnknown and whatever Offers says.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace velmora {

// Object derives from UnknownOf<Object, Interfaces...> and has
// `IUnknown* Face(REFIID riid)`, and a virtual destructor when it is derived
// from further.
template <class Object, class... Interfaces>
class UnknownOf : public Interfaces... {
public:
    UnknownOf(const UnknownOf&) = delete;
    UnknownOf& operator=(const UnknownOf&) = delete;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        IUnknown* face = static_cast<Object*>(this)->Face(riid);
        *ppv = face;
        if (!face) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&referenceCount)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG count = InterlockedDecrement(&referenceCount);
        if (count == 0) delete static_cast<Object*>(this);
        return static_cast<ULONG>(count);
    }

protected:
    UnknownOf() = default;
    ~UnknownOf() = default;

    LONG References() const { return referenceCount; }

private:
    LONG referenceCount = 1;
};

template <class Interface>
class ComObject : public UnknownOf<ComObject<Interface>, Interface> {
public:
    // The object's one face for IID_IUnknown and what Offers accepts; null otherwise.
    IUnknown* Face(REFIID riid) {
        return IsEqualIID(riid, IID_IUnknown) || Offers(riid) ? static_cast<Interface*>(this) : nullptr;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;
    friend class UnknownOf<ComObject<Interface>, Interface>;  // its last Release deletes

    // Whether the object offers riid besides IID_IUnknown.
    virtual bool Offers(REFIID riid) const = 0;
};

}  // namespace velmora
