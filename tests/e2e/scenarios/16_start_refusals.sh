# Start refuses what it cannot carry out, each with its box, and leaves the
# window idle with nothing written: an empty file name on either tab, an
# empty drive field, a missing image (before the warning), a declined warning, an image path that
# cannot be created.

make_pattern_file "$SCRATCH/e.bin" 262144
cp "$SCRATCH/e.bin" "$SCRATCH/e.orig"
map_file_drive E "$SCRATCH/e.bin"
head -c 131072 /dev/urandom >"$SCRATCH/in.img"
start_tavrin
index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
ui combo-select 1036 $((index - 1)) >/dev/null

for tab in 0 1; do
  ui tab "$tab" >/dev/null
  ui set-text 1039 ""
  ui click 1008
  expect_eq "Please select a image file name before proceeding" "$(ui answer 'Error with filename' ok)" "empty name, tab $tab"
done

ui tab 0 >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/in.img")"
ui set-text 1036 ""
ui click 1008
expect_eq "Please select a drive before proceeding" "$(ui answer 'Error with drive' ok)" "empty drive field"
ui no-box 'Warning! Data will be lost!' 300 >/dev/null || fail "an empty drive field still asked for the warning"
ui combo-select 1036 $((index - 1)) >/dev/null

ui set-text 1039 "$(win_path "$SCRATCH")\\missing.img"
ui click 1008
# The image is opened before the warning: a missing one is never asked about.
expect_eq "Error opening image file" "$(ui answer 'File Error' ok)" "missing image"
ui no-box 'Warning! Data will be lost!' 300 >/dev/null || fail "a missing image still asked for the warning"

ui set-text 1039 "$(win_path "$SCRATCH/in.img")"
ui click 1008
ui answer 'Warning! Data will be lost!' no >/dev/null
ui no-box 'Success' 1500 >/dev/null || fail "a declined warning still wrote the image"
cmp "$SCRATCH/e.orig" "$SCRATCH/e.bin" || fail "a declined warning changed the drive"
expect_eq "开始" "$(ui text 1008)" "button after the refusals (no job ran)"

ui tab 1 >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH")\\no-such-folder\\out.img"
ui click 1008
expect_eq "Error creating image file" "$(ui answer 'File Error' ok)" "uncreatable image path"
ui close
wait_tavrin_exit 5
