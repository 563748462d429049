# Sources that are not regular files, or are too large, get the open error
# with a reason instead of being read without end (or blocking on a pipe);
# `zarn test` skips named pipes in a folder.
. "$(dirname "$0")/lib.sh"

run_zarn run /dev/zero
expect_status 1 "run /dev/zero"
expect_text "$WORK/err" "Error: could not open file '/dev/zero': not a regular file" "run /dev/zero"

mkfifo "$WORK/pipe.zarn"
run_zarn check "$WORK/pipe.zarn"
expect_status 1 "check a named pipe"
expect_text "$WORK/err" "pipe.zarn': not a regular file" "check a named pipe"

# A sparse file: no disk space is used.
truncate -s 65M "$WORK/huge.zarn"
run_zarn run "$WORK/huge.zarn"
expect_status 1 "run a 65 MiB file"
expect_text "$WORK/err" "huge.zarn': larger than the 64 MiB limit for source files" "65 MiB"

mkdir "$WORK/suite"
mkfifo "$WORK/suite/a_pipe.zarn"
echo 'println("ok")' >"$WORK/suite/b_pass.zarn"
run_zarn test "$WORK/suite"
expect_status 0 "test over a folder with a named pipe"
expect_text "$WORK/out" "(1 files found)" "test over a folder with a named pipe"
expect_text "$WORK/out" "Test Summary: 1 passed, 0 failed." "test over a folder with a named pipe"
