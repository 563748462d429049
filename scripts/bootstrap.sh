#!/usr/bin/env bash
# The main job: install what is missing, build both programs, run the showcase:
# the example programs through zarn, then vek end to end against a local
# registry (an account, a library published from one project and installed
# into another, which then runs).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2

for example in hello bank primes fizzbuzz; do
  echo "== zarn run examples/$example.zarn"
  ./build/zarn run "examples/$example.zarn"
done

echo "== zarn run examples/json_api.zarn --check (serves, asks itself once, stops)"
./build/zarn run examples/json_api.zarn --check

echo "== ZARN_HEADLESS=1 zarn run examples/counter_app.zarn (a Tavi window, headless)"
ZARN_HEADLESS=1 ./build/zarn run examples/counter_app.zarn

echo "== zarn check examples/bank.zarn"
./build/zarn check examples/bank.zarn

scratch="$(mktemp -d)"
registry_pid=""
cleanup() {
  if [ -n "$registry_pid" ]; then
    kill "$registry_pid" 2>/dev/null || true
    wait "$registry_pid" 2>/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT
vek="$PWD/build/vek"
zarn="$PWD/build/zarn"
registry="$PWD/build/vek-registry"
echo "== vek-registry on 127.0.0.1 (a free port), an account, a library published, an app using it"
mkfifo "$scratch/registry.out"
"$registry" --listen 127.0.0.1:0 --data "$scratch/registry" --quiet >"$scratch/registry.out" &
registry_pid=$!
exec 3<"$scratch/registry.out"
read -r first_line <&3
echo "$first_line"
export VEK_REGISTRY="${first_line##* }"
(
  cd "$scratch"
  export ZARN_HOME="$scratch/home"
  token="$(echo 'correct horse' | "$registry" adduser ada --email ada@example.org \
           --data "$scratch/registry")"
  "$vek" login --token "$token"
  "$vek" new mathlib
  cd mathlib
  rm src/main.zarn
  printf 'function triple(n: int): int {\n    return n * 3\n}\n' > src/lib.zarn
  printf '[build]\nentry = "src/lib.zarn"\n' >> zarn.toml
  "$vek" publish
  cd "$scratch"
  "$vek" new app
  cd app
  printf 'use mathlib\n\nfunction main(): int {\n    println("triple: " + triple(14))\n    return 0\n}\n' > src/main.zarn
  "$vek" add mathlib
  "$vek" install
  "$vek" tree
  "$vek" run
  "$vek" package
)
