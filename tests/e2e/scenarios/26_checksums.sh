# Checksums: a write whose image has a correct .sha256 beside it names the
# check in the warning and ends "Success" saying it matched; one listed with
# a wrong sum in SHA256SUMS ends "Failed" with both sums and the drive's first
# MiB (which held the earlier image's head) zero; a created image gets
# an IMAGE.sha256 that the native sha256sum -c accepts; the checksums button
# shows the three sums the native tools compute and judges a pasted one.

size=$((3 * 1024 * 1024 + 4096))
head -c "$size" /dev/urandom >"$SCRATCH/in.img"
mkdir -p "$SCRATCH/listed"
head -c "$size" /dev/urandom >"$SCRATCH/listed/other.img"
(cd "$SCRATCH" && sha256sum -b in.img >in.img.sha256)
# A list that names the image with some other file's sum (CRLF, as downloaded on Windows).
(cd "$SCRATCH/listed" && printf '%s  other.img\r\n%s  readme.txt\r\n' \
  "$(sha256sum <"$SCRATCH/in.img" | cut -c1-64)" "$(printf x | sha256sum | cut -c1-64)" >SHA256SUMS)
truncate -s $((8 * 1024 * 1024)) "$SCRATCH/e.bin"
map_file_drive E "$SCRATCH/e.bin"
start_tavrin
index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
ui combo-select 1036 $((index - 1)) >/dev/null
ui check 1046 0 >/dev/null

# The correct sum beside the image.
ui set-text 1039 "$(win_path "$SCRATCH/in.img")"
ui click 1008
warning=$(ui answer 'Warning! Data will be lost!' yes | tr -d '\r')
expect_match "SHA-256 will be checked against the sum in in.img.sha256" "$warning" "warning line"
success=$(ui answer Success ok 15000 | tr -d '\r')
expect_match "matched the SHA-256 sum in in.img.sha256" "$success" "success box"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the job"
cmp -n "$size" "$SCRATCH/in.img" "$SCRATCH/e.bin" || fail "the drive does not hold the image"

# A list whose entry for the image is wrong.
ui set-text 1039 "$(win_path "$SCRATCH/listed/other.img")"
ui click 1008
warning=$(ui answer 'Warning! Data will be lost!' yes | tr -d '\r')
expect_match "against the sum in SHA256SUMS" "$warning" "warning line for the list"
failure=$(ui answer Failure ok 15000 | tr -d '\r')
expect_match "is not the one its checksum file describes" "$failure" "mismatch box"
expect_match "$(sha256sum <"$SCRATCH/listed/other.img" | cut -c1-64)" "$failure" "the image's sum in the box"
expect_match "$(sha256sum <"$SCRATCH/in.img" | cut -c1-64)" "$failure" "the list's sum in the box"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the mismatch"
expect_eq "Failed" "$(ui status)" "status after the mismatch"
cmp -n 1048576 /dev/zero "$SCRATCH/e.bin" || fail "the drive's first MiB is not zero after the mismatch"

# A checksum file that holds no sum: named before anything is written; No stops.
printf 'not a checksum\n' >"$SCRATCH/in.img.sha256"
cp "$SCRATCH/e.bin" "$SCRATCH/e.before"
ui set-text 1039 "$(win_path "$SCRATCH/in.img")"
ui click 1008
unusable=$(ui answer 'Checksum File' no | tr -d '\r')
expect_match "in.img.sha256 cannot be read" "$unusable" "unusable checksum file box"
ui no-box 'Warning! Data will be lost!' 300 >/dev/null || fail "No on the checksum box still asked to write"
cmp "$SCRATCH/e.before" "$SCRATCH/e.bin" || fail "the drive changed after No"
rm "$SCRATCH/in.img.sha256"

# The checksums button: the three sums as the native tools give them.
ui set-text 1039 "$(win_path "$SCRATCH/in.img")"
ui click 1048
ui box Checksums 15000 >/dev/null || fail "no checksums dialog; windows: $(ui windows)"
expect_eq "$(md5sum <"$SCRATCH/in.img" | cut -c1-32)" "$(ui -w Checksums text 1101)" "MD5"
expect_eq "$(sha1sum <"$SCRATCH/in.img" | cut -c1-40)" "$(ui -w Checksums text 1102)" "SHA-1"
expect_eq "$(sha256sum <"$SCRATCH/in.img" | cut -c1-64)" "$(ui -w Checksums text 1103)" "SHA-256"
ui -w Checksums set-text 1104 "  $(sha1sum <"$SCRATCH/in.img" | cut -c1-40 | tr a-f A-F)  " >/dev/null
expect_match "^Matches" "$(ui -w Checksums text 1105)" "verdict on the pasted SHA-1"
ui -w Checksums set-text 1104 "$(printf x | md5sum | cut -c1-32)" >/dev/null
expect_match "^Does not match" "$(ui -w Checksums text 1105)" "verdict on a wrong MD5"
ui -w Checksums click 1 >/dev/null
ui -w Checksums gone 3000 >/dev/null || fail "the checksums dialog stays open after OK"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the checksums"

# A created image carries its sum.
ui tab 1 >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/made.img.gz")"
ui click 1008
created=$(ui answer Success ok 30000 | tr -d '\r')
expect_match "SHA-256 sum was written to made.img.gz.sha256" "$created" "create outcome"
(cd "$SCRATCH" && sha256sum -c made.img.gz.sha256) || fail "sha256sum -c refuses the created image's sum"
ui close
wait_tavrin_exit 5
