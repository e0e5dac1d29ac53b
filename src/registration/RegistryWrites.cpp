// Registry writes and deletions for the registration steps.
#include "registration/RegistryWrites.h"

#include "common/Registry.h"
#include "common/Win32.h"

#include <shlwapi.h>

namespace velmora {

namespace {

LONG CreateKey(HKEY root, const std::wstring& path, UniqueHKey& key) {
    const LONG result = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                        nullptr, key.Put(), nullptr);
    if (result != ERROR_SUCCESS) key.Release();  // no handle was made; never close what a failed call left
    return result;
}

}  // namespace

bool SameIdentifier(const std::wstring& left, const std::wstring& right) {
    return CompareStringOrdinal(left.c_str(), -1, right.c_str(), -1, TRUE) == CSTR_EQUAL;
}

LONG CreateRegistryKey(HKEY root, const std::wstring& path) {
    UniqueHKey key;
    return CreateKey(root, path, key);
}

LONG SetRegistryString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& data) {
    UniqueHKey key;
    const LONG created = CreateKey(root, path, key);
    if (created != ERROR_SUCCESS) return created;
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()), bytes);
}

LONG SetRegistryDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD data) {
    UniqueHKey key;
    const LONG created = CreateKey(root, path, key);
    if (created != ERROR_SUCCESS) return created;
    return RegSetValueExW(key.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

LONG WriteRegistryRows(HKEY root, const std::wstring& base, const RegistryRow* rows, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const RegistryRow& row = rows[i];
        const std::wstring path = base + row.subkey;
        const LONG result =
            row.data ? SetRegistryString(root, path, row.valueName, *row.data) : CreateRegistryKey(root, path);
        if (result != ERROR_SUCCESS) return result;
    }
    return ERROR_SUCCESS;
}

LONG DeleteRegistryValue(HKEY root, const std::wstring& path, const wchar_t* name) {
    return RegDeleteKeyValueW(root, path.c_str(), name);
}

LONG DeleteRegistryTree(HKEY root, const std::wstring& path) {
    return static_cast<LONG>(SHDeleteKeyW(root, path.c_str()));
}

LONG DeleteRegistryTreeIfNamed(HKEY root, const std::wstring& path, const std::wstring& expectedDefault) {
    {
        UniqueHKey key;
        const LONG opened = RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.Put());
        if (opened != ERROR_SUCCESS) {
            key.Release();
            return opened;
        }
        std::wstring named;
        if (!QueryRegistryString(key.Get(), nullptr, named)) return ERROR_ACCESS_DENIED;
        if (!SameIdentifier(named, expectedDefault)) return ERROR_ACCESS_DENIED;
    }
    return DeleteRegistryTree(root, path);
}

}  // namespace velmora
