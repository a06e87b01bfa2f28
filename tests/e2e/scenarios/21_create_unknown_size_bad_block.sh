# Creating an image from a drive of unknown size (Wine answers no size
# request) with an unreadable block at 1 MiB: the "Failure" box, and an image
# that holds exactly the first 1 MiB, the sectors before the bad block.

make_pattern_file "$SCRATCH/e.bin" $((4 * 1048576))
map_eio_drive E $((4 * 1048576)) "$SCRATCH/e.bin" 1048576 $((1048576 + 65536))
start_tavrin

ui tab 1 >/dev/null
index=$(ui combo-items 1036 | grep -n '^Drive E: (Unknown Size)' | cut -d: -f1)
[ -n "$index" ] || fail "no unsized entry for E:; entries: $(ui combo-items 1036)"
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/out.img")"
ui click 1008
expect_eq "映像创建失败" "$(ui answer Failure ok 15000)" "outcome box text"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the job"
expect_eq 1048576 "$(stat -c %s "$SCRATCH/out.img")" "image length"
cmp -n 1048576 "$SCRATCH/e.bin" "$SCRATCH/out.img" || fail "the image differs from the drive's first 1 MiB"
ui close
wait_tavrin_exit 5
