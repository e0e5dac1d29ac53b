// The process-wide configuration, built from the product key the first time a
// filter object is created and read-only afterwards. Registry changes take
// effect only in a process that loads the DLL afresh.
#pragma once

#include "common/Product.h"
#include "config/CustomSchema.h"
#include "xmp/PropSpec.h"

#include <cstdint>
#include <list>
#include <string>

namespace velmora {

class VelmoraConfiguration {
public:
    // The one instance, built on first use; safe when several threads ask at
    // once. A build that throws counts as not built: the exception reaches
    // the caller and the next call builds again.
    static const VelmoraConfiguration& Instance();

    // Builds a configuration from HKEY_LOCAL_MACHINE\keyPath (tests use this
    // directly; the DLL only through Instance).
    explicit VelmoraConfiguration(const std::wstring& keyPath = kProductKeyPath);

    std::wstring tempDirectory;          // ends in a backslash, or empty
    std::wstring keyPath;
    uint32_t multipleInstancesMode = 0;  // 0 or 1
    // "FormatHandlers": the toolkit's handler for a document's format reads
    // its metadata where the format keeps it; off, the packet search alone.
    bool formatHandlers = true;
    // "NativeMetadata": the handler imports the format's own metadata (Exif,
    // TIFF tags, IPTC, Photoshop resources) into the XMP; off, XMP alone.
    bool nativeMetadata = true;
    // "LanguageLocales": each text of a language alternative (dc:title and
    // the like) reaches the host with the locale of its xml:lang, so that the
    // host breaks it into words as that language; off, every chunk carries
    // the system default locale.
    bool languageLocales = true;
    // "DescriptiveText": the full text holds, beside the mapped properties'
    // values, every descriptive text of the document (xmp/DescriptiveText.h);
    // off, the mapped properties' values alone.
    bool descriptiveText = true;
    PropSpecList standardPropSpecs;
    CustomSchemaList customSchemas;
    // Each custom schema's entries, built once from its definitions, in the
    // order of customSchemas; empty for a schema discovered per document.
    // Documents point at these and at standardPropSpecs rather than copy them.
    std::list<PropSpecList> customPropSpecs;
};

// A switch under HKLM\keyPath: a REG_DWORD of 0 is off, of 1 on; anything
// else, or nothing, is the default.
bool ReadRegistrySwitch(const std::wstring& keyPath, const wchar_t* valueName, bool defaultValue);
// REG_DWORD of exactly 4 bytes under HKLM\keyPath.
bool ReadRegistryDword(const std::wstring& keyPath, const wchar_t* valueName, uint32_t& value);
// REG_SZ under HKLM\keyPath, terminated safely whatever the stored data.
bool ReadRegistryString(const std::wstring& keyPath, const wchar_t* valueName, std::wstring& value);
// "TempPath" when it names a directory (with a backslash appended), else the
// system temporary directory; false when neither exists.
bool ResolveTempDirectory(const std::wstring& keyPath, std::wstring& directory);

}  // namespace velmora
