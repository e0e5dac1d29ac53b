// The process-wide configuration: the product key's plain values, the
// standard property-spec list and the custom schemas, built once on first
// use under a lock and read-only afterwards.
#include "config/VelmoraConfiguration.h"

#include "common/Registry.h"
#include "config/CustomSchemaRegistry.h"
#include "config/DocumentPropSpecs.h"
#include "config/SchemaDefinitions.h"
#include "diag/Debugger.h"
#include "xmp/DescriptiveText.h"
#include "xmp/PropSpecListBuilder.h"

#include <memory>
#include <mutex>
#include <vector>

namespace velmora {

namespace {

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool ReadRegistryDword(const std::wstring& keyPath, const wchar_t* valueName, uint32_t& value) {
    const UniqueHKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath, KEY_READ);
    if (!key) return false;
    DWORD data = 0;
    if (!QueryRegistryDword(key.Get(), valueName, data)) return false;
    value = data;
    return true;
}

bool ReadRegistrySwitch(const std::wstring& keyPath, const wchar_t* valueName, bool defaultValue) {
    uint32_t data = 0;
    if (!ReadRegistryDword(keyPath, valueName, data) || data > 1) return defaultValue;
    return data == 1;
}

bool ReadRegistryString(const std::wstring& keyPath, const wchar_t* valueName, std::wstring& value) {
    const UniqueHKey key = OpenRegistryKey(HKEY_LOCAL_MACHINE, keyPath, KEY_READ);
    if (!key) return false;
    return QueryRegistryString(key.Get(), valueName, value);
}

bool ResolveTempDirectory(const std::wstring& keyPath, std::wstring& directory) {
    // An empty "TempPath" names no directory and counts as missing.
    std::wstring configured;
    if (ReadRegistryString(keyPath, L"TempPath", configured) && !configured.empty()) {
        if (configured.back() != L'\\') configured += L'\\';
        if (IsDirectory(configured)) {
            directory = configured;
            return true;
        }
    }

    const DWORD required = GetTempPathW(0, nullptr);  // characters, terminator included
    if (required == 0) return false;
    std::vector<wchar_t> buffer(required, L'\0');
    if (GetTempPathW(required, buffer.data()) != required - 1) return false;
    std::wstring system(buffer.data(), required - 1);
    if (!IsDirectory(system)) return false;
    directory = system;
    return true;
}

VelmoraConfiguration::VelmoraConfiguration(const std::wstring& path) : keyPath(path) {
    tempDirectory.clear();
    ResolveTempDirectory(keyPath, tempDirectory);

    multipleInstancesMode = ReadRegistrySwitch(keyPath, L"MultipleInstancesMode", false) ? 1 : 0;
    formatHandlers = ReadRegistrySwitch(keyPath, L"FormatHandlers", true);
    nativeMetadata = ReadRegistrySwitch(keyPath, L"NativeMetadata", true);
    languageLocales = ReadRegistrySwitch(keyPath, L"LanguageLocales", true);
    descriptiveText = ReadRegistrySwitch(keyPath, L"DescriptiveText", true);
    if (!descriptiveText) {
        debugger.Log(2, L"INFO: descriptive text is off: the full text holds the mapped properties' values alone \n");
    }

    XmpMetadataPropSpecListBuilder builder(keyPath);
    builder.Build(standardPropSpecs);
    LoadCustomSchemas(keyPath, customSchemas);
    // Before any document is parsed in this process, so that documents
    // cannot choose the prefixes the definition files' paths go through.
    RegisterDefinitionPrefixes(customSchemas);
    // The usual prefixes of the namespaces the definition files' paths pass
    // through, where the files themselves gave none.
    RegisterDescriptivePrefixes();
    BuildCustomPropSpecs(customSchemas, customPropSpecs);
}

const VelmoraConfiguration& VelmoraConfiguration::Instance() {
    // The lock is constant-initialised, so it exists before any thread can
    // get here. A build that throws leaves instance empty: the exception
    // reaches the caller and the next call builds again.
    static std::mutex lock;
    static std::unique_ptr<const VelmoraConfiguration> instance;
    std::lock_guard<std::mutex> guard(lock);
    if (!instance) instance = std::make_unique<const VelmoraConfiguration>();
    return *instance;
}

}  // namespace velmora
