# A line of a megabyte: its diagnostics quote a window around the caret, so
# that a thousand of them stay small; a string literal of a megabyte of
# unmatched braces is expanded in linear time.
. "$(dirname "$0")/lib.sh"

awk 'BEGIN { s = "let x: int = 1 "; for (i = 0; i < 16; i++) s = s s; printf "%s", s; for (i = 0; i < 1200; i++) printf "@"; print "" }' \
  >"$WORK/long.zarn"
run_zarn check "$WORK/long.zarn"
expect_status 1 "errors on a long line"
size=$(wc -c <"$WORK/out")
[ "$size" -lt 2000000 ] || fail "errors on a long line: $size bytes of diagnostics"
expect_text "$WORK/out" "more errors not shown" "errors on a long line"

awk 'BEGIN { s = "{a"; for (i = 0; i < 19; i++) s = s s; printf "let s: string = \"%s\"\nprintln(sizeof(s))\n", s }' \
  >"$WORK/braces.zarn"
LIMIT=20 run_zarn run "$WORK/braces.zarn"
expect_status 0 "a megabyte of unmatched braces"
expect_text "$WORK/out" "1048576" "a megabyte of unmatched braces"
