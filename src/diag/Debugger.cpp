#include "diag/Debugger.h"

#include "common/Registry.h"

#include <cwchar>

namespace velmora {

Debugger debugger;

Debugger::~Debugger() = default;

void Debugger::Initialize(const wchar_t* keyPath, const wchar_t* displayName) {
    DWORD data = 0;
    bool taken = false;
    if (keyPath) {
        if (UniqueHKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath, KEY_READ)) {
            taken = QueryRegistryDword(key.Get(), L"DebugMode", data);
        }
    }
    level = (taken && data <= 3) ? static_cast<int32_t>(data) : 0;
    prefix = displayName ? std::wstring(displayName) + L":" : std::wstring(L"Corvantis:");
}

void Debugger::Log(int32_t messageLevel, const wchar_t* text) const {
    if (messageLevel > level) return;
    try {
        std::wstring line = prefix;
        if (text) line += text;
        OutputDebugStringW(line.c_str());
    } catch (...) {
        // Logging never fails its caller.
    }
}

namespace {

// In every caller's format "%s" means a wide string; "%ls" says so under both
// the C99 and the Microsoft printf conventions.
std::wstring WidenStringConversions(const wchar_t* format) {
    std::wstring out;
    for (const wchar_t* p = format; *p; ++p) {
        out += *p;
        if (*p != L'%') continue;
        if (p[1] == L'%') {
            out += *++p;
            continue;
        }
        // Copy flags, width and precision, then widen a bare 's'.
        while (p[1] && std::wcschr(L"-+ #0123456789.", p[1])) out += *++p;
        if (p[1] == L's') out += L'l';
    }
    return out;
}

}  // namespace

template <class Argument>
void Debugger::Format(int32_t messageLevel, const wchar_t* format, Argument argument) const {
    if (messageLevel > level || !format) return;
    try {
        wchar_t buffer[1024];
        const std::wstring wide = WidenStringConversions(format);
        const int written = _snwprintf(buffer, 1023, wide.c_str(), argument);
        buffer[1023] = L'\0';
        if (written < 0 && buffer[0] == L'\0') return;
        Log(messageLevel, buffer);
    } catch (...) {
    }
}

void Debugger::LogFormat(int32_t messageLevel, const wchar_t* format, const wchar_t* argument) const {
    Format(messageLevel, format, argument ? argument : L"(null)");
}

void Debugger::LogFormat(int32_t messageLevel, const wchar_t* format, int32_t argument) const {
    Format(messageLevel, format, static_cast<int>(argument));
}

}  // namespace velmora
