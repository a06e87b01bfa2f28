# Trimmed images of whole physical disks (64 MiB disk files partitioned by
# sfdisk, linked as physical drives): with the box checked the image ends where
# the last partition ends and equals the disk's first bytes; the FAT partition
# inside it checks clean and still holds its file. A disk without a partition
# table is copied whole, and the outcome box says so.

MIB=1048576
# A 64 MiB disk of random bytes (so a byte copied from past the end shows)
# with the sfdisk layout read from standard input.
make_disk() {
  head -c $((64 * MIB)) /dev/urandom >"$1"
  sfdisk -q --no-reread --no-tell-kernel "$1" >/dev/null 2>"$SCRATCH/sfdisk.log" ||
    fail "sfdisk refused the layout: $(cat "$SCRATCH/sfdisk.log")"
}

# MBR: a 16 MiB FAT partition, then an extended partition up to 38 MiB holding
# two logical partitions, the last ending at 32 MiB.
make_disk "$SCRATCH/mbr.bin" <<'EOF'
label: dos
start=2048, size=32768, type=6
start=36864, size=40960, type=5
start=38912, size=16384, type=83
start=57344, size=8192, type=83
EOF
mkfs.fat -F 16 -n TAVRIN --offset 2048 "$SCRATCH/mbr.bin" 16384 >/dev/null || fail "mkfs.fat failed"
echo "kept in a partition" >"$SCRATCH/hello.txt"
mcopy -i "$SCRATCH/mbr.bin@@$MIB" "$SCRATCH/hello.txt" ::HELLO.TXT || fail "mcopy into the partition failed"
# GPT: two partitions with a gap between them, the last ending at 28 MiB; the
# backup header stays at the disk's end.
make_disk "$SCRATCH/gpt.bin" <<'EOF'
label: gpt
start=2048, size=16384, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
start=40960, size=16384, type=0FC63DAF-8483-4772-8E79-3D69D8477DE4
EOF
# No table: the boot signature is cleared so no byte pattern can pass for one.
head -c $((4 * MIB)) /dev/urandom >"$SCRATCH/plain.bin"
printf '\0\0' | dd of="$SCRATCH/plain.bin" bs=1 seek=510 conv=notrunc status=none

map_physical_disk 1 "$SCRATCH/mbr.bin"
map_physical_disk 2 "$SCRATCH/gpt.bin"
map_physical_disk 3 "$SCRATCH/plain.bin"
start_tavrin
ui tab 1 >/dev/null

# create_trimmed DIGIT IMAGE: creates IMAGE from physical disk DIGIT with the
# box checked; prints the outcome box's text.
create_trimmed() {
  local index
  index=$(ui combo-items 1036 | grep -n "^Physical Disk $1 " | cut -d: -f1)
  [ -n "$index" ] || fail "physical disk $1 is not listed: $(ui combo-items 1036 | tr '\n' ' ')"
  ui combo-select 1036 $((index - 1)) >/dev/null
  sleep 0.3
  expect_eq "shown enabled" "$(control_state 1047)" "check box for physical disk $1"
  [ "$(ui checked 1047)" = 1 ] || ui click 1047
  sleep 0.3
  expect_eq 1 "$(ui checked 1047)" "check box state"
  ui set-text 1039 "$(win_path "$2")"
  ui click 1008
  ui answer Success ok 30000 || fail "no Success box for physical disk $1; boxes: $(ui windows)"
  ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the job"
}

# expect_prefix DISK IMAGE SECTORS: the image is exactly the disk's first sectors.
expect_prefix() {
  expect_eq $(($3 * 512)) "$(stat -c %s "$2")" "length of the image of $(basename "$1")"
  cmp -n $(($3 * 512)) "$1" "$2" || fail "the image of $(basename "$1") differs from the disk"
}

box=$(create_trimmed 1 "$SCRATCH/mbr.img")
expect_eq "$(printf '映像创建完成\nIts SHA-256 sum was written to mbr.img.sha256.')" "$(echo "$box" | tr -d '\r')" "outcome of the MBR disk"
expect_prefix "$SCRATCH/mbr.bin" "$SCRATCH/mbr.img" 65536
dd if="$SCRATCH/mbr.img" of="$SCRATCH/fat.bin" bs=512 skip=2048 count=32768 status=none
fsck.fat -n "$SCRATCH/fat.bin" >"$SCRATCH/fsck.log" 2>&1 || fail "fsck.fat: $(cat "$SCRATCH/fsck.log")"
expect_eq "kept in a partition" "$(mtype -i "$SCRATCH/mbr.img@@$MIB" ::HELLO.TXT | tr -d '\r')" "file in the partition"

box=$(create_trimmed 2 "$SCRATCH/gpt.img")
expect_eq "$(printf '映像创建完成\nIts SHA-256 sum was written to gpt.img.sha256.')" "$(echo "$box" | tr -d '\r')" "outcome of the GPT disk"
expect_prefix "$SCRATCH/gpt.bin" "$SCRATCH/gpt.img" 57344

box=$(create_trimmed 3 "$SCRATCH/plain.img")
expect_match "^映像创建完成.*No partition table was trusted, so the whole disk was copied\..*sum was written to plain\.img\.sha256\.$" "$(echo $box)" \
  "outcome of the disk without a table"
cmp "$SCRATCH/plain.bin" "$SCRATCH/plain.img" || fail "the disk without a table was not copied whole"

ui close
wait_tavrin_exit 5
