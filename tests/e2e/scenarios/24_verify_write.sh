# Verify after writing, through the real window, on a fake-capacity stick: a
# FUSE drive that claims 4 MiB, keeps 1 MiB and wraps every later write onto
# its start, mounted with direct I/O so the read-back comes from the stick and
# not from the kernel's cache. The image is 1.5 MiB and its last 512 KiB begin
# with the same 100 sectors as the image itself, so the wrapped writes leave
# sectors 0-99 as the image has them and change sector 100 first: with the
# verify box checked the write ends with the verify error naming sector 100;
# with the box cleared the same write ends "Success", as it always did.

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
expect_match '(^|[^0-9])100([^0-9]|$)' "$text" "verify error text names sector 100"
ui answer 'Verify Error' ok >/dev/null
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the verify error"
expect_eq Failed "$(ui status)" "status line after the verify error"
cmp -n $((100 * 512)) "$SCRATCH/in.img" "$SCRATCH/stick.bin" || fail "the stick's first 100 sectors are not the image's"
cmp -s -n $((101 * 512)) "$SCRATCH/in.img" "$SCRATCH/stick.bin" && fail "sector 100 of the stick holds the image's, not the wrapped write"

ui check 1046 0 >/dev/null
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
expect_eq "映像写入完成" "$(ui answer Success ok 30000)" "the unverified write onto the same stick"
ui close
wait_tavrin_exit 5
