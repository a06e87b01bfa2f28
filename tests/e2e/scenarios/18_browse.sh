# Browse opens "Use Which Image?" on tab 0 and "Save Image As?" on tab 1; a
# cancelled dialog leaves the file field as it was.

start_tavrin
ui set-text 1039 'C:\keep.img'
for pair in "0:Use Which Image?" "1:Save Image As?"; do
  tab=${pair%%:*}; title=${pair#*:}
  ui tab "$tab" >/dev/null
  ui click 1041
  ui -w "$title" wait 10000 >/dev/null || fail "tab $tab: no dialog titled '$title'; windows: $(ui windows)"
  ui -w "$title" close >/dev/null
  ui -w "$title" gone 5000 >/dev/null || fail "tab $tab: the file dialog stays open"
  expect_eq 'C:\keep.img' "$(ui text 1039)" "file field after a cancelled Browse on tab $tab"
done
ui close
wait_tavrin_exit 5
