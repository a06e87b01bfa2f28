# Creating an image from a drive: no warning, the "Success" box, and an image
# file equal to the drive's bytes. An existing file of that name is replaced.

make_pattern_file "$SCRATCH/e.bin" 1572864
map_file_drive E "$SCRATCH/e.bin"
head -c 3000000 /dev/urandom >"$SCRATCH/out.img"
start_tavrin

ui tab 1 >/dev/null
index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/out.img")"
ui click 1008
# The file exists already: replacing it is asked first, and Yes lets the create go on.
ui answer 'Confirm Replace' yes 5000 >/dev/null || fail "replacing the existing image was not asked"
ui answer Success ok 15000 >/dev/null || fail "no Success box; boxes: $(ui windows)"
ui no-box 'Warning! Data will be lost!' 200 >/dev/null || fail "creating an image asked for the warning"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the job"
cmp "$SCRATCH/e.bin" "$SCRATCH/out.img" || fail "the image differs from the drive"
ui close
wait_tavrin_exit 5
