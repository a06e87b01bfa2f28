# Closing the window while a job runs: the job is cancelled, the drive is
# unlocked and closed, its "Cancelled" box is shown, and only then does the
# program end, with exit code 0. The drive holds the image's first blocks.

truncate -s 8G "$SCRATCH/big.img"
head -c 1048576 /dev/urandom | dd of="$SCRATCH/big.img" conv=notrunc status=none
make_pattern_file "$SCRATCH/e.bin" 512  # a drive must read to be listed; writes make it grow
map_file_drive E "$SCRATCH/e.bin"
start_tavrin

index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/big.img")"
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
ui wait-text 1008 Cancel 5000 >/dev/null || fail "the job did not start"
ui close
expect_eq "$(printf 'Image Write Cancelled\nThe start of the disk was cleared so that the unfinished image does not mount; write the image again to use the disk.')" "$(ui answer Cancelled ok 15000 | tr -d '\r')" "box after closing during the job"
rc=0; wait_tavrin_exit 10 || rc=$?
expect_eq 0 "$rc" "exit code after closing during a job"
written=$(stat -c %s "$SCRATCH/e.bin")
[ "$written" -lt 8589934592 ] || fail "the whole image was written: the job was not cancelled"
# The first MiB is written last: a write stopped short leaves it zero.
cmp -n 1048576 /dev/zero "$SCRATCH/e.bin" || fail "the drive's first MiB is not zero after the cancel"
cmp -i 1048576 -n $((written - 1048576)) "$SCRATCH/big.img" "$SCRATCH/e.bin" || fail "the drive differs from the image after its first MiB"
