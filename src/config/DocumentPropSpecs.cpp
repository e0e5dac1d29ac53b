#include "config/DocumentPropSpecs.h"

#include "config/SchemaDefinitions.h"
#include "config/VelmoraConfiguration.h"

namespace velmora {

void BuildCustomPropSpecs(const CustomSchemaList& schemas, std::list<PropSpecList>& built) {
    built.clear();
    for (const CustomSchema& schema : schemas) {
        built.emplace_back();
        if (!schema.definitions.empty()) AppendCustomPropSpecs(schema, built.back());
    }
}

int32_t CollectDocumentPropSpecs(const VelmoraConfiguration& configuration, const SXMPMeta* meta,
                                 DocumentPropSpecs& list) {
    list.Clear();
    const auto point = [&list](const PropSpecList& entries) {
        for (const MetadataPropSpec& entry : entries) list.entries.push_back(&entry);
    };
    point(configuration.standardPropSpecs);

    // A configuration whose schemas were replaced after it was built (tests
    // do so) has no entries built for them: each document makes its own.
    if (configuration.customPropSpecs.size() != configuration.customSchemas.size()) {
        const int32_t count = AppendCustomSchemaPropSpecs(configuration.customSchemas, meta, list.discovered);
        point(list.discovered);
        return count;
    }

    int32_t count = 0;
    auto built = configuration.customPropSpecs.begin();
    for (const CustomSchema& schema : configuration.customSchemas) {
        const PropSpecList& entries = *built++;
        if (!schema.definitions.empty()) {
            if (entries.empty()) continue;
            point(entries);
            ++count;
            continue;
        }
        CustomSchema found;
        found.name = schema.name;
        found.namespaceUri = schema.namespaceUri;
        found.propertySet = schema.propertySet;
        DiscoverSchemaProperties(meta, found.namespaceUri, found.definitions);
        if (found.definitions.empty()) continue;
        PropSpecList mine;
        AppendCustomPropSpecs(found, mine);
        for (const MetadataPropSpec& entry : mine) list.entries.push_back(&entry);
        list.discovered.splice(list.discovered.end(), mine);
        ++count;
    }
    return count;
}

}  // namespace velmora
