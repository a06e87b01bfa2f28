# Start never lets the user destroy what they did not mean to. Drive E: is
# mapped twice, as a folder of files and as a raw device: an image stored on
# E: is not written onto E: (no warning is asked and the device's bytes stay
# as they were), no image is created on E: from E:, and a typed "10" in the
# drive box names no disk ("Error with drive") instead of physical disk 0.

make_pattern_file "$SCRATCH/e.bin" 262144
cp "$SCRATCH/e.bin" "$SCRATCH/e.orig"
map_file_drive E "$SCRATCH/e.bin"
files="$E2E_WORK/drives/E"   # what E:\ holds as files
head -c 131072 /dev/urandom >"$files/in.img"
rm -f "$files/out.img"
start_tavrin
index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
ui combo-select 1036 $((index - 1)) >/dev/null

ui tab 0 >/dev/null
ui set-text 1039 'E:\in.img'
ui click 1008
expect_eq "The image file is on drive E:, so drive E: cannot be written: the image would be destroyed while it is being read. Choose an image stored on another disk. Nothing was written." \
  "$(ui answer 'Disk Protected' ok | tr -d '\r')" "image on the drive being written"
ui no-box 'Warning! Data will be lost!' 300 >/dev/null || fail "the refused write still asked for the warning"
cmp "$SCRATCH/e.orig" "$SCRATCH/e.bin" || fail "the refused write changed the drive"
cmp -s "$files/in.img" "$SCRATCH/e.bin" && fail "the image reached the drive"

ui tab 1 >/dev/null
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 'E:\out.img'
ui click 1008
expect_eq "The image file would be created on drive E:, and drive E: is the disk being read. Choose a place on another disk for the image. Nothing was written." \
  "$(ui answer 'Disk Protected' ok | tr -d '\r')" "image created on the drive being read"
[ ! -e "$files/out.img" ] || fail "the refused create made an image file on E:"

ui tab 0 >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/e.orig")"
ui set-text 1036 "10"
ui click 1008
expect_eq "Please select a drive before proceeding" "$(ui answer 'Error with drive' ok)" "typed 10"
ui no-box 'Warning! Data will be lost!' 300 >/dev/null || fail "a typed 10 was taken for a disk"
expect_eq "开始" "$(ui text 1008)" "button after the refusals (no job ran)"
cmp "$SCRATCH/e.orig" "$SCRATCH/e.bin" || fail "the drive changed"
rm -f "$files/in.img"
ui close
wait_tavrin_exit 5
