# The drive list follows the devices while the window is open: a drive
# linked after the start appears once the window is told that devices
# changed, and goes again when it is unlinked. The warning names the chosen
# drive, and a physical disk typed as the image to create is refused without
# its bytes being touched.

make_pattern_file "$SCRATCH/f.bin" 262144
cp "$SCRATCH/f.bin" "$SCRATCH/f.orig"
make_pattern_file "$SCRATCH/disk1.bin" 262144
cp "$SCRATCH/disk1.bin" "$SCRATCH/disk1.orig"
map_physical_disk 1 "$SCRATCH/disk1.bin"
head -c 65536 /dev/urandom >"$SCRATCH/in.img"
start_tavrin
ui combo-items 1036 | grep -q '^Drive F:' && fail "drive F: was listed before it was linked"

map_file_drive F "$SCRATCH/f.bin"
ui devices-changed
sleep 1.5
index=$(ui combo-items 1036 | grep -n '^Drive F:' | cut -d: -f1)
[ -n "$index" ] || fail "the linked drive F: did not appear after the device change"
ui combo-select 1036 $((index - 1)) >/dev/null
label=$(ui combo-items 1036 | sed -n "${index}p" | tr -d '\r')

ui tab 0 >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/in.img")"
ui click 1008
warning=$(ui answer 'Warning! Data will be lost!' no | tr -d '\r')
[[ "$warning" == *"Target: $label"* ]] || fail "the warning does not name the drive: '$warning'"
cmp "$SCRATCH/f.orig" "$SCRATCH/f.bin" || fail "the declined write changed the drive"

unmap_drive F
ui devices-changed
sleep 1.5
ui combo-items 1036 | grep -q '^Drive F:' && fail "the unlinked drive F: stayed in the list"

ui tab 1 >/dev/null
index=$(ui combo-items 1036 | grep -n '^Physical Disk 1' | cut -d: -f1)
[ -n "$index" ] || fail "physical disk 1 is not listed"
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 '\\.\PhysicalDrive1'
ui click 1008
expect_eq "Please select a image file name before proceeding" "$(ui answer 'Error with filename' ok)" \
  "a physical disk as the image to create"
ui no-box 'Success' 500 >/dev/null || fail "a create onto a physical disk ran"
cmp "$SCRATCH/disk1.orig" "$SCRATCH/disk1.bin" || fail "the disk named as the image changed"
ui close
wait_tavrin_exit 5
