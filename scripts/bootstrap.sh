#!/usr/bin/env bash
# The main job: install what is missing, build both programs, run the showcase.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
./build/zarn run examples/hello.zarn
