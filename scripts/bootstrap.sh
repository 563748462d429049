#!/usr/bin/env bash
# The main job: install what is missing, build both programs, run the showcase:
# the example programs through zarn, then a project created and packed by vek.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

for example in hello bank primes fizzbuzz; do
  echo "== zarn run examples/$example.zarn"
  ./build/zarn run "examples/$example.zarn"
done

echo "== zarn check examples/bank.zarn"
./build/zarn check examples/bank.zarn

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
vek="$PWD/build/vek"
zarn="$PWD/build/zarn"
echo "== vek new demo && vek package (in a scratch directory)"
(
  cd "$scratch"
  export ZARN_HOME="$scratch/home"
  "$vek" new demo
  cd demo
  "$vek" package
  "$zarn" run src/main.zarn
)
