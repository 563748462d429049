#include "vek/registry/RegistrySettings.h"

#ifndef VEK_DEFAULT_REGISTRY
#define VEK_DEFAULT_REGISTRY "https://registry.zarn-lang.org"
#endif

namespace vek {

std::string defaultRegistryUrl() { return VEK_DEFAULT_REGISTRY; }

std::string registryBaseUrl(std::string_view environmentValue) {
    std::string_view url = environmentValue.substr(0, environmentValue.find('#'));
    while (!url.empty() && url.back() == '/') url.remove_suffix(1);
    return url.empty() ? defaultRegistryUrl() : std::string(url);
}

bool offlineFromEnvironment(std::string_view environmentValue) {
    return environmentValue == "1" || environmentValue == "true";
}

} // namespace vek
