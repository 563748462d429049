#include "zarn/stdlib/RandomEngines.h"

#include <chrono>
#include <limits>

namespace zarn::stdlib {
namespace {

uint32_t nondeterministicSeed() {
    try {
        std::random_device device;
        return static_cast<uint32_t>(device());
    } catch (...) {
        // No entropy source: the clock still differs from run to run.
        auto now = std::chrono::high_resolution_clock::now().time_since_epoch().count();
        return static_cast<uint32_t>(now ^ (now >> 32));
    }
}

} // namespace

std::mt19937_64& RandomEngines::seeded(std::mt19937_64& engine, std::once_flag& once) {
    std::call_once(once, [&engine] { engine.seed(nondeterministicSeed()); });
    return engine;
}

int64_t RandomEngines::drawInt(std::mt19937_64& engine, int64_t a, int64_t b) {
    int64_t low = a < b ? a : b;
    int64_t high = a < b ? b : a;
    if (low == std::numeric_limits<int64_t>::min() && high == std::numeric_limits<int64_t>::max()) {
        return static_cast<int64_t>(engine());
    }
    return std::uniform_int_distribution<int64_t>(low, high)(engine);
}

int64_t RandomEngines::nextInt(int64_t a, int64_t b) {
    return drawInt(seeded(intEngine_, intOnce_), a, b);
}

double RandomEngines::nextFloat() { return toUnitInterval(seeded(floatEngine_, floatOnce_)()); }

} // namespace zarn::stdlib
