# The main window as a user first meets it: its caption, the thirteen controls of
# its template with their ids, classes and texts (the Chinese ones read back
# intact through the wide-character calls), the verify box checked, the create
# tab's check box hidden and clear on the write tab, and closing it ends the
# program with exit code 0.

start_tavrin

mains=$(ui windows | awk -F'\t' '$1 == "#32770" && $2 == "    Tavrin V1.6"' | wc -l)
expect_eq 1 "$mains" "visible dialogs captioned '    Tavrin V1.6' (four spaces)"

# The drive list shows its first entry once the drives are listed; with no
# entries the field keeps the template's empty text.
first_drive=$(ui combo-items 1036 | head -1)

want=$(printf '%s\n' \
  "1044	SysListView32	List1" \
  "1036	ComboBox	$first_drive" \
  "1039	Edit	" \
  "1041	Button	浏览" \
  "1008	Button	开始" \
  "1007	Button	关于" \
  "1009	Button	帮助" \
  "1048	Button	校验值" \
  "1046	Button	写入后校验" \
  "1047	Button	仅已分配分区" \
  "1050	Button	检测真实容量" \
  "1051	Button	恢复为普通U盘" \
  "1043	Static	映像档:" \
  "1042	Static	选择驱动器" \
  "1034	SysTabControl32	Tab1" \
  "1040	Static	")
got=$(ui dump)
if [ "$want" != "$got" ]; then
  diff <(echo "$want") <(echo "$got") | sed 's/^/    /' >&2 || true
  fail "the controls of the main window differ from the template (< want, > got)"
fi
expect_eq 1 "$(ui checked 1046)" "verify box at start"

expect_match '^hidden ' "$(control_state 1047)" "the create tab's check box on the write tab"
expect_eq 0 "$(ui checked 1047)" "the create tab's check box at start"

ui close
rc=0; wait_tavrin_exit 5 || rc=$?
expect_eq 0 "$rc" "exit code after WM_CLOSE (124: still running after 5 s)"
ui gone 1000 >/dev/null || fail "the main window is still shown after the program ended"
