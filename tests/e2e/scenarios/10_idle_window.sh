# The main window as it opens, seen through its controls: the caption, the two
# tab captions (read back intact on a Western code page), the status line's
# prompt, the empty file field, the sorted drive list with its first entry
# selected, and the five tool tips.

make_pattern_file "$SCRATCH/e.bin" 1048576
map_file_drive E "$SCRATCH/e.bin"
start_tavrin

expect_eq 1 "$(ui windows | awk -F'\t' '$1 == "#32770" && $2 == "    Tavrin V1.6"' | wc -l)" "main window caption"
expect_eq "$(printf '映像写入\n创建映像\n磁盘工具')" "$(ui tab-texts)" "tab captions"
expect_eq 0 "$(ui tab-get)" "selected tab"
expect_eq "Click 'Start' to write selected image to disk" "$(ui status)" "status line"
expect_eq "" "$(ui text 1039)" "image file field"

items=$(ui combo-items 1036)
echo "$items" | grep -qx 'Drive E: (Unknown Size)' || fail "drive E: missing from the list: $items"
expect_eq "$(echo "$items" | LC_ALL=C sort)" "$items" "drive list order"
expect_eq "$(echo "$items" | head -1)" "$(ui text 1036)" "selected drive entry"

want=$(printf '%s\n' \
  "1009	View program documentation online" \
  "1008	Start transfer" \
  "1007	About this program" \
  "1041	Browse for an image file" \
  "1046	Read the disk back after writing and compare it with the image" \
  "1047	Copy the disk only up to the end of its last partition" \
  "1048	Compute the checksums of the image file")
expect_eq "$want" "$(ui tooltips)" "tool tips"

# Enter and Esc do nothing; only a close request ends the program.
ui key 0 ESCAPE >/dev/null
ui key 0 RETURN >/dev/null
sleep 0.5
ui wait 1000 >/dev/null || fail "Esc or Enter closed the window"

ui command 40001
rc=0; wait_tavrin_exit 5 || rc=$?
expect_eq 0 "$rc" "exit code after command 40001"
