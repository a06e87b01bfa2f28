# The update check against a local web server that the program's server name
# resolves to: the server receives the HTTP/1.0 request with the full URL and
# one Host header, the update prompt appears, and Yes opens the download link.
# A second check answered with No opens nothing more.

ABOUT="About Tavrin"
host=$(sed -n 's/^TAVRIN_SERVER_HOST:STRING=//p' "$(dirname "$TAVRIN_EXE")/CMakeCache.txt" 2>/dev/null || true)
host=${host:-updates.tavrin.invalid}
link="http://dl.example.test/tavrin-1.7.zip"

(exec 3<>/dev/tcp/127.0.0.1/80) 2>/dev/null && fail "port 80 of 127.0.0.1 is taken; the scenario needs it"
cat >"$SCRATCH/server.py" <<PY
import http.server, sys
class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    def do_GET(self):
        with open(sys.argv[1], "ab") as log:
            log.write(self.requestline.encode() + b"\n")
            for name, value in self.headers.items():
                log.write(("%s: %s\n" % (name, value)).encode())
        body = b"<html><new>true</new><link>$link</link></html>"
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *args):
        pass
http.server.HTTPServer(("127.0.0.1", 80), Handler).serve_forever()
PY
/usr/bin/python3 "$SCRATCH/server.py" "$SCRATCH/requests.log" >"$E2E_OUT/update-server.log" 2>&1 &
server=$!
_record pids "$server"; _SCENARIO_PIDS+=("$server")
for i in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/80) 2>/dev/null && break; sleep 0.1; done

{ cat /etc/hosts 2>/dev/null || true; echo "127.0.0.1 $host"; } >"$SCRATCH/hosts"
start_tavrin_hosts "$SCRATCH/hosts"
ui click 1007
ui -w "$ABOUT" wait >/dev/null || fail "the About box did not open"

ui -w "$ABOUT" click 1012
ui answer "Update Available" yes 20000 >/dev/null || fail "no update prompt"
wait_url "^${link//./\\.}\$" >/dev/null

request=$(cat "$SCRATCH/requests.log")
[ "$(echo "$request" | wc -l)" = 2 ] || fail "the request has other headers than Host: $request"
expect_match "^GET http://${host//./\\.}/updates\.php\?ProgramName=Tavrin&MyVersion=1\.6&OSVersion=Windows%20NT%20[0-9]+\.[0-9]+ HTTP/1\.0$" \
  "$(echo "$request" | head -1)" "request line"
expect_eq "Host: $host" "$(echo "$request" | tail -1)" "the one header"

# Declining opens nothing; the About box stays open after both checks.
before=$(urls_log | grep -c . || true)
ui -w "$ABOUT" click 1012
ui answer "Update Available" no 20000 >/dev/null || fail "no second update prompt"
sleep 1
expect_eq "$before" "$(urls_log | grep -c . || true)" "pages opened after No"
ui -w "$ABOUT" wait 500 >/dev/null || fail "the update check closed the About box"

ui -w "$ABOUT" close
ui close
rc=0; wait_tavrin_exit 5 || rc=$?
expect_eq 0 "$rc" "exit code after closing the main window"
