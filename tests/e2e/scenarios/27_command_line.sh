# The command line, run as a console runs it: tavrin.exe with a command works
# without the window and ends with its exit code; its reports reach the
# handles it was given (here files), in UTF-8, progress on standard error.

make_pattern_file "$SCRATCH/e.bin" 100663296
map_file_drive E "$SCRATCH/e.bin"
head -c 1048576 /dev/urandom >"$SCRATCH/in.img"
head -c 67108864 /dev/urandom >"$SCRATCH/in2.img"

# Every run waits for the program and keeps its code; `tavrin` is the window build, `tavrin.com` the console one.
run() {
  local exe=$1; shift
  rc=0
  timeout 60 wine "$exe" "$@" >"$SCRATCH/out" 2>"$SCRATCH/err" </dev/null || rc=$?
  tr -d '\r' <"$SCRATCH/out" >"$SCRATCH/out.txt"
}
com=${TAVRIN_EXE%.exe}.com
[ -f "$com" ] || fail "no $com beside $TAVRIN_EXE"

run "$TAVRIN_EXE" list
expect_eq 0 "$rc" "exit code of list"
grep -qE '^E:	Drive E: \(' "$SCRATCH/out.txt" || fail "list does not show the mapped drive: $(cat "$SCRATCH/out.txt")"
run "$com" --version
expect_eq "0 tavrin 1.6.0.0" "$rc $(cat "$SCRATCH/out.txt")" "the console build's version"

run "$com" write "$(win_path "$SCRATCH/in2.img")" E: --yes
expect_eq 0 "$rc" "exit code of a write with --yes ($(cat "$SCRATCH/out.txt" "$SCRATCH/err"))"
cmp -n 67108864 "$SCRATCH/in2.img" "$SCRATCH/e.bin" || fail "the drive does not hold the image"
grep -q 'Target: Drive E:' "$SCRATCH/out.txt" || fail "the warning is not on standard output: $(cat "$SCRATCH/out.txt")"

# Without --yes and without a console to answer on, nothing is written.
cp "$SCRATCH/e.bin" "$SCRATCH/e.before"
run "$TAVRIN_EXE" write "$(win_path "$SCRATCH/in.img")" E
expect_eq 3 "$rc" "exit code of a write nobody agreed to"
cmp "$SCRATCH/e.before" "$SCRATCH/e.bin" || fail "a write nobody agreed to changed the drive"

run "$com" write "$(win_path "$SCRATCH/in.img")" E: F:
expect_eq 2 "$rc" "exit code of a write onto two disks"
grep -q 'several disks at once is not available yet' "$SCRATCH/err" || fail "two disks: $(cat "$SCRATCH/err")"

# The drive that holds Windows: its raw device is a scratch file here, so a
# write that got through would show, and would harm nothing.
c_raw="$WINEPREFIX/dosdevices/c::"
[ ! -e "$c_raw" ] || fail "c:: exists already"
cp "$SCRATCH/e.before" "$SCRATCH/c.bin"
ln -sfn "$SCRATCH/c.bin" "$c_raw"
trap 'rc=$?; rm -f "$c_raw"; (exit $rc); _scenario_cleanup' EXIT
run "$com" write "$(win_path "$SCRATCH/in.img")" C: --yes
rm -f "$c_raw"
expect_eq 3 "$rc" "exit code of a write onto the Windows drive ($(cat "$SCRATCH/out.txt"))"
cmp "$SCRATCH/e.before" "$SCRATCH/c.bin" || fail "the write onto the Windows drive changed it"
grep -q 'Windows' "$SCRATCH/out.txt" || fail "the refusal does not say why: $(cat "$SCRATCH/out.txt")"

# A drive that refuses writes past its first MiB: the disk-write error, exit 1.
head -c 1048576 /dev/zero >"$SCRATCH/loop.bin"
head -c 2097152 /dev/urandom >"$SCRATCH/big.img"
map_loop_drive L "$SCRATCH/loop.bin"
run "$com" write "$(win_path "$SCRATCH/big.img")" L --yes --no-verify
expect_eq 1 "$rc" "exit code of a write that met the disk-write error ($(cat "$SCRATCH/out.txt"))"
grep -q 'occured while writting to disk at sector' "$SCRATCH/out.txt" || fail "no disk-write error: $(cat "$SCRATCH/out.txt")"
