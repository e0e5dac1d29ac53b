// The IStream methods that a stream handed to the filter never needs to
// serve: writing, sizing, copying, transactions, locks and clones. Each
// refuses with E_NOTIMPL; the stream class supplies IUnknown, Read, Seek and
// Stat. Base is IStream or a class deriving from it.
#pragma once

#include <objidl.h>

namespace velmora::hostkit {

template <class Base>
class ReadOnlyStream : public Base {
public:
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }
};

}  // namespace velmora::hostkit
