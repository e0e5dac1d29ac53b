// Placeholder until custom schemas land: no custom entries.
#include "config/SchemaDefinitions.h"

namespace velmora {

int32_t AppendCustomSchemaPropSpecs(const CustomSchemaList&, const SXMPMeta*, PropSpecList&) { return 0; }

}  // namespace velmora
