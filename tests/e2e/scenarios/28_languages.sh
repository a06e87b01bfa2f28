# The two languages and the remembered verify box. With Language = en every
# text of the main window is English; with no value under Wine's English locale
# it is English too; with zh-CN it is today's Chinese. The verify box unticked,
# the window closed and opened again, stays unticked.

# Perl classes: a range ending in an unassigned code point is no range to glibc.
chinese='[\x{3000}-\x{9fff}\x{ff00}-\x{ffef}]'
make_pattern_file "$SCRATCH/e.bin" 1048576
map_file_drive E "$SCRATCH/e.bin"

english_window() {
  local what=$1 texts
  texts="$(ui dump)
$(ui tab-texts)
$(ui tooltips)
$(ui status)"
  if echo "$texts" | grep -qP "$chinese"; then fail "$what: Chinese in the window: $(echo "$texts" | grep -P "$chinese" | tr '\n' ' ')"; fi
  expect_eq "$(printf 'Write Image\nCreate Image\nDisk Tools')" "$(ui tab-texts)" "$what: tab captions"
  ui dump | grep -q $'^1041\tButton\tBrowse$' || fail "$what: Browse button not in English"
  ui dump | grep -q $'^1046\tButton\tVerify write$' || fail "$what: verify box not in English"
  # The longer English words are drawn whole (needed and given width in pixels).
  local id room
  for id in 1046 1047; do room=$(ui fits $id) || fail "$what: text of $id clipped ($room)"; done
}

close_tavrin() {
  ui close >/dev/null
  rc=0; wait_tavrin_exit 10 || rc=$?
  expect_eq 0 "$rc" "exit code after close ($1)"
}

set_tavrin_setting Language en
start_tavrin
english_window "Language = en"
close_tavrin en

set_tavrin_setting Language
start_tavrin
english_window "no Language under an English locale"
close_tavrin "no value"

set_tavrin_setting Language zh-CN
start_tavrin
expect_eq "$(printf '映像写入\n创建映像\n磁盘工具')" "$(ui tab-texts)" "zh-CN: tab captions"
ui dump | grep -q $'^1046\tButton\t写入后校验$' || fail "zh-CN: verify box not in Chinese"
expect_eq 1 "$(ui checked 1046)" "verify box at the first start"
ui check 1046 0 >/dev/null
close_tavrin "verify unticked"

start_tavrin
expect_eq 0 "$(ui checked 1046)" "verify box after closing and opening again"
ui check 1046 1 >/dev/null
close_tavrin "verify ticked again"
start_tavrin
expect_eq 1 "$(ui checked 1046)" "verify box ticked again"
close_tavrin last
