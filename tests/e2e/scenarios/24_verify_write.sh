# Verify after writing, through the real window, on a fake-capacity stick: a
# FUSE drive that claims 4 MiB, keeps 1 MiB and wraps every later write onto
# its start, mounted with direct I/O so the read-back comes from the stick and
# not from the kernel's cache. The image is 1.5 MiB and its last 512 KiB begin
# with the same 100 sectors as the image itself. Its first MiB is written
# last, so the body read back alone would look right; but the body's writes
# wrapped onto the stick's first MiB, which must still hold the zeros it was
# cleared to: with the verify box checked the write ends with the verify
# error naming sector 0 and the stick's first MiB cleared again; with the box
# cleared the same write ends "Success", as it always did.

stored=1048576
head -c "$stored" /dev/urandom >"$SCRATCH/in.img"
{ head -c $((100 * 512)) "$SCRATCH/in.img"; head -c $((524288 - 100 * 512)) /dev/urandom; } >>"$SCRATCH/in.img"
truncate -s "$stored" "$SCRATCH/stick.bin"
map_fake_drive E 4194304 "$SCRATCH/stick.bin"
start_tavrin

index=$(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1)
[ -n "$index" ] || fail "drive E: is not listed"
ui combo-select 1036 $((index - 1)) >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/in.img")"
expect_eq 1 "$(ui checked 1046)" "verify box before the first write"
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
text=$(ui box 'Verify Error' 30000 | tr -d '\r')
expect_match 'sector 0 reads back different' "$text" "verify error text names sector 0"
expect_match 'start of the disk was cleared' "$text" "verify error says the start was cleared"
ui answer 'Verify Error' ok >/dev/null
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the verify error"
expect_eq Failed "$(ui status)" "status line after the verify error"
cmp -n 1048576 /dev/zero "$SCRATCH/stick.bin" || fail "the stick's first MiB is not zero after the verify error"

ui check 1046 0 >/dev/null
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
expect_eq "映像写入完成" "$(ui answer Success ok 30000)" "the unverified write onto the same stick"
ui close
wait_tavrin_exit 5
