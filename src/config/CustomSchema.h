// Custom schemas: XMP namespaces declared in the registry, each delivered
// under a property set of the administrator's choosing, with properties from
// a definition file or discovered in each document.
#pragma once

#include "xmp/ValueConversion.h"

#include <windows.h>
#include <wtypes.h>

#include <list>
#include <memory>
#include <string>
#include <utility>

namespace velmora {

struct CustomPropertyDefinition {
    CustomPropertyDefinition() = default;
    CustomPropertyDefinition(std::string path, std::wstring property, VARTYPE valueType,
                             std::shared_ptr<const ValueMap> valueMap = nullptr)
        : path(std::move(path)), property(std::move(property)), valueType(valueType), valueMap(std::move(valueMap)) {}

    std::string path;           // XMP path relative to the schema's namespace
    std::wstring property;      // a non-zero number (identifier) or a name
    VARTYPE valueType = VT_LPWSTR;
    std::shared_ptr<const ValueMap> valueMap;  // the declared value map, or null
};

using CustomPropertyDefinitionList = std::list<CustomPropertyDefinition>;

struct CustomSchema {
    std::wstring name;          // the registry subkey name
    std::string namespaceUri;   // UTF-8
    GUID propertySet{};
    CustomPropertyDefinitionList definitions;  // empty: discovered per document
};

using CustomSchemaList = std::list<CustomSchema>;

}  // namespace velmora
