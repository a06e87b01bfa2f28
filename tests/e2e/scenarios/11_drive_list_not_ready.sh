# Drive discovery as the user sees it: A: on a disk whose reads fail (Wine
# reports ERROR_NOT_READY) reads "Not Ready"; E: and F: on disk files carry
# their size label, which is "Unknown Size" under Wine (it answers no size
# request); the list is sorted and its first entry is selected.

map_eio_drive A 1474560
make_pattern_file "$SCRATCH/e.bin" 65536
make_pattern_file "$SCRATCH/f.bin" 131072
map_file_drive E "$SCRATCH/e.bin"
map_file_drive F "$SCRATCH/f.bin"
start_tavrin

items=$(ui combo-items 1036)
ours=$(echo "$items" | grep -E '^Drive [AEF]:' || true)
want=$(printf '%s\n' "Drive A: (Not Ready)" "Drive E: (Unknown Size)" "Drive F: (Unknown Size)")
expect_eq "$want" "$ours" "entries of the mapped drives"
expect_eq "$(echo "$items" | LC_ALL=C sort)" "$items" "drive list order"
expect_eq "Drive A: (Not Ready)" "$(echo "$items" | head -1)" "first entry"
expect_eq "Drive A: (Not Ready)" "$(ui text 1036)" "selected entry"
ui close
wait_tavrin_exit 5
