#include "common/Win32.h"

#include <cstring>
#include <cwchar>

namespace velmora {

wchar_t* CoTaskMemStrDup(const wchar_t* text) noexcept {
    if (!text) return nullptr;
    const size_t bytes = (std::wcslen(text) + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (copy) std::memcpy(copy, text, bytes);
    return copy;
}

namespace {

std::wstring ToWide(UINT codePage, const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string ToNarrow(UINT codePage, const std::wstring& text) {
    if (text.empty()) return {};
    const int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr, nullptr);
    return narrow;
}

}  // namespace

std::wstring Utf8ToWide(const std::string& text) { return ToWide(CP_UTF8, text); }
std::string WideToUtf8(const std::wstring& text) { return ToNarrow(CP_UTF8, text); }
std::string WideToAnsi(const std::wstring& text) { return ToNarrow(CP_ACP, text); }

bool IsScalarType(VARTYPE type) noexcept {
    switch (type) {
    case VT_UI2:
    case VT_UI4:
    case VT_I4:
    case VT_UI8:
    case VT_R8:
    case VT_BOOL:
        return true;
    default:
        return false;
    }
}

LCID LocaleOfLanguage(const std::string& language) noexcept {
    // A language tag is ASCII letters, digits and hyphens; it fits a locale
    // name's buffer or names no locale.
    wchar_t name[LOCALE_NAME_MAX_LENGTH];
    if (language.empty() || language.size() >= LOCALE_NAME_MAX_LENGTH) return 0;
    for (size_t i = 0; i < language.size(); ++i) {
        const char c = language[i];
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        if (!letter && !(c >= '0' && c <= '9') && c != '-') return 0;
        name[i] = static_cast<wchar_t>(c);
    }
    name[language.size()] = L'\0';
    if (_wcsicmp(name, L"x-default") == 0) return 0;
    // Flags 0: a neutral name such as "de" gives its default specific
    // locale (0x0407), which is what a word breaker is registered under.
    const LCID locale = LocaleNameToLCID(name, 0);
    switch (locale) {
    case 0:
    // A well-formed tag Windows has no locale number for, and the
    // placeholders that stand for someone else's locale.
    case LOCALE_CUSTOM_UNSPECIFIED:
    case LOCALE_CUSTOM_DEFAULT:
    case LOCALE_CUSTOM_UI_DEFAULT:
    case LOCALE_SYSTEM_DEFAULT:
    case LOCALE_USER_DEFAULT:
    case LOCALE_INVARIANT:
        return 0;
    default:
        return locale;
    }
}

}  // namespace velmora
