// IHostFilterRegistration: the filter-registration object that the SharePoint
// search products install as a COM class. Only RemoveFilter (method table
// position 4) and AddFilter (position 14) are ever called; the other positions
// hold placeholders so that those two stay where the hosts have them.
// Every argument is one pointer-sized or 32-bit value; the arguments that the
// filter always passes as 0 or 1 are declared pointer-sized.
#pragma once

#include <windows.h>
#include <unknwn.h>

namespace velmora {

// {C731072C-AC80-11D1-8DF3-00C04FB6EF4F}
inline constexpr IID IID_IHostFilterRegistration = {
    0xC731072C, 0xAC80, 0x11D1, {0x8D, 0xF3, 0x00, 0xC0, 0x4F, 0xB6, 0xEF, 0x4F}};

class IHostFilterRegistration : public IUnknown {
public:
    virtual HRESULT STDMETHODCALLTYPE Unused3() = 0;
    // Position 4.
    virtual HRESULT STDMETHODCALLTYPE RemoveFilter(ULONG extensionCount, const wchar_t* const* extensions,
                                                   ULONG_PTR reserved2, ULONG_PTR reserved3, ULONG mimeTypeCount,
                                                   const wchar_t* const* mimeTypes, ULONG_PTR reserved6,
                                                   const CLSID* filterClass, ULONG_PTR reserved8,
                                                   ULONG_PTR reserved9) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused5() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused6() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused7() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused8() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused9() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused10() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused11() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused12() = 0;
    virtual HRESULT STDMETHODCALLTYPE Unused13() = 0;
    // Position 14.
    virtual HRESULT STDMETHODCALLTYPE AddFilter(ULONG extensionCount, const wchar_t* const* extensions,
                                                ULONG_PTR reserved2, ULONG_PTR reserved3, ULONG mimeTypeCount,
                                                const wchar_t* const* mimeTypes, ULONG_PTR reserved6,
                                                ULONG_PTR reserved7, const CLSID* filterClass, ULONG_PTR reserved9,
                                                ULONG_PTR flag10, ULONG_PTR reserved11) = 0;
};

}  // namespace velmora
