# Image files named in scripts the Western code page lacks (Chinese, Cyrillic,
# a character outside the Basic Multilingual Plane): an image kept in a
# Chinese-named folder is written onto a drive, and an image is created into
# that folder; the bytes are checked both ways.

folder="$SCRATCH/映像"
mkdir -p "$folder"
size=$((1024 * 1024 + 512))
head -c "$size" /dev/urandom >"$folder/系统.img"
make_pattern_file "$SCRATCH/e.bin" 2097152
cp "$SCRATCH/e.bin" "$SCRATCH/e.orig"
map_file_drive E "$SCRATCH/e.bin"
start_tavrin
[ "$(ui acp | tr -d '\r')" != 936 ] || fail "the prefix's code page holds Chinese; this proves nothing"

index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 "$(win_path "$folder/系统.img")"
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
expect_eq "映像写入完成" "$(ui answer Success ok 15000)" "write: success box text"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the write"
cmp -n "$size" "$folder/系统.img" "$SCRATCH/e.bin" || fail "the drive's first $size bytes differ from the image"
cmp -i "$size:$size" "$SCRATCH/e.orig" "$SCRATCH/e.bin" || fail "the drive changed beyond the image"

created="$folder/创建 Образ 𝄞.img"
ui tab 1 >/dev/null
ui set-text 1039 "$(win_path "$created")"
ui click 1008
box=$(ui answer Success ok 15000 | tr -d '\r')
expect_eq "$(printf '映像创建完成\nIts SHA-256 sum was written to 创建 Образ 𝄞.img.sha256.')" "$box" "create: success box text"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the create"
cmp "$SCRATCH/e.bin" "$created" || fail "the created image differs from the drive"
expect_eq 3 "$(find "$folder" -type f | wc -l)" "files in the folder: the image, its sum, the written one (no second, mangled name)"
[ -f "$created.sha256" ] || fail "the created image's sum file is not named after it"
ui close
wait_tavrin_exit 5
