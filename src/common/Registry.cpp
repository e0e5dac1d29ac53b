#include "common/Registry.h"

#include <vector>

namespace velmora {

UniqueHKey OpenRegistryKey(HKEY root, const std::wstring& path, REGSAM access) {
    UniqueHKey key;
    if (RegOpenKeyExW(root, path.c_str(), 0, access, key.Put()) != ERROR_SUCCESS) key.Release();
    return key;
}

bool QueryRegistryDword(HKEY key, const wchar_t* name, DWORD& data) {
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS) return false;
    if (type != REG_DWORD || size != sizeof(value)) return false;
    data = value;
    return true;
}

namespace {

// The text stored, up to its first null or the end of the data.
void AssignStoredText(const wchar_t* data, DWORD bytes, std::wstring& text) {
    const size_t stored = bytes / sizeof(wchar_t);
    size_t length = 0;
    while (length < stored && data[length] != L'\0') ++length;
    text.assign(data, length);
}

}  // namespace

bool QueryRegistryString(HKEY key, const wchar_t* name, std::wstring& text) {
    {
        // Most values (a GUID, a namespace, a path) fit here: one query, not
        // two, for each of them (every query is a call into the registry's
        // server under Wine).
        wchar_t small[MAX_PATH + 1] = {};
        DWORD type = 0;
        DWORD capacity = MAX_PATH * sizeof(wchar_t);
        const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(small), &capacity);
        if (result == ERROR_SUCCESS) {
            if (type != REG_SZ) return false;
            AssignStoredText(small, capacity, text);
            return true;
        }
        if (result != ERROR_MORE_DATA) return false;
    }
    for (int attempt = 0; attempt < 3; ++attempt) {  // the value may change between the two queries
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ) return false;
        // Room for the data rounded up to whole characters, plus a terminator.
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
        DWORD capacity = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &capacity);
        if (result == ERROR_MORE_DATA) continue;
        if (result != ERROR_SUCCESS || type != REG_SZ) return false;
        AssignStoredText(buffer.data(), capacity, text);
        return true;
    }
    return false;
}

}  // namespace velmora
