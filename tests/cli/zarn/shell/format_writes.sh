# `zarn format` writing files: the new text replaces the old in one rename
# (mode kept, no temporary file left), unchanged files are not rewritten,
# folders are walked, files with errors and --check runs stay untouched, and
# a file that cannot be replaced is reported, not half written.
. "$(dirname "$0")/lib.sh"

printf 'function main( ):void{println( "x" ) }\n' >"$WORK/a.zarn"
chmod 640 "$WORK/a.zarn"
run_zarn format "$WORK/a.zarn"
expect_status 0 "format a file"
expect_text "$WORK/out" "✓ File formatted: $WORK/a.zarn" "format a file"
printf 'function main(): void {\n    println("x")\n}\n' >"$WORK/expected"
cmp -s "$WORK/a.zarn" "$WORK/expected" || fail "format a file: content $(cat "$WORK/a.zarn")"
[ "$(stat -c %a "$WORK/a.zarn")" = 640 ] || fail "format a file: mode $(stat -c %a "$WORK/a.zarn")"
[ -z "$(ls -A "$WORK" | grep fmt-)" ] || fail "format a file: temporary file left"

# A formatted file is left as it is: same inode, so nothing was written.
inode=$(stat -c %i "$WORK/a.zarn")
run_zarn format "$WORK/a.zarn"
expect_status 0 "format a formatted file"
[ "$(stat -c %i "$WORK/a.zarn")" = "$inode" ] || fail "format a formatted file: rewritten"

# --check changes nothing and names what would change.
printf 'let  y:int=2\n' >"$WORK/b.zarn"
cp "$WORK/b.zarn" "$WORK/b.orig"
run_zarn format --check "$WORK/a.zarn" "$WORK/b.zarn"
expect_status 1 "check"
expect_text "$WORK/out" "Would reformat: $WORK/b.zarn" "check"
grep -q "a.zarn" "$WORK/out" && fail "check: a formatted file named"
cmp -s "$WORK/b.zarn" "$WORK/b.orig" || fail "check: file changed"

# A folder: every .zarn below it, other files untouched; a file with a syntax
# error gets its diagnostics and stays as it was, and the status is 1.
mkdir -p "$WORK/tree/sub/deeper"
printf 'let  z:int=3\n' >"$WORK/tree/sub/deeper/c.zarn"
printf 'let  q:int=3\n' >"$WORK/tree/notes.txt"
printf 'let w: int = (1 +\n' >"$WORK/tree/sub/broken.zarn"
cp "$WORK/tree/sub/broken.zarn" "$WORK/broken.orig"
run_zarn format "$WORK/tree"
expect_status 1 "folder with a broken file"
expect_text "$WORK/out" "✓ File formatted: $WORK/tree/sub/deeper/c.zarn" "folder"
expect_text "$WORK/out" "error[E0005]" "folder: diagnostics of the broken file"
[ "$(cat "$WORK/tree/sub/deeper/c.zarn")" = "let z: int = 3" ] || fail "folder: c.zarn not formatted"
[ "$(cat "$WORK/tree/notes.txt")" = "let  q:int=3" ] || fail "folder: a .txt file changed"
cmp -s "$WORK/tree/sub/broken.zarn" "$WORK/broken.orig" || fail "folder: broken file changed"

# A link to a file: the file it points to is formatted, the link stays.
printf 'let  v:int=4\n' >"$WORK/target.zarn"
ln -s "$WORK/target.zarn" "$WORK/link.zarn"
run_zarn format "$WORK/link.zarn"
expect_status 0 "link"
[ -L "$WORK/link.zarn" ] || fail "link: replaced by a file"
[ "$(cat "$WORK/target.zarn")" = "let v: int = 4" ] || fail "link: target not formatted"

# A folder where no temporary file can be made: reported, file unchanged.
if [ "$(id -u)" != 0 ]; then
  mkdir "$WORK/locked"
  printf 'let  u:int=5\n' >"$WORK/locked/d.zarn"
  chmod 555 "$WORK/locked"
  run_zarn format "$WORK/locked/d.zarn"
  chmod 755 "$WORK/locked"
  expect_status 1 "read-only folder"
  expect_text "$WORK/err" "Error: could not write file '$WORK/locked/d.zarn'" "read-only folder"
  [ "$(cat "$WORK/locked/d.zarn")" = "let  u:int=5" ] || fail "read-only folder: file changed"
  [ -z "$(ls -A "$WORK/locked" | grep fmt-)" ] || fail "read-only folder: temporary file left"
fi
