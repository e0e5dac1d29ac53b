// Reading the registry safely: values of the wrong type are refused, and a
// string is always terminated, whatever the stored data looks like.
#pragma once

#include "common/Win32.h"

#include <string>

namespace velmora {

// Opens root\path with the given access; an empty key on failure.
UniqueHKey OpenRegistryKey(HKEY root, const std::wstring& path, REGSAM access);

// A REG_DWORD value read into a 4-byte buffer; false for any other type or size.
bool QueryRegistryDword(HKEY key, const wchar_t* name, DWORD& data);

// A REG_SZ value; the text ends at its first null or at the end of the data,
// also when the data has no terminator or an odd byte count.
bool QueryRegistryString(HKEY key, const wchar_t* name, std::wstring& text);

}  // namespace velmora
