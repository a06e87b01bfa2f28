# The tabs switch the labels, the status prompt, the verify box (shown on the
# write tab only, keeping its state while hidden) and the create tab's check
# box, which is greyed unless the drive box names a physical disk; during a job
# they switch the labels as well, but the job keeps the direction it was
# started with.

make_pattern_file "$SCRATCH/e.bin" 512  # a drive must read to be listed; writes make it grow
map_file_drive E "$SCRATCH/e.bin"
make_pattern_file "$SCRATCH/disk0.bin" 4096
map_physical_disk 0 "$SCRATCH/disk0.bin"
start_tavrin

e_index=$(($(ui combo-items 1036 | grep -n '^Drive E:' | cut -d: -f1) - 1))
disk_index=$(($(ui combo-items 1036 | grep -n '^Physical Disk 0 ' | cut -d: -f1) - 1))
ui combo-select 1036 "$e_index" >/dev/null
visible() { echo $(( $(ui style "$1" | tr -d '\r') & 0x10000000 ? 1 : 0 )); }
expect_eq 1 "$(visible 1046)" "verify box shown on tab 0"
ui check 1046 0 >/dev/null
ui tab 1 >/dev/null
expect_eq 0 "$(visible 1046)" "verify box shown on tab 1"
expect_eq "选择驱动器 From" "$(ui text 1042)" "drive label on tab 1"
expect_eq "目标文件:" "$(ui text 1043)" "file label on tab 1"
expect_eq "Click 'Start' to create an image of the disk" "$(ui status)" "status on tab 1"
expect_eq "shown greyed" "$(control_state 1047)" "check box on tab 1 for drive E:"
ui combo-select 1036 "$disk_index" >/dev/null
sleep 0.3
expect_eq "shown enabled" "$(control_state 1047)" "check box on tab 1 for physical disk 0"
ui combo-select 1036 "$e_index" >/dev/null
sleep 0.3
expect_eq "shown greyed" "$(control_state 1047)" "check box on tab 1 for drive E: again"
ui tab 0 >/dev/null
expect_eq 1 "$(visible 1046)" "verify box shown on tab 0 again"
expect_eq 0 "$(ui checked 1046)" "verify box state after the tabs changed"
expect_eq "选择驱动器" "$(ui text 1042)" "drive label on tab 0"
expect_eq "映像档:" "$(ui text 1043)" "file label on tab 0"
expect_eq "Click 'Start' to write selected image to disk" "$(ui status)" "status on tab 0"
expect_match '^hidden ' "$(control_state 1047)" "check box on tab 0"

# A write job, then tab 1 while it runs: the labels follow, the job stays a
# write (its cancel box says so).
truncate -s 8G "$SCRATCH/big.img"
ui combo-select 1036 "$e_index" >/dev/null
ui set-text 1039 "$(win_path "$SCRATCH/big.img")"
ui click 1008
ui answer 'Warning! Data will be lost!' yes >/dev/null
ui wait-text 1008 Cancel 5000 >/dev/null || fail "the job did not start"
ui tab 1 >/dev/null
expect_eq "选择驱动器 From" "$(ui text 1042)" "drive label after tab 1 during the job"
expect_eq "目标文件:" "$(ui text 1043)" "file label after tab 1 during the job"
sleep 2.5
expect_match '(% Completed$|^Remaining Time [0-9]+ (Seconds|Minutes|Hours)|/Sec$)' "$(ui status)" "status line during the job"
ui click 1008
expect_eq "$(printf 'Image Write Cancelled\nThe start of the disk was cleared so that the unfinished image does not mount; write the image again to use the disk.')" "$(ui answer Cancelled ok 15000 | tr -d '\r')" "the job stayed a write job"
ui close
wait_tavrin_exit 5
