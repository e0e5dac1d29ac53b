// Writing and deleting registration keys. Every call returns a Win32 error
// code (ERROR_SUCCESS = 0) and leaves no handle open.
#pragma once

#include <windows.h>

#include <string>

namespace velmora {

// One entry of a registration layout: a key below a base key, and an optional
// REG_SZ value on it. A null valueName with a null data pointer means "key
// only"; a null valueName with data sets the default value.
struct RegistryRow {
    const wchar_t* subkey;     // appended to the base path; "" for the base key itself
    const wchar_t* valueName;  // null for the default value
    const std::wstring* data;  // null for a key without a value
};

// Whether two identifier strings ("{...}") are the same, without regard to case.
bool SameIdentifier(const std::wstring& left, const std::wstring& right);

// Creates root\path (non-volatile, KEY_ALL_ACCESS) and closes it again.
LONG CreateRegistryKey(HKEY root, const std::wstring& path);

// Creates root\path and sets one REG_SZ value, terminating null included.
LONG SetRegistryString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& data);

// Creates root\path and sets one REG_DWORD value.
LONG SetRegistryDword(HKEY root, const std::wstring& path, const wchar_t* name, DWORD data);

// Writes the rows in order below root\base; the first failing row ends the
// walk with its error code.
LONG WriteRegistryRows(HKEY root, const std::wstring& base, const RegistryRow* rows, size_t count);

// Deletes one value of root\path.
LONG DeleteRegistryValue(HKEY root, const std::wstring& path, const wchar_t* name);

// Deletes root\path with all its subkeys (SHDeleteKeyW).
LONG DeleteRegistryTree(HKEY root, const std::wstring& path);

// Deletes root\path with its subkeys only while its default value is the
// given text (compared without regard to case, as identifier strings are).
// A key that names something else belongs to another product: it stays, and
// the result is ERROR_ACCESS_DENIED. A missing key gives the open error.
LONG DeleteRegistryTreeIfNamed(HKEY root, const std::wstring& path, const std::wstring& expectedDefault);

}  // namespace velmora
