// Which registry vek talks to, and whether it may use the network at all.
#pragma once

#include <string>
#include <string_view>

namespace vek {

// The registry used when VEK_REGISTRY is not set; chosen when vek is built.
std::string defaultRegistryUrl();

// The base URL from the value of VEK_REGISTRY: cut at the first "#", trailing
// "/" removed; the default registry when that leaves nothing.
std::string registryBaseUrl(std::string_view environmentValue);

// True for the values of VEK_OFFLINE that switch the network off: "1", "true".
bool offlineFromEnvironment(std::string_view environmentValue);

} // namespace vek
