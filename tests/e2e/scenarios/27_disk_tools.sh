# The disk tools tab through the real window: the capacity check of two FUSE
# fake-capacity sticks that report 64 MiB and keep 24 MiB (one wraps later
# sectors onto its start, one drops them) names the real capacity, 49152
# sectors or 24.00 MB; on a good 64 MiB drive every sector holds (the time it
# took goes to the log); restoring a physical disk leaves a table that the
# native sfdisk reads as one partition from sector 2048 to the end, and the
# restore ends with its result box whatever Windows' Format dialog does here.

reported=$((64 * 1024 * 1024))
truncate -s $((24 * 1024 * 1024)) "$SCRATCH/wrap.bin" "$SCRATCH/lose.bin"
map_fake_drive E "$reported" "$SCRATCH/wrap.bin" wrap
map_fake_drive F "$reported" "$SCRATCH/lose.bin" lose
truncate -s "$reported" "$SCRATCH/good.bin"
map_file_drive G "$SCRATCH/good.bin"
head -c 4096 /dev/urandom >"$SCRATCH/disk1.bin"  # an old table's place holds noise
truncate -s "$reported" "$SCRATCH/disk1.bin"
map_physical_disk 1 "$SCRATCH/disk1.bin"
start_tavrin

ui tab 2 >/dev/null
expect_match '^hidden ' "$(control_state 1039)" "the file field on the tools tab"
expect_eq 1 "$(ui checked 1050)" "the capacity check is the tool at start"

select_entry() {
  local index
  index=$(ui combo-items 1036 | grep -n "^$1" | cut -d: -f1)
  [ -n "$index" ] || fail "no entry '$1' in the drive list: $(ui combo-items 1036 | tr '\n' ' ')"
  ui combo-select 1036 $((index - 1)) >/dev/null
}

# Runs the chosen tool on the entry and prints the text of the box captioned $2.
run_tool() {
  select_entry "$1"
  ui click 1008
  ui answer 'Warning! Data will be lost!' yes >/dev/null
  ui answer "$2" ok 60000 | tr -d '\r'
  ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the tool on $1"
}

text=$(run_tool 'Drive E: ' 'Capacity Check')
expect_match 'keeps only its first 49152 sectors \(24\.00 MB\) of the 131072 sectors \(64\.00 MB\)' "$text" "wrapping stick"
expect_match 'wrap onto its start' "$text" "wrapping stick says it wraps"
expect_eq Failed "$(ui status)" "status after the wrapping stick"

text=$(run_tool 'Drive F: ' 'Capacity Check')
expect_match 'keeps only its first 49152 sectors \(24\.00 MB\)' "$text" "losing stick"
expect_match 'First failing sector: 49152; sectors that failed: 81920\.' "$text" "losing stick's first failing sector"

start=$EPOCHREALTIME
text=$(run_tool 'Drive G: ' 'Capacity Check')
echo "capacity check of a 64 MiB file drive: $(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN{printf "%.1f", b-a}') s"
expect_match '^Every sector holds what was written: all 131072 sectors \(64\.00 MB\)' "$text" "good drive"
expect_eq Completed "$(ui status)" "status after the good drive"

# The restore. Windows' Format dialog (or whatever stands for it here) is
# closed as it appears; the restore's own box must still come.
ui check 1051 1 >/dev/null
select_entry 'Physical Disk 1 '
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
text=""
for i in $(seq 40); do
  if text=$(ui box 'Restore Drive' 500 2>/dev/null); then break; fi
  text=""
  ui windows | tr -d '\r' | awk -F'\t' '$1 == "#32770" && $2 != "    Tavrin V1.6" && $2 != "Restore Drive" {print $2}' |
    while read -r caption; do ui -w "$caption" close >/dev/null 2>&1 || true; done
done
[ -n "$text" ] || fail "the restore ended with no result box; windows: $(ui windows | tr '\n' ' ')"
ui answer 'Restore Drive' ok >/dev/null
expect_match 'one partition from 1 MiB to the end \(63\.00 MB, type 0x0C\)' "$(echo "$text" | tr -d '\r')" "restore box"
ui wait-text 1008 Start 5000 >/dev/null || fail "the button does not read Start after the restore"
expect_eq Completed "$(ui status)" "status after the restore"
table=$(sfdisk --dump "$SCRATCH/disk1.bin")
echo "$table"
expect_eq 1 "$(echo "$table" | grep -c 'start=')" "partitions sfdisk finds"
expect_match "start= *2048, size= *$((reported / 512 - 2048)), type=c" "$table" "the partition sfdisk finds"
ui close
wait_tavrin_exit 5
