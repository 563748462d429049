# filesystem.readFile and writeFile refuse a named pipe without a peer
# instead of waiting for one.
. "$(dirname "$0")/lib.sh"

mkfifo "$WORK/pipe"
cat >"$WORK/pipe.zarn" <<'ZARN'
use filesystem
use process
let path: string = process.arguments()[0]
println(filesystem.readFile(path) == "")
println(filesystem.writeFile(path, "x"))
ZARN
run_zarn run "$WORK/pipe.zarn" "$WORK/pipe"
expect_status 0 "a named pipe in readFile and writeFile"
expect_text "$WORK/out" "true" "readFile of a named pipe"
expect_text "$WORK/out" "false" "writeFile of a named pipe"
