# Writing an image whose size is not a multiple of 512 onto a drive: the
# warning, the "Success" box, the drive holding the image with its last 64
# bytes followed by 448 zeros (bytes 999,936 to 1,000,447), everything after
# that sector untouched, the button back at
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

cmp -n "$size" "$SCRATCH/in.img" "$SCRATCH/e.bin" || fail "the drive's first $size bytes differ from the image"
padded=$((whole + 512))
expect_eq 0 "$(tail -c +$((size + 1)) "$SCRATCH/e.bin" | head -c $((padded - size)) | tr -d '\000' | wc -c)" \
  "bytes other than zero among the $((padded - size)) after the image"
cmp -i "$padded:$padded" "$SCRATCH/e.orig" "$SCRATCH/e.bin" || fail "the drive changed beyond the image's last sector"
expect_eq 2097152 "$(stat -c %s "$SCRATCH/e.bin")" "drive size"
expect_eq "Completed" "$(ui status)" "status line after the job"
ui close
wait_tavrin_exit 5
