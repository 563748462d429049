# Formats a copy of every golden program and example with `zarn format` on
# their folders, then runs each case on the formatted copy: the output, the
# errors and the exit status must be the ones expected of the original.
# Cases whose expected output quotes source lines (diagnostics with "-->")
# are run only when formatting left their program as it was, since a new
# layout moves the lines such output points at.
#
#   sh format_corpus.sh ZARN GOLDEN_RUNNER SOURCE_DIR
set -eu
ZARN="$1"
RUNNER="$2"
SOURCE="$3"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

cp -R "$SOURCE/tests/golden" "$WORK/golden"
cp -R "$SOURCE/examples" "$WORK/examples"
# Programs with syntax errors are reported and left alone, so the status is 1.
timeout 120 "$ZARN" format "$WORK/golden" "$WORK/examples" >"$WORK/format.log" 2>&1 || true
grep -q "File formatted" "$WORK/format.log" || { echo "FAIL: nothing formatted"; exit 1; }

failures=0
ran=0
skipped=0
for expected in $(cd "$WORK" && find golden examples -name '*.out' | sort); do
  base="${expected%.out}"
  if ! cmp -s "$SOURCE/tests/$base.zarn" "$WORK/$base.zarn" 2>/dev/null &&
     ! cmp -s "$SOURCE/$base.zarn" "$WORK/$base.zarn" 2>/dev/null; then
    if grep -qs -- "-->" "$WORK/$base.out" "$WORK/$base.err"; then
      skipped=$((skipped + 1))
      echo "skipped (quotes moved lines): $base"
      continue
    fi
  fi
  ran=$((ran + 1))
  if ! "$RUNNER" "$ZARN" "$WORK/$base" >"$WORK/case.log" 2>&1; then
    failures=$((failures + 1))
    echo "FAIL: $base"
    head -c 3000 "$WORK/case.log"
    diff "$SOURCE/tests/$base.zarn" "$WORK/$base.zarn" 2>/dev/null | head -40 ||
      diff "$SOURCE/$base.zarn" "$WORK/$base.zarn" | head -40 || true
  fi
done
echo "ran $ran cases on formatted programs, skipped $skipped, $failures failed"
[ "$failures" -eq 0 ]
