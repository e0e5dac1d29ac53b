// A stand-in for the SharePoint products' filter-registration objects, for the
// registration tests. It serves IHostFilterRegistration for any class
// identifier it is registered under and records every AddFilter and
// RemoveFilter call, with all arguments, as one line of text. The test loads
// the DLL itself as well (so that the record outlives COM's unloading) and
// reads the record through FakeHostRecord. Single-threaded use only.
#include "common/ComObject.h"
#include "registration/HostFilterRegistration.h"

#include <windows.h>
#include <objbase.h>

#include <cwchar>
#include <initializer_list>
#include <new>
#include <string>

using velmora::IHostFilterRegistration;
using velmora::IID_IHostFilterRegistration;

namespace {

std::wstring record;
std::wstring failingHosts;           // class strings whose calls return E_FAIL
std::wstring hostsWithoutInterface;  // class strings that refuse IHostFilterRegistration
LONG liveObjects = 0;

std::wstring ClassText(const CLSID* clsid) {
    if (!clsid) return L"(null)";
    wchar_t text[64] = {};
    StringFromGUID2(*clsid, text, 64);
    return text;
}

std::wstring Strings(ULONG count, const wchar_t* const* strings) {
    std::wstring text = std::to_wstring(count);
    for (ULONG i = 0; i < count && strings; ++i) {
        text += L' ';
        text += strings[i] ? strings[i] : L"(null)";
    }
    return text;
}

std::wstring Numbers(std::initializer_list<ULONG_PTR> values) {
    std::wstring text;
    for (ULONG_PTR value : values) {
        if (!text.empty()) text += L' ';
        text += std::to_wstring(static_cast<unsigned long long>(value));
    }
    return text;
}

bool Listed(const std::wstring& list, const std::wstring& host) { return list.find(host) != std::wstring::npos; }

class CFakeRegistration : public velmora::ComObject<IHostFilterRegistration> {
public:
    explicit CFakeRegistration(const CLSID& host) : host(ClassText(&host)) { InterlockedIncrement(&liveObjects); }
    virtual ~CFakeRegistration() { InterlockedDecrement(&liveObjects); }

    bool Offers(REFIID riid) const override {
        return IsEqualIID(riid, IID_IHostFilterRegistration) && !Listed(hostsWithoutInterface, host);
    }

    STDMETHODIMP Unused3() override { return Unexpected(3); }
    STDMETHODIMP RemoveFilter(ULONG extensionCount, const wchar_t* const* extensions, ULONG_PTR reserved2,
                              ULONG_PTR reserved3, ULONG mimeTypeCount, const wchar_t* const* mimeTypes,
                              ULONG_PTR reserved6, const CLSID* filterClass, ULONG_PTR reserved8,
                              ULONG_PTR reserved9) override {
        return Record(L"RemoveFilter " + host + L" | " + Strings(extensionCount, extensions) + L" | " +
                      Strings(mimeTypeCount, mimeTypes) + L" | " + ClassText(filterClass) + L" | " +
                      Numbers({reserved2, reserved3, reserved6, reserved8, reserved9}));
    }
    STDMETHODIMP Unused5() override { return Unexpected(5); }
    STDMETHODIMP Unused6() override { return Unexpected(6); }
    STDMETHODIMP Unused7() override { return Unexpected(7); }
    STDMETHODIMP Unused8() override { return Unexpected(8); }
    STDMETHODIMP Unused9() override { return Unexpected(9); }
    STDMETHODIMP Unused10() override { return Unexpected(10); }
    STDMETHODIMP Unused11() override { return Unexpected(11); }
    STDMETHODIMP Unused12() override { return Unexpected(12); }
    STDMETHODIMP Unused13() override { return Unexpected(13); }
    STDMETHODIMP AddFilter(ULONG extensionCount, const wchar_t* const* extensions, ULONG_PTR reserved2,
                           ULONG_PTR reserved3, ULONG mimeTypeCount, const wchar_t* const* mimeTypes,
                           ULONG_PTR reserved6, ULONG_PTR reserved7, const CLSID* filterClass, ULONG_PTR reserved9,
                           ULONG_PTR flag10, ULONG_PTR reserved11) override {
        return Record(L"AddFilter " + host + L" | " + Strings(extensionCount, extensions) + L" | " +
                      Strings(mimeTypeCount, mimeTypes) + L" | " + ClassText(filterClass) + L" | " +
                      Numbers({reserved2, reserved3, reserved6, reserved7, reserved9, flag10, reserved11}));
    }

private:
    HRESULT Record(const std::wstring& line) {
        record += line + L"\n";
        return Listed(failingHosts, host) ? E_FAIL : S_OK;
    }
    HRESULT Unexpected(int position) {
        record += L"Unused" + std::to_wstring(position) + L" " + host + L"\n";
        return E_NOTIMPL;
    }

    std::wstring host;
};

class CFakeFactory : public velmora::ComObject<IClassFactory> {
public:
    explicit CFakeFactory(const CLSID& host) : host(host) { InterlockedIncrement(&liveObjects); }
    virtual ~CFakeFactory() { InterlockedDecrement(&liveObjects); }

    bool Offers(REFIID riid) const override { return IsEqualIID(riid, IID_IClassFactory); }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) CFakeRegistration(host);
        if (!object) return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&liveObjects);
        else InterlockedDecrement(&liveObjects);
        return S_OK;
    }

private:
    CLSID host;
};

}  // namespace

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    auto* factory = new (std::nothrow) CFakeFactory(rclsid);
    if (!factory) return E_OUTOFMEMORY;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return liveObjects <= 0 ? S_OK : S_FALSE; }

// Clears the record and sets which hosts fail their calls and which refuse the
// interface (lists of class strings; null for none).
extern "C" void FakeHostReset(const wchar_t* failing, const wchar_t* withoutInterface) {
    record.clear();
    failingHosts = failing ? failing : L"";
    hostsWithoutInterface = withoutInterface ? withoutInterface : L"";
}

// Copies the record (one line per call) into buffer and returns its length;
// with a buffer too small, copies nothing and returns the length needed.
extern "C" DWORD FakeHostRecord(wchar_t* buffer, DWORD capacity) {
    const auto length = static_cast<DWORD>(record.size());
    if (buffer && capacity > length) wmemcpy(buffer, record.c_str(), length + 1);
    return length;
}
