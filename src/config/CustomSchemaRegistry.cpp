// Reading the custom schema declarations. Invalid declarations are logged and
// left out; nothing here fails the configuration build.
#include "config/CustomSchemaRegistry.h"

#include "common/Registry.h"
#include "config/SchemaDefinitions.h"
#include "diag/Debugger.h"

#include <vector>

namespace velmora {

namespace {

std::wstring CustomSchemasPath(const std::wstring& keyPath) { return keyPath + L"\\CustomSchemas"; }

}  // namespace

size_t LoadCustomSchemas(const std::wstring& keyPath, CustomSchemaList& schemas) {
    debugger.Log(3, L"INFO: gathering info about custom schemas...");

    const UniqueHKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, CustomSchemasPath(keyPath), KEY_READ);
    if (!key) return schemas.size();

    DWORD subkeyCount = 0;
    DWORD longestName = 0;
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, &subkeyCount, &longestName, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        debugger.Log(1, L"INFO: cannot open custom schemas registry subkey");
        return schemas.size();
    }
    if (subkeyCount == 0) return schemas.size();

    std::vector<wchar_t> name(static_cast<size_t>(longestName) + 1, L'\0');
    for (DWORD index = 0; index < subkeyCount; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExW(key.Get(), index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            continue;
        }
        CustomSchema schema;
        schema.name.assign(name.data(), nameLength);
        debugger.LogFormat(3, L"INFO: found subkey for custom schema %s", schema.name.c_str());
        if (LoadCustomSchema(keyPath, schema)) schemas.push_back(schema);
    }
    return schemas.size();
}

bool LoadCustomSchema(const std::wstring& keyPath, CustomSchema& schema) {
    const UniqueHKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, CustomSchemasPath(keyPath) + L"\\" + schema.name, KEY_READ);
    if (!key) return false;
    // A subkey that cannot even describe itself is rejected like one that cannot be opened.
    if (RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return false;
    }

    std::wstring guid;
    if (!QueryRegistryString(key.Get(), L"GUID", guid)) {
        debugger.LogFormat(1, L"ERROR: GUID value was not found for custom schema %s", schema.name.c_str());
        return false;
    }
    // A braced GUID only: IIDFromString never takes the text for a ProgID
    // and never looks anything up in the registry.
    if (FAILED(IIDFromString(guid.c_str(), &schema.propertySet))) {
        debugger.LogFormat(1, L"ERROR: GUID value of custom schema %s is not a GUID in braces", schema.name.c_str());
        return false;
    }

    std::wstring namespaceUri;
    if (!QueryRegistryString(key.Get(), L"NameSpace", namespaceUri)) {
        debugger.LogFormat(1, L"ERROR: NameSpace value was not found for custom schema %s", schema.name.c_str());
        return false;
    }
    schema.namespaceUri = WideToUtf8(namespaceUri);

    // Without a definition file the properties are discovered in each document.
    std::wstring fileName;
    if (!QueryRegistryString(key.Get(), L"FileName", fileName)) return true;
    return ReadSchemaDefinitionFile(fileName.c_str(), schema.definitions) > 0;
}

}  // namespace velmora
