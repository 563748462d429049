#include "vek/base/Home.h"

#include <cstdlib>

namespace vek {

std::string environmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

HomeEnvironment HomeEnvironment::fromProcess() {
    HomeEnvironment env;
    env.zarnHome = environmentValue("ZARN_HOME");
    env.userProfile = environmentValue("USERPROFILE");
    env.home = environmentValue("HOME");
    std::error_code ec;
    env.currentDir = std::filesystem::current_path(ec);
    return env;
}

std::filesystem::path homeDir(const HomeEnvironment& env) {
    if (!env.zarnHome.empty()) return env.zarnHome;
    if (!env.userProfile.empty()) return std::filesystem::path(env.userProfile) / ".zarn";
    if (!env.home.empty()) return std::filesystem::path(env.home) / ".zarn";
    return env.currentDir / ".zarn";
}

} // namespace vek
