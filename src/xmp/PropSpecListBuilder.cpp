// The standard property-spec list: the rows of every standard schema that the
// "DefaultSchemas" subkey of the product key has not switched off.
#include "xmp/PropSpecListBuilder.h"

#include "common/Registry.h"
#include "diag/Debugger.h"
#include "xmp/StandardSchemas.h"

namespace velmora {

int32_t XmpMetadataPropSpecListBuilder::Build(PropSpecList& list) {
    int32_t count = 0;
    for (const StandardSchema& schema : standardSchemas) {
        if (!IsDefaultSchemaEnabled(schema.registrySwitch)) continue;
        list.insert(list.end(), schema.rows, schema.rows + schema.rowCount);
        ++count;
    }
    return count;
}

bool XmpMetadataPropSpecListBuilder::IsDefaultSchemaEnabled(const wchar_t* schemaKey) const {
    const UniqueHKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath + L"\\DefaultSchemas", KEY_QUERY_VALUE);
    if (!key) {
        debugger.Log(1, L"INFO: cannot open default XMP schemas registry subkey");
        return true;
    }
    DWORD data = 0;
    if (!QueryRegistryDword(key.Get(), schemaKey, data)) {
        debugger.LogFormat(1, L"INFO: cannot open registry subkey for default XMP schema %s", schemaKey);
        return true;
    }
    return data != 0;
}

}  // namespace velmora
