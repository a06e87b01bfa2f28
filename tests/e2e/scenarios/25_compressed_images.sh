# Compressed images through the real window: a FAT floppy image compressed
# by the native xz, zstd, gzip, zip, bzip2 and lz4 tools, in a .7z (7zz) and a
# .tar.xz (tar) beside another file, and as a fixed and a dynamic VHD made by
# qemu-img, is written onto a drive (an archive's warning naming its file), which
# then passes fsck.fat and gives back its files through mcopy; a file named
# as compressed that is not is refused before the drive is touched; a
# truncated one ends "Failed" with the damaged-image box; a create to .zst
# decompresses (by the native zstd) to exactly the drive, and one to .vhd is
# read back by qemu-img as exactly the drive.

floppy=$SCRATCH/floppy.img
mkfs.vfat -C -n TAVRIN "$floppy" 1440 >/dev/null
head -c 400000 /dev/urandom >"$SCRATCH/random.bin"
seq 1 20000 >"$SCRATCH/numbers.txt"
mcopy -i "$floppy" "$SCRATCH/random.bin" "$SCRATCH/numbers.txt" ::/
xz -c -9 "$floppy" >"$SCRATCH/floppy.img.xz"
zstd -q -c "$floppy" >"$SCRATCH/floppy.img.zst"
gzip -c "$floppy" >"$SCRATCH/floppy.img.gz"
(cd "$SCRATCH" && zip -q floppy.zip floppy.img)
bzip2 -c "$floppy" >"$SCRATCH/floppy.img.bz2"
lz4 -q -c "$floppy" >"$SCRATCH/floppy.img.lz4"
head -c 5000 /dev/urandom >"$SCRATCH/readme.txt"
(cd "$SCRATCH" && 7zz a -bso0 -bsp0 floppy.7z readme.txt floppy.img && tar -cJf floppy.tar.xz readme.txt floppy.img)
qemu-img convert -q -f raw -O vpc -o subformat=fixed,force_size=on "$floppy" "$SCRATCH/floppy.vhd"
qemu-img convert -q -f raw -O vpc -o subformat=dynamic,force_size=on "$floppy" "$SCRATCH/floppy-dynamic.vhd"
head -c 300000 "$SCRATCH/floppy.img.gz" >"$SCRATCH/cut.img.gz"
cp "$SCRATCH/random.bin" "$SCRATCH/plain.img.xz"

make_pattern_file "$SCRATCH/e.bin" 1474560
cp "$SCRATCH/e.bin" "$SCRATCH/e.orig"
map_file_drive E "$SCRATCH/e.bin"
start_tavrin
index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
ui combo-select 1036 $((index - 1)) >/dev/null

# write_image NAME: writes $SCRATCH/NAME onto E: through the window, answering the warning.
write_image() {
  ui set-text 1039 "$(win_path "$SCRATCH/$1")"
  ui click 1008
  warning=$(ui answer 'Warning! Data will be lost!' yes | tr -d '\r')
}

ui tab 0 >/dev/null
# The content is judged before the warning: no warning for a refused image.
ui set-text 1039 "$(win_path "$SCRATCH/plain.img.xz")"
ui click 1008
expect_eq "$(printf "The image file's name ends in .xz, but the file is not in that compressed format.\nNothing was written. Check the file, or rename it if it is a plain image.")" \
  "$(ui answer 'File Error' ok | tr -d '\r')" "refusal of a plain file named .xz"
ui no-box 'Warning! Data will be lost!' 300 >/dev/null || fail "the refused image still asked for the warning"
cmp "$SCRATCH/e.orig" "$SCRATCH/e.bin" || fail "the refused image changed the drive"

for image in floppy.img.xz floppy.img.zst floppy.img.gz floppy.zip floppy.img.bz2 floppy.img.lz4 floppy.vhd \
  floppy-dynamic.vhd floppy.7z floppy.tar.xz; do
  cp "$SCRATCH/e.orig" "$SCRATCH/e.bin"
  write_image "$image"
  case $image in
  *.7z | *.tar.xz) expect_match "The archive's file floppy.img will be written to the disk." "$warning" "warning of $image" ;;
  esac
  expect_eq "映像写入完成" "$(ui answer Success ok 15000)" "success box of $image"
  ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after $image"
  expect_eq "Completed" "$(ui status)" "status line after $image"
  cmp "$floppy" "$SCRATCH/e.bin" || fail "the drive differs from the image inside $image"
  fsck.fat -n "$SCRATCH/e.bin" >"$SCRATCH/fsck.log" 2>&1 || fail "fsck.fat finds faults after $image: $(cat "$SCRATCH/fsck.log")"
  mcopy -n -i "$SCRATCH/e.bin" ::/random.bin "$SCRATCH/random.out"
  cmp "$SCRATCH/random.bin" "$SCRATCH/random.out" || fail "random.bin read back from the drive differs after $image"
  rm -f "$SCRATCH/random.out"
done

cp "$SCRATCH/e.orig" "$SCRATCH/e.bin"
write_image cut.img.gz
expect_match "^The image file is damaged" "$(ui answer Failure ok 15000)" "damaged-image box of a truncated .gz"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the damaged image"
expect_eq "Failed" "$(ui status)" "status line after the damaged image"

# Creating: the drive now holds the written floppy's start; its .zst image
# decompresses to exactly the drive.
ui tab 1 >/dev/null
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/created.img.zst")"
ui click 1008
ui answer Success ok 15000 >/dev/null || fail "no Success box for the .zst create; boxes: $(ui windows)"
zstd -q -dc "$SCRATCH/created.img.zst" >"$SCRATCH/created.img" || fail "native zstd cannot read the created image"
cmp "$SCRATCH/e.bin" "$SCRATCH/created.img" || fail "the created .zst image differs from the drive"
# A create to .vhd: a fixed disk that qemu-img reads back as exactly the drive.
ui set-text 1039 "$(win_path "$SCRATCH/created.vhd")"
ui click 1008
ui answer Success ok 15000 >/dev/null || fail "no Success box for the .vhd create; boxes: $(ui windows)"
qemu-img convert -q -f vpc -O raw "$SCRATCH/created.vhd" "$SCRATCH/created-vhd.img" || fail "qemu-img cannot read the created VHD"
cmp "$SCRATCH/e.bin" "$SCRATCH/created-vhd.img" || fail "the created .vhd image differs from the drive"
ui close
wait_tavrin_exit 5
