// The two 64-bit Mersenne Twister engines of the random module: one serves
// integers, the other floats. Each is seeded on its first use, exactly once,
// from a nondeterministic random device, and never reseeded.
#pragma once

#include <cstdint>
#include <mutex>
#include <random>

namespace zarn::stdlib {

class RandomEngines {
public:
    RandomEngines() = default;
    RandomEngines(const RandomEngines&) = delete;
    RandomEngines& operator=(const RandomEngines&) = delete;

    // Uniform in [min(a, b), max(a, b)], both ends included.
    int64_t nextInt(int64_t a, int64_t b);
    // Uniform in [0, 1): the top 53 bits of one engine output times 2^-53.
    double nextFloat();

    // Draws from the given engine output the way nextInt/nextFloat do; exposed
    // so that the mapping can be checked against a known engine.
    static int64_t drawInt(std::mt19937_64& engine, int64_t a, int64_t b);
    static double toUnitInterval(uint64_t output) {
        return static_cast<double>(output >> 11) * 0x1.0p-53;
    }

private:
    std::mt19937_64& seeded(std::mt19937_64& engine, std::once_flag& once);

    std::once_flag intOnce_;
    std::once_flag floatOnce_;
    std::mt19937_64 intEngine_;
    std::mt19937_64 floatEngine_;
};

} // namespace zarn::stdlib
