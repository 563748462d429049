#!/usr/bin/env bash
# Replays the seed corpus of every fuzz target, or fuzzes each for a bounded time.
#   scripts/fuzz.sh replay
#   scripts/fuzz.sh run SECONDS
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-replay}"
seconds="${2:-60}"
shopt -s nullglob
targets=(build-fuzz/fuzz_*)
if ((${#targets[@]} == 0)); then
  echo "no fuzz targets built"
  exit 0
fi
for target in "${targets[@]}"; do
  name="$(basename "$target")"
  corpus="tests/fuzz/corpus/${name#fuzz_}"
  [ -d "$corpus" ] || continue
  # The interpreter is also seeded with every golden program.
  extra=()
  if [ "$name" = fuzz_interpreter ]; then extra=(tests/golden); fi
  if [ "$mode" = replay ]; then
    echo "replaying $corpus ${extra[*]} with $name"
    "$target" -runs=0 "$corpus" "${extra[@]}"
  else
    work="$(mktemp -d)"
    cp -r "$corpus"/. "$work"/
    per=$(( seconds / ${#targets[@]} )); (( per > 0 )) || per=1
    echo "fuzzing $name for ${per}s"
    "$target" -max_total_time="$per" -max_len=4096 -rss_limit_mb=2048 -timeout=10 "$work" \
      "${extra[@]}"
    rm -rf "$work"
  fi
done
