// The custom schema declarations under the product key's "CustomSchemas"
// subkey: one subkey per schema with "GUID", "NameSpace" and an optional
// "FileName" (REG_SZ each).
#pragma once

#include "config/CustomSchema.h"

#include <cstddef>
#include <string>

namespace velmora {

// The valid custom schemas declared under keyPath\"CustomSchemas" (keyPath
// relative to HKEY_LOCAL_MACHINE), appended in enumeration order; returns the
// list's size. Invalid declarations are logged and left out.
size_t LoadCustomSchemas(const std::wstring& keyPath, CustomSchemaList& schemas);

// Fills a schema whose name is set; true when it is valid.
bool LoadCustomSchema(const std::wstring& keyPath, CustomSchema& schema);

}  // namespace velmora
