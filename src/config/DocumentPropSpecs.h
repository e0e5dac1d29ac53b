// A loaded document's property-spec list, without copying the configuration's
// entries for every document: the list points at the standard entries and at
// each file-defined custom schema's entries, which the configuration builds
// once, and owns only the entries of the schemas discovered in this document.
// The order is the one the copies had: the standard entries, then each custom
// schema's in the configuration's order.
#pragma once

#include "config/CustomSchema.h"
#include "toolkit/XmpToolkit.h"
#include "xmp/PropSpec.h"

#include <cstdint>
#include <list>
#include <vector>

namespace velmora {

class VelmoraConfiguration;

struct DocumentPropSpecs {
    std::vector<const MetadataPropSpec*> entries;  // in list order
    PropSpecList discovered;                       // the entries of schemas discovered in this document

    void Clear() noexcept {
        entries.clear();
        discovered.clear();
    }
};

// Each schema's entries from its definitions, in the schemas' order; an
// empty list for a schema whose properties are discovered per document.
// Throws std::bad_alloc.
void BuildCustomPropSpecs(const CustomSchemaList& schemas, std::list<PropSpecList>& built);

// Fills list (cleared first) for a document whose XMP was parsed into meta;
// returns the number of custom schemas that contributed entries. The
// configuration must outlive the list. Throws std::bad_alloc.
int32_t CollectDocumentPropSpecs(const VelmoraConfiguration& configuration, const SXMPMeta* meta,
                                 DocumentPropSpecs& list);

}  // namespace velmora
