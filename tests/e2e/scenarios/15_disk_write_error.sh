# An image larger than its drive, a loop device that refuses writes past its
# end: the disk-write error names the first sector of the failed block, and
# the window is already idle while the box is open.

head -c 1048576 /dev/zero >"$SCRATCH/loop.bin"
head -c 2097152 /dev/urandom >"$SCRATCH/in.img"
map_loop_drive E "$SCRATCH/loop.bin"
start_tavrin

index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/in.img")"
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
text=$(ui box 'Disk Error' 15000)
case "$text" in
  "Error #"*" occured while writting to disk at sector 2048 "*"The start of the disk was cleared so that the unfinished image does not mount; write the image again to use the disk.") ;;
  *) fail "disk-write error text: got '$text'" ;;
esac
expect_eq Start "$(ui text 1008)" "button while the error box is open"
ui answer 'Disk Error' ok >/dev/null
cmp -n 1048576 /dev/zero "$SCRATCH/loop.bin" || fail "the drive's first MiB is not zero"
ui close
wait_tavrin_exit 5
