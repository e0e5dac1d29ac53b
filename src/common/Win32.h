// Owning types for the Win32 and COM resources the filter uses, and the
// HRESULT plumbing shared by every subsystem. One type per resource:
// registry keys, kernel handles, CoTaskMem memory and PROPVARIANTs.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <propidl.h>

#include <memory>
#include <new>
#include <string>
#include <utility>

namespace velmora {

// Owns one handle-like value and closes it through Traits::Close.
template <class Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type value) noexcept : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Type Get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }

    // For out-parameters: closes what is held and hands out the slot.
    Type* Put() noexcept {
        Reset();
        return &value_;
    }
    Type Release() noexcept { return std::exchange(value_, Traits::Invalid()); }
    void Reset(Type value = Traits::Invalid()) noexcept {
        Type old = std::exchange(value_, value);
        if (old != Traits::Invalid()) Traits::Close(old);
    }

private:
    Type value_ = Traits::Invalid();
};

struct HKeyTraits {
    using Type = HKEY;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type key) noexcept { RegCloseKey(key); }
};

// A kernel handle whose "none" value is INVALID_HANDLE_VALUE (CreateFileW).
struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { CloseHandle(handle); }
};

using UniqueHKey = UniqueResource<HKeyTraits>;
using UniqueFileHandle = UniqueResource<FileHandleTraits>;

// Memory from the COM task allocator.
struct CoTaskMemDeleter {
    void operator()(void* memory) const noexcept { CoTaskMemFree(memory); }
};
template <class T>
using CoTaskMemPtr = std::unique_ptr<T, CoTaskMemDeleter>;

// A PROPVARIANT that is initialised on construction and cleared on destruction.
class UniquePropVariant {
public:
    UniquePropVariant() noexcept { PropVariantInit(&value_); }
    ~UniquePropVariant() { PropVariantClear(&value_); }
    UniquePropVariant(const UniquePropVariant&) = delete;
    UniquePropVariant& operator=(const UniquePropVariant&) = delete;

    PROPVARIANT& Get() noexcept { return value_; }
    const PROPVARIANT& Get() const noexcept { return value_; }
    PROPVARIANT* operator->() noexcept { return &value_; }
    // Hands the value, with what it owns, to the caller and is empty again.
    PROPVARIANT Release() noexcept {
        const PROPVARIANT value = value_;
        PropVariantInit(&value_);
        return value;
    }

private:
    PROPVARIANT value_;
};

// Returns a CoTaskMemAlloc copy of a null-terminated wide text, or null when
// the text is null or the allocation fails.
wchar_t* CoTaskMemStrDup(const wchar_t* text) noexcept;

// UTF-8 <-> UTF-16 and UTF-16 -> ANSI code page conversions. An invalid
// sequence is converted the way MultiByteToWideChar does with flags 0.
std::wstring Utf8ToWide(const std::string& text);
// The numeric and boolean VARTYPEs a definition file may declare besides
// VT_INT: VT_UI2, VT_UI4, VT_I4, VT_UI8, VT_R8 and VT_BOOL.
bool IsScalarType(VARTYPE type) noexcept;

// The locale Windows knows for a language tag as XMP's xml:lang gives it
// ("de", "en-US", "ja"), through LocaleNameToLCID; 0 for "x-default", an
// empty or malformed tag, and a language without a locale of its own.
LCID LocaleOfLanguage(const std::string& language) noexcept;
std::string WideToUtf8(const std::wstring& text);
std::string WideToAnsi(const std::wstring& text);

// Runs a body at a COM or export boundary: no C++ exception leaves it.
template <class Body>
HRESULT ExceptionBoundary(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

}  // namespace velmora

// Evaluates an HRESULT expression once and returns it from the caller when it failed.
#define VELMORA_RETURN_IF_FAILED(expr)        \
    do {                                      \
        const HRESULT velmoraHr_ = (expr);    \
        if (FAILED(velmoraHr_)) return velmoraHr_; \
    } while (0)
