// ZARN_ASSERT(condition, "why it holds"): checks an invariant of the code in
// Debug and sanitizer builds and ends the process with a report when it does
// not hold. Other builds compile the check away, so a condition must have no
// effects of its own.
#pragma once

#include <cstdio>
#include <cstdlib>

#if !defined(NDEBUG) || defined(ZARN_CHECKED)
#define ZARN_ASSERTIONS_LIVE 1
#define ZARN_ASSERT(condition, why)                                                                \
    ((condition) ? static_cast<void>(0)                                                            \
                 : ::zarn::assertionFailed(#condition, why, __FILE__, __LINE__))
#else
#define ZARN_ASSERTIONS_LIVE 0
#define ZARN_ASSERT(condition, why) static_cast<void>(sizeof((condition) ? 1 : 0))
#endif

namespace zarn {

[[noreturn]] inline void assertionFailed(const char* condition, const char* why, const char* file,
                                         int line) {
    std::fprintf(stderr, "%s:%d: internal invariant broken: %s (%s)\n", file, line, why, condition);
    std::fflush(stderr);
    std::abort();
}

} // namespace zarn
