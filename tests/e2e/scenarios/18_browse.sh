# Browse opens "Use Which Image?" on tab 0 and "Save Image As?" on tab 1; a
# cancelled dialog leaves the file field as it was; a name chosen in scripts
# the code page lacks comes back whole, with the default extension.

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

mkdir "$SCRATCH/映像"
ui click 1041
ui -w "Save Image As?" wait 10000 >/dev/null || fail "no save dialog; windows: $(ui windows)"
ui -w "Save Image As?" set-text 1148 "$(win_path "$SCRATCH/映像")\\浏览 Ж𝄞"
ui -w "Save Image As?" click 1
ui -w "Save Image As?" gone 5000 >/dev/null || fail "the save dialog stays open"
expect_eq "$(win_path "$SCRATCH/映像")\\浏览 Ж𝄞.img" "$(ui text 1039)" "file field after a Chinese name was chosen"
ui close
wait_tavrin_exit 5
