# Deep nesting runs the same with a small process stack: the pipeline runs on
# a thread whose stack size does not depend on `ulimit -s`.
. "$(dirname "$0")/lib.sh"

awk 'BEGIN {
  n = 995
  print "let depth: int = 0"
  for (i = 0; i < n; i++) print "if (true) {"
  print "depth = 995"
  for (i = 0; i < n; i++) print "}"
  print "println(depth)"
}' >"$WORK/nested.zarn"
set +e
(ulimit -s 1024 && timeout "$LIMIT" "$ZARN" run "$WORK/nested.zarn") >"$WORK/out" 2>"$WORK/err"
status=$?
set -e
expect_status 0 "995 nested blocks with a 1 MiB stack"
expect_text "$WORK/out" "995" "995 nested blocks with a 1 MiB stack"
