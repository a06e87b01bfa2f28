# The About box as a user meets it: it opens from the main window, Enter right
# away opens the donate page (the default button), Esc leaves it open, each
# button and the picture open their page, the close box ends it, and the main
# window's Help button opens the support page with the OS tag.

ABOUT="About Tavrin"
host=$(sed -n 's/^TAVRIN_SERVER_HOST:STRING=//p' "$(dirname "$TAVRIN_EXE")/CMakeCache.txt" 2>/dev/null || true)
site="http://${host:-updates.tavrin.invalid}"
site_re=${site//./\\.}
query_re='\?AppID=Tavrin&VersionID=1\.6&OSID='

url_count() { urls_log | grep -c . || true; }

start_tavrin
start_urls=$(url_count)
ui click 1007
ui -w "$ABOUT" wait >/dev/null || fail "the About box did not open from the About button"

# Enter right after opening: the focus is on the first button, the default one.
ui -w "$ABOUT" key 0 RETURN
wait_url "^${site_re}/donate\.php${query_re}Windows\$" >/dev/null

# Esc is no command of the box: it stays, and nothing more is opened.
before=$(url_count)
ui -w "$ABOUT" key 0 ESCAPE
sleep 1
ui -w "$ABOUT" wait 500 >/dev/null || fail "Esc closed the About box"
expect_eq "$before" "$(url_count)" "pages opened by Esc"

ui -w "$ABOUT" click 1009
wait_url "^${site_re}/contact\.php\$" >/dev/null
ui -w "$ABOUT" click 1011
wait_url "^${site_re}/custom\.php${query_re}Windows\$" >/dev/null
ui -w "$ABOUT" click 1010
ui -w "$ABOUT" wait 500 >/dev/null || fail "a button closed the About box"
# The picture notifies its click as command 1045 with code 0 (SS_NOTIFY).
ui -w "$ABOUT" command 1045
featured=$(wait_url "^${site_re}/featured\.php${query_re}Windows%20NT%20[0-9]+\.[0-9]+\$")
expect_eq $((start_urls + 5)) "$(url_count)" "pages opened by Enter and the four clicks"
expect_eq 2 "$(urls_log | tail -n +$((start_urls + 1)) | grep -c '/donate\.php' || true)" "donate pages (Enter and the click)"

ui -w "$ABOUT" close
ui -w "$ABOUT" gone 5000 >/dev/null || fail "the close box did not end the About box"

ui click 1009
support=$(wait_url "^${site_re}/support\.php${query_re}")
# The same OS tag as the picture's page.
expect_eq "${featured##*OSID=}" "${support##*OSID=}" "OS tag of the support page"

ui close
rc=0; wait_tavrin_exit 5 || rc=$?
expect_eq 0 "$rc" "exit code after closing the main window"
