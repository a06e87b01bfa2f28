# A create over an existing file answered No leaves the file as it was and
# opens nothing; a .zst of two frames, each stating its size, cancelled while
# its second frame is written ends "Cancelled", not "Success", with the drive's
# first MiB zero.

make_pattern_file "$SCRATCH/e.bin" 1572864
map_file_drive E "$SCRATCH/e.bin"
head -c 3000000 /dev/urandom >"$SCRATCH/old.img"
cp "$SCRATCH/old.img" "$SCRATCH/old.copy"
# Frame one: 2 MiB of random bytes; frame two: 2 GiB of zeros, slow to write onto the drive.
head -c 2097152 /dev/urandom >"$SCRATCH/one.img"
truncate -s 2G "$SCRATCH/two.img"
{ zstd -q -c "$SCRATCH/one.img"; zstd -q -1 -c "$SCRATCH/two.img"; } >"$SCRATCH/frames.img.zst"
rm -f "$SCRATCH/two.img"
make_pattern_file "$SCRATCH/f.bin" 512
map_file_drive F "$SCRATCH/f.bin"
start_tavrin

ui tab 1 >/dev/null
items=$(ui combo-items 1036)
ui combo-select 1036 $(( $(echo "$items" | grep -n '^Drive E:' | cut -d: -f1) - 1 )) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/old.img")"
ui click 1008
ui answer 'Confirm Replace' no 5000 >/dev/null || fail "replacing the existing image was not asked"
ui no-box Success 500 >/dev/null || fail "the create ran though No was answered"
cmp "$SCRATCH/old.copy" "$SCRATCH/old.img" || fail "the existing file changed though No was answered"

ui tab 0 >/dev/null
ui combo-select 1036 $(( $(echo "$items" | grep -n '^Drive F:' | cut -d: -f1) - 1 )) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/frames.img.zst")"
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
ui wait-text 1008 Cancel 5000 >/dev/null || fail "the button did not turn into Cancel"
# Past the first frame's 2 MiB: the drive file grows beyond it.
for _ in $(seq 1 100); do
  [ "$(stat -c %s "$SCRATCH/f.bin")" -gt 8388608 ] && break
  sleep 0.1
done
[ "$(stat -c %s "$SCRATCH/f.bin")" -gt 8388608 ] || fail "the second frame was not reached"
ui click 1008
box=$(ui answer Cancelled ok 15000) || fail "no Cancelled box; boxes: $(ui windows)"
case "$box" in
  "Image Write Cancelled"*) ;;
  *) fail "cancel box text: got '$box'" ;;
esac
expect_eq "Cancelled" "$(ui status)" "status line after the cancel in the second frame"
cmp -n 1048576 /dev/zero "$SCRATCH/f.bin" || fail "the drive's first MiB is not zero"
ui close
wait_tavrin_exit 5
