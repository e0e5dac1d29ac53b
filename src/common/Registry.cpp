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

bool QueryRegistryString(HKEY key, const wchar_t* name, std::wstring& text) {
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
        const size_t stored = capacity / sizeof(wchar_t);
        size_t length = 0;
        while (length < stored && buffer[length] != L'\0') ++length;
        text.assign(buffer.data(), length);
        return true;
    }
    return false;
}

}  // namespace velmora
