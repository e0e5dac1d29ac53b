// The property-specification records: FullPropSpec, the owning form of the
// Windows FULLPROPSPEC (same layout, so it can be handed to a host and compared
// with a host's attributes), and MetadataPropSpec, one entry of a
// property-spec list: which XMP property, under which host property, as which type.
#pragma once

#include "xmp/ValueConversion.h"

#include <windows.h>
#include <filter.h>

#include <list>
#include <memory>
#include <string>
#include <utility>

namespace velmora {

class FullPropSpec {
public:
    FullPropSpec() noexcept;                                   // all-zero set, PRSPEC_PROPID 0
    FullPropSpec(const GUID& propertySet, PROPID id) noexcept;
    FullPropSpec(const GUID& propertySet, const wchar_t* name);  // throws std::bad_alloc
    FullPropSpec(const FullPropSpec& other);                     // deep copy; throws std::bad_alloc
    FullPropSpec& operator=(const FullPropSpec& other);
    ~FullPropSpec();

    void SetPropertySet(const GUID& propertySet) noexcept { spec.guidPropSet = propertySet; }
    void SetPropertyId(PROPID id) noexcept;
    // False, leaving the record named but without a name, when name is null
    // or the copy cannot be allocated.
    bool SetPropertyName(const wchar_t* name) noexcept;

    const GUID& PropertySet() const noexcept { return spec.guidPropSet; }
    ULONG Kind() const noexcept { return spec.psProperty.ulKind; }
    PROPID Id() const noexcept { return spec.psProperty.propid; }
    const wchar_t* Name() const noexcept { return spec.psProperty.lpwstr; }
    const FULLPROPSPEC& Get() const noexcept { return spec; }

    // Same set byte for byte and same kind; then names equal ignoring the case
    // of ASCII A-Z, or identifiers equal. Any other kind never matches.
    static bool Matches(const FULLPROPSPEC& a, const FULLPROPSPEC& b) noexcept;
    bool operator==(const FullPropSpec& other) const noexcept { return Matches(spec, other.spec); }
    bool operator==(const FULLPROPSPEC& other) const noexcept { return Matches(spec, other); }

private:
    void ReleaseName() noexcept;

    FULLPROPSPEC spec;
};

static_assert(sizeof(FullPropSpec) == sizeof(FULLPROPSPEC), "FullPropSpec keeps the FULLPROPSPEC layout");

struct MetadataPropSpec {
    MetadataPropSpec(std::string schemaNS, std::string propPath, FullPropSpec propSpec, VARTYPE type,
                     std::shared_ptr<const ValueMap> valueMap = nullptr)
        : schemaNS(std::move(schemaNS)),
          propPath(std::move(propPath)),
          propSpec(std::move(propSpec)),
          type(type),
          valueMap(std::move(valueMap)) {}

    std::string schemaNS;  // XMP namespace URI, UTF-8
    std::string propPath;  // XMP property path within it, UTF-8
    FullPropSpec propSpec;
    VARTYPE type;          // VT_LPWSTR, VT_FILETIME, VT_INT or a scalar type; anything else reads as text
    // A definition's declared value map, shared read-only by every copy; null for none.
    std::shared_ptr<const ValueMap> valueMap;
};

// Ordered; entries are appended and never reordered.
using PropSpecList = std::list<MetadataPropSpec>;

}  // namespace velmora
