# Cancelling a create from a drive of unknown size (Wine answers no size
# request): the "Cancelled" box, not a success, and an image that holds the
# drive's first blocks and nothing else.

truncate -s 8G "$SCRATCH/e.bin"
head -c 1048576 /dev/urandom | dd of="$SCRATCH/e.bin" conv=notrunc status=none
map_file_drive E "$SCRATCH/e.bin"
start_tavrin

ui tab 1 >/dev/null
index=$(ui combo-items 1036 | grep -n '^Drive E: (Unknown Size)' | cut -d: -f1)
[ -n "$index" ] || fail "no unsized entry for E:; entries: $(ui combo-items 1036)"
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/out.img")"
ui click 1008
ui wait-text 1008 Cancel 5000 >/dev/null || fail "the button did not turn into Cancel"
ui click 1008
expect_eq "Image Creation Cancelled" "$(ui answer Cancelled ok 15000)" "cancel box text"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the cancel"
copied=$(stat -c %s "$SCRATCH/out.img")
[ "$copied" -lt 8589934592 ] || fail "the whole drive was copied despite the cancel"
cmp -n "$copied" "$SCRATCH/e.bin" "$SCRATCH/out.img" || fail "the image differs from the drive's start"
ui close
wait_tavrin_exit 5
