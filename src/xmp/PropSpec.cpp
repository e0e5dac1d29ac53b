// FullPropSpec: a FULLPROPSPEC that owns its name (CoTaskMemAlloc), with deep
// copies and the attribute-matching rule the engine applies to host attributes.
#include "xmp/PropSpec.h"

#include "common/Win32.h"

#include <cstring>
#include <cwchar>
#include <new>

namespace velmora {

namespace {

// A CoTaskMemAlloc copy of name; a failed allocation of a real name throws.
wchar_t* CopyNameOrThrow(const wchar_t* name) {
    if (!name) return nullptr;
    wchar_t* copy = CoTaskMemStrDup(name);
    if (!copy) throw std::bad_alloc();
    return copy;
}

wchar_t FoldAsciiCase(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// Names equal when they differ at most in the case of ASCII letters; the
// comparison does not depend on the C runtime's locale. A missing name
// names nothing, so it never matches.
bool NamesMatch(const wchar_t* a, const wchar_t* b) noexcept {
    if (!a || !b) return false;
    for (;; ++a, ++b) {
        if (FoldAsciiCase(*a) != FoldAsciiCase(*b)) return false;
        if (*a == L'\0') return true;
    }
}

void ClearSpec(FULLPROPSPEC& spec) noexcept {
    std::memset(&spec, 0, sizeof spec);
    spec.psProperty.ulKind = PRSPEC_PROPID;
    spec.psProperty.propid = 0;
}

}  // namespace

FullPropSpec::FullPropSpec() noexcept { ClearSpec(spec); }

FullPropSpec::FullPropSpec(const GUID& propertySet, PROPID id) noexcept {
    ClearSpec(spec);
    spec.guidPropSet = propertySet;
    spec.psProperty.propid = id;
}

FullPropSpec::FullPropSpec(const GUID& propertySet, const wchar_t* name) {
    ClearSpec(spec);
    spec.guidPropSet = propertySet;
    spec.psProperty.ulKind = PRSPEC_LPWSTR;
    spec.psProperty.lpwstr = CopyNameOrThrow(name);
}

FullPropSpec::FullPropSpec(const FullPropSpec& other) {
    ClearSpec(spec);
    spec.guidPropSet = other.spec.guidPropSet;
    spec.psProperty.ulKind = other.spec.psProperty.ulKind;
    if (other.spec.psProperty.ulKind == PRSPEC_LPWSTR)
        spec.psProperty.lpwstr = CopyNameOrThrow(other.spec.psProperty.lpwstr);
    else
        spec.psProperty.propid = other.spec.psProperty.propid;
}

FullPropSpec& FullPropSpec::operator=(const FullPropSpec& other) {
    if (this == &other) return *this;
    // Copy first, so that a failed allocation leaves this record unchanged.
    wchar_t* name = nullptr;
    if (other.spec.psProperty.ulKind == PRSPEC_LPWSTR) name = CopyNameOrThrow(other.spec.psProperty.lpwstr);
    ReleaseName();
    spec.guidPropSet = other.spec.guidPropSet;
    spec.psProperty.ulKind = other.spec.psProperty.ulKind;
    if (spec.psProperty.ulKind == PRSPEC_LPWSTR)
        spec.psProperty.lpwstr = name;
    else
        spec.psProperty.propid = other.spec.psProperty.propid;
    return *this;
}

FullPropSpec::~FullPropSpec() { ReleaseName(); }

void FullPropSpec::ReleaseName() noexcept {
    if (spec.psProperty.ulKind != PRSPEC_LPWSTR) return;
    CoTaskMemFree(spec.psProperty.lpwstr);
    spec.psProperty.lpwstr = nullptr;
}

void FullPropSpec::SetPropertyId(PROPID id) noexcept {
    ReleaseName();
    spec.psProperty.ulKind = PRSPEC_PROPID;
    spec.psProperty.propid = id;
}

bool FullPropSpec::SetPropertyName(const wchar_t* name) noexcept {
    // The copy is made before the old name goes, in case name points into it.
    wchar_t* copy = CoTaskMemStrDup(name);
    ReleaseName();
    spec.psProperty.ulKind = PRSPEC_LPWSTR;
    spec.psProperty.lpwstr = copy;
    return copy != nullptr;
}

bool FullPropSpec::Matches(const FULLPROPSPEC& a, const FULLPROPSPEC& b) noexcept {
    if (std::memcmp(&a.guidPropSet, &b.guidPropSet, sizeof(GUID)) != 0) return false;
    if (a.psProperty.ulKind != b.psProperty.ulKind) return false;
    switch (a.psProperty.ulKind) {
    case PRSPEC_LPWSTR:
        return NamesMatch(a.psProperty.lpwstr, b.psProperty.lpwstr);
    case PRSPEC_PROPID:
        return a.psProperty.propid == b.psProperty.propid;
    default:
        return false;
    }
}

}  // namespace velmora
