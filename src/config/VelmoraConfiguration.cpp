// Placeholder until the configuration lands: system temp directory and the
// standard list only.
#include "config/VelmoraConfiguration.h"

#include "xmp/PropSpecListBuilder.h"

#include <memory>
#include <mutex>

namespace velmora {

VelmoraConfiguration::VelmoraConfiguration(const std::wstring& path) : keyPath(path) {
    wchar_t temp[MAX_PATH + 1];
    if (GetTempPathW(MAX_PATH + 1, temp)) tempDirectory = temp;
    XmpMetadataPropSpecListBuilder builder(keyPath);
    builder.Build(standardPropSpecs);
}

const VelmoraConfiguration& VelmoraConfiguration::Instance() {
    static std::mutex lock;
    static std::unique_ptr<VelmoraConfiguration> instance;
    std::lock_guard<std::mutex> guard(lock);
    if (!instance) instance = std::make_unique<VelmoraConfiguration>();
    return *instance;
}

}  // namespace velmora
