// Builders of the property-spec list. XmpMetadataPropSpecListBuilder appends
// the standard tables that the "DefaultSchemas" switches leave on.
#pragma once

#include "xmp/PropSpec.h"

#include <cstdint>
#include <string>

namespace velmora {

class MetadataPropSpecListBuilder {
public:
    // keyPath: the product key, relative to HKEY_LOCAL_MACHINE.
    explicit MetadataPropSpecListBuilder(std::wstring keyPath) : keyPath(std::move(keyPath)) {}
    virtual ~MetadataPropSpecListBuilder() = default;

    // Appends entries to list; returns how many schemas it added.
    virtual int32_t Build(PropSpecList& list) = 0;

protected:
    std::wstring keyPath;
};

class XmpMetadataPropSpecListBuilder : public MetadataPropSpecListBuilder {
public:
    using MetadataPropSpecListBuilder::MetadataPropSpecListBuilder;

    // Dublin Core, Photoshop and XMP basic rows, each table only when enabled.
    int32_t Build(PropSpecList& list) override;

    // The "DefaultSchemas" switch named schemaKey: off only for REG_DWORD 0.
    bool IsDefaultSchemaEnabled(const wchar_t* schemaKey) const;
};

}  // namespace velmora
