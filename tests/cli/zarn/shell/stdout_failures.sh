# Output that cannot be written (a full device, a closed descriptor) makes the
# exit status 1, also when the script ends with process.exit(0).
. "$(dirname "$0")/lib.sh"

echo 'println("hello")' >"$WORK/hello.zarn"
printf 'use process\nprintln("hello")\nprocess.exit(0)\n' >"$WORK/exits.zarn"

for script in hello exits; do
  set +e
  timeout "$LIMIT" "$ZARN" run "$WORK/$script.zarn" >/dev/full 2>"$WORK/err"
  status=$?
  set -e
  expect_status 1 "$script > /dev/full"
  set +e
  timeout "$LIMIT" "$ZARN" run "$WORK/$script.zarn" >&- 2>"$WORK/err"
  status=$?
  set -e
  expect_status 1 "$script with standard output closed"
done
run_zarn run "$WORK/hello.zarn"
expect_status 0 "hello to a file"
