#!/usr/bin/env bash
# Paints the counter example headless (the same painter and snapshot path
# the tests use) and stores it as docs/counter_app.png for the README.
#   scripts/tavi_screenshot.sh [build-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ZARN_HEADLESS=1 ZARN_TAVI_SNAPSHOT="$work" "$build/zarn" run "$root/examples/counter_app.zarn" >/dev/null
python3 "$root/scripts/ppm_to_png.py" "$work/window1.ppm" "$root/docs/counter_app.png"
echo "wrote docs/counter_app.png"
