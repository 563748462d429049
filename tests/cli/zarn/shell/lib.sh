# Shared by the shell cases: the zarn program under test, a scratch directory
# removed at the end, a bound on every run, and assertions.
set -eu
ZARN="$1"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
LIMIT=30

# Runs zarn with a time limit; its status in $status, its output in files.
run_zarn() {
  set +e
  timeout "$LIMIT" "$ZARN" "$@" >"$WORK/out" 2>"$WORK/err"
  status=$?
  set -e
}

fail() {
  echo "FAIL: $*"
  echo "--- stdout"; head -c 2000 "$WORK/out" || true
  echo "--- stderr"; head -c 2000 "$WORK/err" || true
  exit 1
}

expect_status() {
  [ "$status" = "$1" ] || fail "$2: status $status, expected $1"
}

expect_text() { # FILE TEXT WHAT
  grep -qF -- "$2" "$1" || fail "$3: '$2' not found"
}
