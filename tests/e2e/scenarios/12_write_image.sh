# Writing an image whose size is not a multiple of 512 onto a drive: the
# warning, the "Success" box, the drive holding exactly the image's whole
# sectors (the tail and everything after it untouched), the button back at
# "Start".

size=1000000
whole=$((size / 512 * 512))
head -c "$size" /dev/urandom >"$SCRATCH/in.img"
make_pattern_file "$SCRATCH/e.bin" 2097152
cp "$SCRATCH/e.bin" "$SCRATCH/e.orig"
map_file_drive E "$SCRATCH/e.bin"
start_tavrin

index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/in.img")"
ui click 1008
warning=$(ui answer 'Warning! Data will be lost!' yes | tr -d '\r')
label=$(ui combo-items 1036 | grep '^Drive E:' | tr -d '\r')
expect_eq "$(printf 'This operation will completely destroy the contents of the disk\nAre you sure you wish to proceed with the operation?\n\nTarget: %s' "$label")" \
  "$warning" "warning text naming the target"
expect_eq "映像写入完成" "$(ui answer Success ok 15000)" "success box text"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the job"

cmp -n "$whole" "$SCRATCH/in.img" "$SCRATCH/e.bin" || fail "the drive's first $whole bytes differ from the image"
cmp -i "$whole:$whole" "$SCRATCH/e.orig" "$SCRATCH/e.bin" || fail "the drive changed beyond the image's whole sectors"
expect_eq 2097152 "$(stat -c %s "$SCRATCH/e.bin")" "drive size"
expect_eq "Completed" "$(ui status)" "status line after the job"
ui close
wait_tavrin_exit 5
