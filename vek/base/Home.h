// The per-user home of vek: the package cache and the saved credentials.
#pragma once

#include <filesystem>
#include <string>

namespace vek {

// The environment values that decide the home directory.
struct HomeEnvironment {
    std::string zarnHome;    // ZARN_HOME
    std::string userProfile; // USERPROFILE
    std::string home;        // HOME
    std::filesystem::path currentDir;

    static HomeEnvironment fromProcess();
};

// ZARN_HOME when set and not empty; else USERPROFILE/.zarn; else
// HOME/.zarn; else the current directory's ".zarn".
std::filesystem::path homeDir(const HomeEnvironment& env);

// The value of an environment variable, empty when it is not set.
std::string environmentValue(const char* name);

} // namespace vek
