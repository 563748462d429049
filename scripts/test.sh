#!/usr/bin/env bash
# Builds and runs every test: the normal build, then the same suite under
# AddressSanitizer and UndefinedBehaviorSanitizer, then the fuzz targets over
# their seed corpus (and a bounded fuzz run when FUZZ_SECONDS is set). Every
# tree is built with warnings as errors.
set -euo pipefail
cd "$(dirname "$0")/.."

JOBS="${JOBS:-2}"
scripts/deps.sh

echo "== build and test (RelWithDebInfo)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_WERROR=ON >/dev/null
cmake --build build -j"$JOBS"
ctest --test-dir build -j"$JOBS" --output-on-failure

echo "== build and test (AddressSanitizer + UndefinedBehaviorSanitizer)"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZARN_SANITIZE=ON -DZARN_WERROR=ON \
      >/dev/null
cmake --build build-asan -j"$JOBS"
ctest --test-dir build-asan -j"$JOBS" --output-on-failure

echo "== fuzz targets (clang, libFuzzer)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZARN_WERROR=ON \
      -DCMAKE_CXX_COMPILER=clang++ -DZARN_FUZZ=ON -DZARN_TESTS=OFF >/dev/null
cmake --build build-fuzz -j"$JOBS"
scripts/fuzz.sh replay
if [ -n "${FUZZ_SECONDS:-}" ]; then
  scripts/fuzz.sh run "$FUZZ_SECONDS"
fi
