# The legacy family: with Windows 98 version answers the program starts on its
# VWIN32 path, shows its window with the write prompt, greys the create tab's
# check box (a legacy drive is never read as a partitioned disk), and closes cleanly.

start_tavrin_win98
expect_eq 1 "$(ui windows | awk -F'\t' '$1 == "#32770" && $2 == "    Tavrin V1.6"' | wc -l)" "main window"
expect_eq "Click 'Start' to write selected image to disk" "$(ui status)" "status line"
ui tab 1 >/dev/null
expect_eq "shown greyed" "$(control_state 1047)" "check box on the create tab"
ui close
rc=0; wait_tavrin_exit 5 || rc=$?
expect_eq 0 "$rc" "exit code"
