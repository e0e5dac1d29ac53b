// Custom schema definition files, and turning a custom schema into
// property-spec entries for one document (from its definitions, or from the
// properties discovered in the document's namespace).
#pragma once

#include "config/CustomSchema.h"
#include "xmp/PropSpec.h"
#include "toolkit/XmpToolkit.h"

#include <cstdint>
#include <string>

namespace velmora {

// Appends one definition per line that holds a ";"; returns the list's size.
size_t ReadSchemaDefinitionFile(const wchar_t* fileName, CustomPropertyDefinitionList& definitions);

// Splits text at the first separator into trimmed head and tail (space, tab
// and line feed). Returns the separator's position, or std::wstring::npos
// (head is then the whole text, untrimmed, and tail empty).
size_t SplitAndTrim(const std::wstring& text, std::wstring& head, std::wstring& tail, const std::wstring& separator);

// For each schema (on a copy): its definitions, or those discovered in meta,
// become entries at the end of list. Returns how many schemas contributed.
int32_t AppendCustomSchemaPropSpecs(const CustomSchemaList& schemas, const SXMPMeta* meta, PropSpecList& list);

// Every leaf path the document holds under namespaceUri, as string
// definitions; paths longer than 255 characters are left out.
size_t DiscoverSchemaProperties(const SXMPMeta* meta, const std::string& namespaceUri,
                                CustomPropertyDefinitionList& definitions);

// cs:Camera/cs:Model -> Camera_Model, cs:Items/*[2] -> Items. A path longer
// than 255 characters gives an empty name.
std::wstring MakePropertyName(const std::wstring& path);

// One entry per definition of schema, at the end of list.
void AppendCustomPropSpecs(const CustomSchema& schema, PropSpecList& list);

// The toolkit resolves a path's prefix through the one prefix it holds for
// each namespace, the first it met. Registering each schema's namespace with
// the prefix its definition paths start with, before any document is parsed,
// makes those paths resolve whatever prefix a document uses. A namespace that
// already has another prefix keeps it, and the schema is logged. Returns how
// many namespaces now have the prefix their definitions use.
size_t RegisterDefinitionPrefixes(const CustomSchemaList& schemas);

// The prefix a path's first step starts with ("lr" for
// "lr:hierarchicalSubject/*[1]"), or empty when it has none that is an XML name.
std::string LeadingPrefix(const std::string& path);

}  // namespace velmora
