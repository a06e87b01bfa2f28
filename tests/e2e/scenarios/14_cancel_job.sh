# Cancelling a long job: the "Cancelled" box saying the start was cleared, a
# drive whose first 1,048,576 bytes are zero and that holds the image's bytes
# from 1 MiB up to where it stopped, the idle window, and a second job (an
# image under 1 MiB, written from its start) that then runs to "Success". (The create direction's cancel is 22_create_unknown_size_cancel.)

truncate -s 8G "$SCRATCH/big.img"
head -c 1048576 /dev/urandom | dd of="$SCRATCH/big.img" conv=notrunc status=none
make_pattern_file "$SCRATCH/e.bin" 512  # a drive must read to be listed; writes make it grow
map_file_drive E "$SCRATCH/e.bin"
make_pattern_file "$SCRATCH/small.img" 262144
make_pattern_file "$SCRATCH/f.bin" 512
map_file_drive F "$SCRATCH/f.bin"
start_tavrin

items=$(ui combo-items 1036)
ui combo-select 1036 $(( $(echo "$items" | grep -n '^Drive E:' | cut -d: -f1) - 1 )) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/big.img")"
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
ui wait-text 1008 Cancel 5000 >/dev/null || fail "the button did not turn into Cancel"
ui click 1008
box=$(ui answer Cancelled ok 15000)
case "$box" in
  "Image Write Cancelled"*"The start of the disk was cleared so that the unfinished image does not mount; write the image again to use the disk."*) ;;
  *) fail "cancel box text: got '$box'" ;;
esac
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the cancel"
expect_eq "Cancelled" "$(ui status)" "status line after the cancel"
written=$(stat -c %s "$SCRATCH/e.bin")
[ "$written" -lt 8589934592 ] || fail "the whole image was written despite the cancel"
[ "$written" -gt 1048576 ] || fail "the cancel came before the body began"
cmp -n 1048576 /dev/zero "$SCRATCH/e.bin" || fail "the drive's first MiB is not zero"
cmp -i 1048576 -n $(( written - 1048576 )) "$SCRATCH/big.img" "$SCRATCH/e.bin" ||
  fail "the drive differs from the image from 1 MiB on"

ui combo-select 1036 $(( $(echo "$items" | grep -n '^Drive F:' | cut -d: -f1) - 1 )) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/small.img")"
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
ui answer Success ok 15000 >/dev/null || fail "the second job did not succeed"
cmp "$SCRATCH/small.img" "$SCRATCH/f.bin" || fail "the second drive differs from its image"
ui close
wait_tavrin_exit 5
